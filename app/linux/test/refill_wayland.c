/* A clipboard manager of the tests' own on data control: it remembers the
 * last text put on the clipboard and, whenever it sees the clipboard empty,
 * puts that text back after DELAY milliseconds.
 * Usage: refill_wayland DELAY */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "data-control-client-protocol.h"

#define OWN "application/x-refill-test"  /* marks the manager's own offers */

static struct zwlr_data_control_manager_v1 *manager;
static struct zwlr_data_control_device_v1 *device;
static struct wl_seat *seat;
static struct wl_display *display;
static char *last;
static size_t last_size;
static int delay, own_offer, text_offer;

static void global(void *data, struct wl_registry *r, uint32_t name, const char *interface, uint32_t version) {
  if (strcmp(interface, "wl_seat") == 0) seat = wl_registry_bind(r, name, &wl_seat_interface, 1);
  if (strcmp(interface, "zwlr_data_control_manager_v1") == 0)
    manager = wl_registry_bind(r, name, &zwlr_data_control_manager_v1_interface, 1);
}
static void global_remove(void *data, struct wl_registry *r, uint32_t name) {}
static const struct wl_registry_listener registry_listener = {global, global_remove};

static void send(void *data, struct zwlr_data_control_source_v1 *s, const char *mime, int32_t fd) {
  if (write(fd, last, last_size) < 0) perror("write");
  close(fd);
}
static void cancelled(void *data, struct zwlr_data_control_source_v1 *s) { zwlr_data_control_source_v1_destroy(s); }
static const struct zwlr_data_control_source_v1_listener source_listener = {send, cancelled};

static void offer(void *data, struct zwlr_data_control_offer_v1 *o, const char *mime) {
  if (strcmp(mime, OWN) == 0) own_offer = 1;
  if (strcmp(mime, "text/plain;charset=utf-8") == 0) text_offer = 1;
}
static const struct zwlr_data_control_offer_v1_listener offer_listener = {offer};

static void data_offer(void *data, struct zwlr_data_control_device_v1 *d, struct zwlr_data_control_offer_v1 *o) {
  own_offer = text_offer = 0;
  zwlr_data_control_offer_v1_add_listener(o, &offer_listener, NULL);
}
static void selection(void *data, struct zwlr_data_control_device_v1 *d, struct zwlr_data_control_offer_v1 *o) {
  if (o == NULL && last != NULL) {  /* emptied: put the last text back */
    if (delay > 0) usleep(delay * 1000);
    struct zwlr_data_control_source_v1 *s = zwlr_data_control_manager_v1_create_data_source(manager);
    zwlr_data_control_source_v1_add_listener(s, &source_listener, NULL);
    zwlr_data_control_source_v1_offer(s, "text/plain;charset=utf-8");
    zwlr_data_control_source_v1_offer(s, OWN);
    zwlr_data_control_device_v1_set_selection(device, s);
    wl_display_flush(display);
  } else if (o != NULL && !own_offer && text_offer) {  /* a new text: remember it */
    int fds[2];
    if (pipe(fds) == 0) {
      zwlr_data_control_offer_v1_receive(o, "text/plain;charset=utf-8", fds[1]);
      close(fds[1]);
      wl_display_flush(display);
      free(last);
      last = NULL;
      FILE *in = fdopen(fds[0], "r"), *out = open_memstream(&last, &last_size);
      if (in == NULL || out == NULL) exit(1);
      char piece[65536];
      for (size_t got; (got = fread(piece, 1, sizeof piece, in)) > 0;) fwrite(piece, 1, got, out);
      fclose(in);
      fclose(out);
    }
  }
  if (o != NULL) zwlr_data_control_offer_v1_destroy(o);
}
static void finished(void *data, struct zwlr_data_control_device_v1 *d) { exit(1); }
static void primary(void *data, struct zwlr_data_control_device_v1 *d, struct zwlr_data_control_offer_v1 *o) {
  if (o != NULL) zwlr_data_control_offer_v1_destroy(o);
}
static const struct zwlr_data_control_device_v1_listener device_listener = {data_offer, selection, finished, primary};

int main(int argc, char **argv) {
  delay = argc > 1 ? atoi(argv[1]) : 0;
  display = wl_display_connect(NULL);
  if (display == NULL) return 1;
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (seat == NULL || manager == NULL) return 1;
  device = zwlr_data_control_manager_v1_get_data_device(manager, seat);
  zwlr_data_control_device_v1_add_listener(device, &device_listener, NULL);
  wl_display_roundtrip(display);
  printf("ready\n");
  fflush(stdout);
  while (wl_display_dispatch(display) >= 0) {
  }
  return 0;
}
