// A reader of the X11 clipboard for the tests, doing what xclip cannot: it
// starts taking UTF8_STRING piece by piece, says "halfway" after the first
// piece and waits there to be killed.
// Exits 1 when the owner does not answer within 5 seconds.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t window = 0;

xcb_atom_t atom(const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return found;
}

[[noreturn]] void fail(const char* why) {
  std::fprintf(stderr, "x11_reader: %s\n", why);
  std::exit(1);
}

// The next event of `type` (without the sent-event bit), waiting 5 s at most.
xcb_generic_event_t* next(uint8_t type) {
  for (;;) {
    xcb_flush(c);
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      if ((event->response_type & 0x7f) == type) {
        return event;
      }
      std::free(event);
    }
    pollfd wait{xcb_get_file_descriptor(c), POLLIN, 0};
    if (poll(&wait, 1, 5000) <= 0) {
      fail("the owner did not answer");
    }
  }
}

// The property's value and type, deleted once read.
std::string take(xcb_atom_t property, xcb_atom_t* type) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24), nullptr);
  if (reply == nullptr) {
    fail("cannot read the property");
  }
  *type = reply->type;
  std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply)));
  std::free(reply);
  return value;
}

// Asks for `target` into `property`; the property's type once answered, or None.
xcb_atom_t ask(xcb_atom_t target, xcb_atom_t property) {
  xcb_convert_selection(c, window, atom("CLIPBOARD"), target, property, XCB_CURRENT_TIME);
  auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(next(XCB_SELECTION_NOTIFY));
  const xcb_atom_t answered = notify->property;
  std::free(notify);
  return answered;
}

// The next piece of an INCR transfer into `property`.
std::string piece(xcb_atom_t property) {
  for (;;) {
    auto* event = reinterpret_cast<xcb_property_notify_event_t*>(next(XCB_PROPERTY_NOTIFY));
    const bool fresh = event->atom == property && event->state == XCB_PROPERTY_NEW_VALUE;
    std::free(event);
    if (fresh) {
      xcb_atom_t type = 0;
      return take(property, &type);
    }
  }
}

// Starts an INCR transfer of UTF8_STRING into `property` and takes its first piece.
std::string first_piece(xcb_atom_t property) {
  if (ask(atom("UTF8_STRING"), property) == XCB_ATOM_NONE) {
    fail("refused");
  }
  xcb_atom_t type = 0;
  take(property, &type);
  if (type != atom("INCR")) {
    fail("the text came whole: too small for this test");
  }
  return piece(property);
}

}  // namespace

int main() {
  c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c) != 0) {
    fail("cannot open the display");
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  window = xcb_generate_id(c);
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    screen->root_visual, XCB_CW_EVENT_MASK, &events);
  first_piece(atom("KESTROVA_TEST_READ"));
  std::printf("halfway\n");
  std::fflush(stdout);
  pause();
}
