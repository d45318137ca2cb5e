/* Drives the pointer of a wlroots compositor that has none (headless sway),
 * through the virtual-pointer protocol. Steps come as arguments, in order:
 *   move X Y    the pointer to X,Y in layout pixels (WIDTHxHEIGHT, see -s)
 *   glide X Y   the same in ten steps 30 ms apart, as a hand drags
 *   press | release   the left button
 *   wait MS     a pause
 * Usage: virtual_pointer [-s WIDTHxHEIGHT] STEP... (default 1280x1024)
 * Exits 0 when every step reached the compositor, 1 with a message if not. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  }
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static uint32_t now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static void pause_ms(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
  nanosleep(&t, NULL);
}

int main(int argc, char **argv) {
  unsigned width = 1280;
  unsigned height = 1024;
  int i = 1;
  if (argc > 2 && strcmp(argv[1], "-s") == 0) {
    char *end = NULL;
    width = (unsigned)strtoul(argv[2], &end, 10);
    height = *end == 'x' ? (unsigned)strtoul(end + 1, &end, 10) : 0;
    if (*end != '\0' || width == 0 || height == 0) {
      fprintf(stderr, "virtual_pointer: -s wants WIDTHxHEIGHT, not %s\n", argv[2]);
      return 1;
    }
    i = 3;
  }
  struct wl_display *display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "virtual_pointer: cannot connect to the Wayland display\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (manager == NULL) {
    fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointers\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1 *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, NULL);
  /* A new pointer device gives the seat its pointer again: clients need a
   * moment to take their wl_pointer, or the first enter goes nowhere. */
  wl_display_roundtrip(display);
  pause_ms(300);
  double x = 0;
  double y = 0;
  for (; i < argc; ++i) {
    const char *step = argv[i];
    if ((strcmp(step, "move") == 0 || strcmp(step, "glide") == 0) && i + 2 < argc) {
      const double to_x = strtod(argv[i + 1], NULL);
      const double to_y = strtod(argv[i + 2], NULL);
      const int steps = strcmp(step, "glide") == 0 ? 10 : 1;
      for (int s = 1; s <= steps; ++s) {
        const double at_x = x + (to_x - x) * s / steps;
        const double at_y = y + (to_y - y) * s / steps;
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), (uint32_t)at_x, (uint32_t)at_y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        if (steps > 1) {
          pause_ms(30);
        }
      }
      x = to_x;
      y = to_y;
      i += 2;
    } else if (strcmp(step, "press") == 0 || strcmp(step, "release") == 0) {
      const uint32_t state = strcmp(step, "press") == 0 ? WL_POINTER_BUTTON_STATE_PRESSED
                                                        : WL_POINTER_BUTTON_STATE_RELEASED;
      zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, state);
      zwlr_virtual_pointer_v1_frame(pointer);
      wl_display_roundtrip(display);
    } else if (strcmp(step, "wait") == 0 && i + 1 < argc) {
      pause_ms(strtol(argv[++i], NULL, 10));
    } else {
      fprintf(stderr, "virtual_pointer: unknown or incomplete step '%s'\n", step);
      return 1;
    }
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  const int failed = wl_display_roundtrip(display) < 0;
  if (failed) {
    fprintf(stderr, "virtual_pointer: the compositor dropped the connection\n");
  }
  wl_display_disconnect(display);
  return failed;
}
