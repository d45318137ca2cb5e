/* A clipboard manager of the tests' own on X11: it remembers the last text
 * put on the clipboard and, whenever it sees the clipboard empty, puts that
 * text back after DELAY milliseconds, owning it with CurrentTime as a
 * toolkit's clipboard call from an idle handler does.
 * Usage: refill_x11 DELAY */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

static xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), NULL);
  xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
  free(r);
  return a;
}

int main(int argc, char **argv) {
  const int delay = argc > 1 ? atoi(argv[1]) : 0;
  xcb_connection_t *c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, 0, w, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, NULL);
  const xcb_atom_t clipboard = atom(c, "CLIPBOARD"), utf8 = atom(c, "UTF8_STRING"), targets = atom(c, "TARGETS"),
                   held = atom(c, "REFILL_HELD");
  free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), NULL));
  xcb_xfixes_select_selection_input(c, w, clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  const uint8_t fixes = xcb_get_extension_data(c, &xcb_xfixes_id)->first_event;
  xcb_get_property_reply_t *last = NULL;  /* the last text, as it was read */
  xcb_flush(c);
  printf("ready\n");
  fflush(stdout);
  xcb_generic_event_t *e;
  while ((e = xcb_wait_for_event(c))) {
    const uint8_t type = e->response_type & 0x7f;
    if (type == fixes + XCB_XFIXES_SELECTION_NOTIFY) {
      xcb_xfixes_selection_notify_event_t *n = (xcb_xfixes_selection_notify_event_t *)e;
      if (n->owner == XCB_WINDOW_NONE && last) {  /* emptied: put the last text back */
        if (delay > 0) usleep(delay * 1000);
        xcb_set_selection_owner(c, w, clipboard, XCB_CURRENT_TIME);
      } else if (n->owner != XCB_WINDOW_NONE && n->owner != w) {  /* a new text: remember it */
        xcb_convert_selection(c, w, clipboard, utf8, held, n->selection_timestamp);
      }
    } else if (type == XCB_SELECTION_NOTIFY) {
      xcb_selection_notify_event_t *n = (xcb_selection_notify_event_t *)e;
      xcb_get_property_reply_t *r =
          n->property ? xcb_get_property_reply(c, xcb_get_property(c, 1, w, held, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24), NULL) : NULL;
      if (r && r->type == utf8) {
        free(last);
        last = r;
      } else {
        free(r);
      }
    } else if (type == XCB_SELECTION_REQUEST) {
      xcb_selection_request_event_t *q = (xcb_selection_request_event_t *)e;
      xcb_selection_notify_event_t a = {.response_type = XCB_SELECTION_NOTIFY, .time = q->time, .requestor = q->requestor,
                                        .selection = q->selection, .target = q->target, .property = q->property};
      if (q->target == targets) {
        const xcb_atom_t offered[] = {targets, utf8};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, q->requestor, q->property, XCB_ATOM_ATOM, 32, 2, offered);
      } else if (q->target == utf8 && last) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, q->requestor, q->property, utf8, 8,
                            xcb_get_property_value_length(last), xcb_get_property_value(last));
      } else {
        a.property = XCB_ATOM_NONE;
      }
      xcb_send_event(c, 0, q->requestor, 0, (const char *)&a);
    }
    free(e);
    xcb_flush(c);
  }
  return 0;
}
