#include "app/linux/x11_selection.h"

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/form.h"

namespace kestrova::x11 {

namespace {

// libxcb, opened the first time a keeper needs X11: a start on Wayland
// then never loads it, nor the four libraries it brings along, which cost
// as much as a third of a millisecond of every start.
struct Xcb {
  decltype(&::xcb_change_property) change_property;
  decltype(&::xcb_change_window_attributes) change_window_attributes;
  decltype(&::xcb_connect) connect;
  decltype(&::xcb_connection_has_error) connection_has_error;
  decltype(&::xcb_convert_selection) convert_selection;
  decltype(&::xcb_create_window) create_window;
  decltype(&::xcb_disconnect) disconnect;
  decltype(&::xcb_flush) flush;
  decltype(&::xcb_generate_id) generate_id;
  decltype(&::xcb_get_file_descriptor) get_file_descriptor;
  decltype(&::xcb_get_property) get_property;
  decltype(&::xcb_get_property_reply) get_property_reply;
  decltype(&::xcb_get_property_value) get_property_value;
  decltype(&::xcb_get_property_value_length) get_property_value_length;
  decltype(&::xcb_get_selection_owner) get_selection_owner;
  decltype(&::xcb_get_selection_owner_reply) get_selection_owner_reply;
  decltype(&::xcb_get_setup) get_setup;
  decltype(&::xcb_intern_atom) intern_atom;
  decltype(&::xcb_intern_atom_reply) intern_atom_reply;
  decltype(&::xcb_poll_for_event) poll_for_event;
  decltype(&::xcb_poll_for_queued_event) poll_for_queued_event;
  decltype(&::xcb_send_event) send_event;
  decltype(&::xcb_set_selection_owner) set_selection_owner;
  decltype(&::xcb_setup_roots_iterator) setup_roots_iterator;
  decltype(&::xcb_wait_for_event) wait_for_event;
};

template <typename Function>
void bind(void* library, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (function == nullptr) {
    throw PlatformError(std::string("cannot set the clipboard: ") + name + " is missing from libxcb");
  }
}

const Xcb& xcb() {
  static const Xcb library = [] {
    void* handle = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      throw PlatformError(std::string("cannot set the clipboard: cannot load libxcb: ") + dlerror());
    }
    Xcb bound{};
    bind(handle, bound.change_property, "xcb_change_property");
    bind(handle, bound.change_window_attributes, "xcb_change_window_attributes");
    bind(handle, bound.connect, "xcb_connect");
    bind(handle, bound.connection_has_error, "xcb_connection_has_error");
    bind(handle, bound.convert_selection, "xcb_convert_selection");
    bind(handle, bound.create_window, "xcb_create_window");
    bind(handle, bound.disconnect, "xcb_disconnect");
    bind(handle, bound.flush, "xcb_flush");
    bind(handle, bound.generate_id, "xcb_generate_id");
    bind(handle, bound.get_file_descriptor, "xcb_get_file_descriptor");
    bind(handle, bound.get_property, "xcb_get_property");
    bind(handle, bound.get_property_reply, "xcb_get_property_reply");
    bind(handle, bound.get_property_value, "xcb_get_property_value");
    bind(handle, bound.get_property_value_length, "xcb_get_property_value_length");
    bind(handle, bound.get_selection_owner, "xcb_get_selection_owner");
    bind(handle, bound.get_selection_owner_reply, "xcb_get_selection_owner_reply");
    bind(handle, bound.get_setup, "xcb_get_setup");
    bind(handle, bound.intern_atom, "xcb_intern_atom");
    bind(handle, bound.intern_atom_reply, "xcb_intern_atom_reply");
    bind(handle, bound.poll_for_event, "xcb_poll_for_event");
    bind(handle, bound.poll_for_queued_event, "xcb_poll_for_queued_event");
    bind(handle, bound.send_event, "xcb_send_event");
    bind(handle, bound.set_selection_owner, "xcb_set_selection_owner");
    bind(handle, bound.setup_roots_iterator, "xcb_setup_roots_iterator");
    bind(handle, bound.wait_for_event, "xcb_wait_for_event");
    return bound;
  }();
  return library;
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What a reader may ask for, and what it gets.
enum Atom {
  CLIPBOARD,
  TARGETS,
  TIMESTAMP,
  UTF8_STRING,
  STRING,
  TEXT,
  TEXT_PLAIN,
  TEXT_PLAIN_UTF8,
  INCR,
  MULTIPLE,
  kAtoms
};
constexpr const char* kAtomNames[kAtoms] = {"CLIPBOARD", "TARGETS", "TIMESTAMP",  "UTF8_STRING",
                                            "STRING",    "TEXT",    "text/plain", "text/plain;charset=utf-8",
                                            "INCR",      "MULTIPLE"};

// An INCR transfer under way: the reader deletes the property, we append
// the next piece, until an empty piece says that all of it came.
struct Transfer {
  xcb_window_t requestor;
  xcb_atom_t property;
  xcb_atom_t type;
  const std::string* data;
  std::size_t sent;
  Clock::time_point last;
};

class Display {
 public:
  // Throws PlatformError when there is no display to talk to.
  Display() {
    connection_ = xcb().connect(nullptr, nullptr);
    if (xcb().connection_has_error(connection_) != 0) {
      xcb().disconnect(connection_);
      throw PlatformError("cannot set the clipboard: cannot open the X display");
    }
    const xcb_setup_t* setup = xcb().get_setup(connection_);
    xcb_screen_t* screen = xcb().setup_roots_iterator(setup).data;
    window_ = xcb().generate_id(connection_);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb().create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    // The atoms and the server's time in one round trip: the time comes
    // from a change to our own window's property, so that the ownership is
    // dated, as readers and the server expect, not "current".
    xcb_intern_atom_cookie_t cookies[kAtoms];
    for (int i = 0; i < kAtoms; ++i) {
      cookies[i] =
          xcb().intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
    }
    // The same change marks the window as a keeper's, for other starts.
    xcb().change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof kKeeperWindowClass, kKeeperWindowClass);
    for (int i = 0; i < kAtoms; ++i) {
      xcb_intern_atom_reply_t* reply = xcb().intern_atom_reply(connection_, cookies[i], nullptr);
      atoms_[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
      std::free(reply);
    }
    time_ = property_time();
    // The largest property a single request can carry; more goes by INCR.
    max_piece_ = static_cast<std::size_t>(setup->maximum_request_length) * 4 - 64;
  }

  // The server's time when this connection was opened. A clear and the copy
  // that follows it are dated with it: should another program have changed
  // the clipboard since, the server ignores ours, and that newer copy wins.
  xcb_timestamp_t time() const { return time_; }

  void set_owner(xcb_window_t owner, xcb_timestamp_t time) {
    xcb().set_selection_owner(connection_, owner, atoms_[CLIPBOARD], time);
  }

  xcb_window_t owner() {
    xcb_get_selection_owner_reply_t* reply = xcb().get_selection_owner_reply(
        connection_, xcb().get_selection_owner(connection_, atoms_[CLIPBOARD]), nullptr);
    if (reply == nullptr) {
      throw PlatformError("cannot set the clipboard: the X display closed the connection");
    }
    const xcb_window_t owner = reply->owner;
    std::free(reply);
    return owner;
  }

  xcb_window_t window() const { return window_; }

  // Who holds the clipboard now; `ours` tells the copy's own windows. Our
  // keepers' windows carry their class; one gone meanwhile holds nothing.
  Holder holder(const std::function<bool(xcb_window_t)>& ours) {
    const xcb_window_t now = owner();
    if (now == XCB_WINDOW_NONE) {
      return Holder::Nobody;
    }
    if (ours(now)) {
      return Holder::Copy;
    }
    xcb_get_property_reply_t* reply =
        xcb().get_property_reply(connection_,
                                 xcb().get_property(connection_, 0, now, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                                                    0, sizeof kKeeperWindowClass),
                                 nullptr);
    if (reply == nullptr) {
      return Holder::Nobody;
    }
    const auto size = static_cast<std::size_t>(xcb().get_property_value_length(reply));
    const bool marked = size == sizeof kKeeperWindowClass &&
                        std::memcmp(xcb().get_property_value(reply), kKeeperWindowClass, size) == 0;
    std::free(reply);
    return marked ? Holder::Keeper : Holder::Other;
  }

  // What the clipboard's owner gives as UTF-8 within a second, whole or
  // piece by piece (a manager holds a large copy as we do).
  Answer answer(const Text& text) {
    const std::string expected = to_utf8(text);
    std::string held;
    const auto deadline = Clock::now() + milliseconds(1000);
    const Answer given = read_clipboard(held, expected.size(), deadline);
    return given == Answer::Same ? (held == expected ? Answer::Same : Answer::Different) : given;
  }

  // Serves `text` until another program owns the clipboard; then whatever
  // transfer is still under way gets a short while to finish.
  [[noreturn]] void serve(const Text& text, xcb_timestamp_t since) {
    utf8_ = to_utf8(text);
    latin1_ = to_latin1(text);
    since_ = since;
    bool lost = false;
    Clock::time_point lost_at;
    const int fd = xcb().get_file_descriptor(connection_);
    const auto take = [&](xcb_generic_event_t* event) {
      lost = handle(event) || lost;
      if (lost && lost_at == Clock::time_point()) {
        lost_at = Clock::now();
      }
      std::free(event);
    };
    for (;;) {
      while (xcb_generic_event_t* event = xcb().poll_for_event(connection_)) {
        take(event);
      }
      if (xcb().connection_has_error(connection_) != 0) {
        _exit(0);
      }
      const auto now = Clock::now();
      std::erase_if(transfers_, [&](const Transfer& t) { return now - t.last > std::chrono::seconds(5); });
      if (lost && (transfers_.empty() || now - lost_at > milliseconds(400))) {
        leave();
      }
      xcb().flush(connection_);
      // Flushing may have read a request into libxcb's queue, which the
      // socket no longer shows: served now, it waits for no other event.
      if (xcb_generic_event_t* queued = xcb().poll_for_queued_event(connection_)) {
        take(queued);
        continue;
      }
      pollfd wait{fd, POLLIN, 0};
      poll(&wait, 1, transfers_.empty() && !lost ? -1 : 100);
    }
  }

  xcb_connection_t* connection() const { return connection_; }

 private:
  // Ends the keeper once the server has taken every answer written so far:
  // an answer still in libxcb's buffer, or not yet read by the server, would
  // leave its reader waiting for its own timeout.
  [[noreturn]] void leave() {
    std::free(xcb().get_selection_owner_reply(
        connection_, xcb().get_selection_owner(connection_, atoms_[CLIPBOARD]), nullptr));
    _exit(0);
  }

  // Asks the clipboard's owner for UTF8_STRING into `text`: Same once it all
  // came (at most `limit` bytes, else Different), Different when refused,
  // None when no answer came by `deadline`.
  Answer read_clipboard(std::string& text, std::size_t limit, Clock::time_point deadline) {
    const xcb_atom_t property = atoms_[UTF8_STRING];
    xcb().convert_selection(connection_, window_, atoms_[CLIPBOARD], atoms_[UTF8_STRING], property,
                            XCB_CURRENT_TIME);
    xcb().flush(connection_);
    const int fd = xcb().get_file_descriptor(connection_);
    bool incr = false;
    for (;;) {
      while (xcb_generic_event_t* event = xcb().poll_for_event(connection_)) {
        const auto type = event->response_type & 0x7f;
        const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
        const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
        const bool answered = !incr && type == XCB_SELECTION_NOTIFY && notify->requestor == window_;
        const bool refused = answered && notify->property == XCB_ATOM_NONE;
        const bool piece = incr && type == XCB_PROPERTY_NOTIFY && change->window == window_ &&
                           change->atom == property && change->state == XCB_PROPERTY_NEW_VALUE;
        std::free(event);
        if (refused) {
          return Answer::Different;
        }
        if (answered || piece) {
          std::string got;
          xcb_atom_t type_of = XCB_ATOM_NONE;
          if (!take_property(property, got, type_of)) {
            return Answer::Different;
          }
          if (answered && type_of == atoms_[INCR]) {
            incr = true;  // the pieces follow, each once we deleted the last
            continue;
          }
          if (!incr || got.empty()) {
            text += got;
            return text.size() <= limit ? Answer::Same : Answer::Different;
          }
          text += got;
          if (text.size() > limit) {
            return Answer::Different;
          }
        }
      }
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || xcb().connection_has_error(connection_) != 0) {
        return Answer::None;
      }
      pollfd wait{fd, POLLIN, 0};
      poll(&wait, 1, static_cast<int>(left));
    }
  }

  xcb_timestamp_t property_time() {
    xcb().flush(connection_);
    while (xcb_generic_event_t* event = xcb().wait_for_event(connection_)) {
      const bool ours = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                        reinterpret_cast<xcb_property_notify_event_t*>(event)->window == window_;
      const xcb_timestamp_t stamp = ours ? reinterpret_cast<xcb_property_notify_event_t*>(event)->time : 0;
      std::free(event);
      if (ours) {
        return stamp;
      }
    }
    throw PlatformError("cannot set the clipboard: cannot reach the X display");
  }

  // Reads and deletes our window's `property`; false unless it holds bytes.
  bool take_property(xcb_atom_t property, std::string& text, xcb_atom_t& type) {
    xcb_get_property_reply_t* reply = xcb().get_property_reply(
        connection_,
        xcb().get_property(connection_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 24), nullptr);
    if (reply == nullptr) {
      return false;
    }
    type = reply->type;
    const bool whole = (reply->format == 8 || reply->type == atoms_[INCR]) && reply->bytes_after == 0;
    if (whole && reply->format == 8) {
      text.assign(static_cast<const char*>(xcb().get_property_value(reply)),
                  static_cast<std::size_t>(xcb().get_property_value_length(reply)));
    }
    std::free(reply);
    xcb().flush(connection_);  // the deletion asks the owner for the next piece
    return whole;
  }

  // Returns true when the event says we lost the clipboard.
  bool handle(xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
      case XCB_SELECTION_REQUEST:
        answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        return false;
      case XCB_SELECTION_CLEAR:
        return reinterpret_cast<xcb_selection_clear_event_t*>(event)->selection == atoms_[CLIPBOARD];
      case XCB_PROPERTY_NOTIFY:
        next_piece(*reinterpret_cast<xcb_property_notify_event_t*>(event));
        return false;
      case 0: {  // an error: a reader's window that went away ends its transfer
        const uint32_t bad = reinterpret_cast<xcb_generic_error_t*>(event)->resource_id;
        std::erase_if(transfers_, [bad](const Transfer& t) { return t.requestor == bad; });
        return false;
      }
      default:
        return false;
    }
  }

  void answer(const xcb_selection_request_event_t& request) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    // Readers from before the property was required name none.
    notify.property = request.property != XCB_ATOM_NONE ? request.property : request.target;
    const bool in_time = request.time == XCB_CURRENT_TIME || request.time >= since_;
    const bool ours = request.selection == atoms_[CLIPBOARD] && in_time;
    bool done = false;
    if (ours && request.target == atoms_[MULTIPLE]) {
      done = request.property != XCB_ATOM_NONE && convert_each(request.requestor, request.property);
    } else if (ours) {
      done = convert(request.requestor, notify.property, request.target);
    }
    if (!done) {
      notify.property = XCB_ATOM_NONE;
    }
    xcb().send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
  }

  // Puts the text as `target` into the requestor's `property`. False when
  // we do not offer that target.
  bool convert(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target) {
    if (target == atoms_[TARGETS]) {
      const xcb_atom_t targets[] = {
          atoms_[TARGETS],         atoms_[TIMESTAMP],  atoms_[MULTIPLE], atoms_[UTF8_STRING],
          atoms_[TEXT_PLAIN_UTF8], atoms_[TEXT_PLAIN], atoms_[STRING],   atoms_[TEXT]};
      put_whole(requestor, property, XCB_ATOM_ATOM, 32, sizeof targets / sizeof targets[0], targets);
    } else if (target == atoms_[TIMESTAMP]) {
      put_whole(requestor, property, XCB_ATOM_INTEGER, 32, 1, &since_);
    } else if (target == atoms_[UTF8_STRING] || target == atoms_[TEXT] || target == atoms_[TEXT_PLAIN] ||
               target == atoms_[TEXT_PLAIN_UTF8]) {
      put(requestor, property, target == atoms_[TEXT] ? atoms_[UTF8_STRING] : target, utf8_);
    } else if (target == atoms_[STRING]) {
      put(requestor, property, atoms_[STRING], latin1_);
    } else {
      return false;
    }
    return true;
  }

  // MULTIPLE: the requestor's property lists (target, property) pairs; each
  // is answered into its own property, and a refused one has its property
  // replaced by None in the list, which goes back where it came from. A list
  // that is not whole pairs, or longer than any reader needs (each pair may
  // cost the whole text), is refused as a whole.
  bool convert_each(xcb_window_t requestor, xcb_atom_t property) {
    constexpr uint32_t kMaxPairs = 64;
    xcb_get_property_reply_t* reply = xcb().get_property_reply(
        connection_,
        xcb().get_property(connection_, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 2 * kMaxPairs),
        nullptr);
    if (reply == nullptr) {
      return false;  // the requestor went away
    }
    const bool pairs = reply->format == 32 && reply->type != XCB_ATOM_NONE && reply->bytes_after == 0 &&
                       xcb().get_property_value_length(reply) % 8 == 0;
    std::vector<xcb_atom_t> list;
    if (pairs) {
      const auto* atoms = static_cast<const xcb_atom_t*>(xcb().get_property_value(reply));
      list.assign(atoms, atoms + xcb().get_property_value_length(reply) / 4);
    }
    const xcb_atom_t type = reply->type;
    std::free(reply);
    if (!pairs) {
      return false;
    }
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
      // Another MULTIPLE inside, or one into the list itself, is refused.
      if (list[i + 1] == XCB_ATOM_NONE || list[i + 1] == property || list[i] == atoms_[MULTIPLE] ||
          !convert(requestor, list[i + 1], list[i])) {
        list[i + 1] = XCB_ATOM_NONE;
      }
    }
    xcb().change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, type, 32,
                        static_cast<uint32_t>(list.size()), list.data());
    return true;
  }

  // A property written whole ends whatever transfer went into it before.
  void put_whole(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, uint8_t format, uint32_t count,
                 const void* data) {
    end_transfer(requestor, property);
    xcb().change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, type, format, count, data);
  }

  // A reader that asks again into the same property starts afresh: a piece
  // of the earlier transfer must not land in the new one.
  void end_transfer(xcb_window_t requestor, xcb_atom_t property) {
    std::erase_if(transfers_,
                  [&](const Transfer& t) { return t.requestor == requestor && t.property == property; });
  }

  void put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, const std::string& data) {
    if (data.size() <= max_piece_) {
      put_whole(requestor, property, type, 8, static_cast<uint32_t>(data.size()), data.data());
      return;
    }
    end_transfer(requestor, property);
    // Too big for one request: the reader takes it piece by piece, each
    // time it deletes the property.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb().change_window_attributes(connection_, requestor, XCB_CW_EVENT_MASK, &events);
    const auto size = static_cast<uint32_t>(data.size());
    xcb().change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, atoms_[INCR], 32, 1, &size);
    transfers_.push_back({requestor, property, type, &data, 0, Clock::now()});
  }

  void next_piece(const xcb_property_notify_event_t& event) {
    if (event.state != XCB_PROPERTY_DELETE) {
      return;
    }
    for (auto t = transfers_.begin(); t != transfers_.end(); ++t) {
      if (t->requestor != event.window || t->property != event.atom) {
        continue;
      }
      const std::size_t piece = std::min(max_piece_, t->data->size() - t->sent);
      xcb().change_property(connection_, XCB_PROP_MODE_REPLACE, t->requestor, t->property, t->type, 8,
                          static_cast<uint32_t>(piece), t->data->data() + t->sent);
      t->last = Clock::now();
      if (piece == 0) {  // the empty piece that ends it was just written
        const xcb_window_t requestor = t->requestor;
        transfers_.erase(t);
        if (std::none_of(transfers_.begin(), transfers_.end(),
                         [requestor](const Transfer& other) { return other.requestor == requestor; })) {
          const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
          xcb().change_window_attributes(connection_, requestor, XCB_CW_EVENT_MASK, &none);
        }
      } else {
        t->sent += piece;
      }
      return;
    }
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = XCB_WINDOW_NONE;
  xcb_atom_t atoms_[kAtoms] = {};
  std::size_t max_piece_ = 0;
  xcb_timestamp_t time_ = 0;
  xcb_timestamp_t since_ = 0;
  std::string utf8_;
  std::string latin1_;
  std::vector<Transfer> transfers_;
};

// The process's connection; never disconnected (see copy()). A connection
// handed to a keeper is left to it, and a later copy opens another; those
// handed on are kept here, still reachable, until the process ends.
Display* current = nullptr;
auto* const handed_on = new std::vector<Display*>;  // never destroyed, as they are not

Display& display() {
  if (current == nullptr) {
    current = new Display();
  }
  return *current;
}

}  // namespace

void clear_clipboard() {
  Display& x = display();
  x.set_owner(XCB_WINDOW_NONE, x.time());
  xcb().flush(x.connection());
}

bool settle_copy(const std::function<bool(std::uint32_t)>& ours, const Text& text) {
  Display& x = display();
  return copy_stands([&] { return x.holder(ours); }, [&] { return x.answer(text); });
}

void copy(const Text& text) {
  Display& x = display();
  const xcb_timestamp_t time = x.time();
  const xcb_window_t window = x.window();
  x.set_owner(window, time);
  // The server refuses ours when it is older than the owner's, or another
  // owner may come at once.
  if (!settle_copy([window](std::uint32_t owner) { return owner == window; }, text)) {
    return;
  }
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    x.set_owner(XCB_WINDOW_NONE, time);
    xcb().flush(x.connection());
    throw PlatformError(std::string("cannot keep the clipboard: ") + std::strerror(errno));
  }
  if (child == 0) {
    detach_from_caller();
    close_descriptors_except({xcb().get_file_descriptor(x.connection())});
    x.serve(text, time);
  }
  // The keeper now speaks on the connection; this process no longer does.
  handed_on->push_back(std::exchange(current, nullptr));
  // Ending it would shut the socket for the keeper too, so it is left to
  // close with the process.
}

namespace {

class X11Keeper final : public SelectionKeeper {
 public:
  void clear() override { clear_clipboard(); }
  void copy(const Text& text) override { x11::copy(text); }
};

}  // namespace

bool display_answers() {
  try {
    xcb_connection_t* connection = xcb().connect(nullptr, nullptr);
    const bool answers = xcb().connection_has_error(connection) == 0;
    xcb().disconnect(connection);
    return answers;
  } catch (const PlatformError&) {
    return false;  // no libxcb: no X11 either
  }
}

std::unique_ptr<SelectionKeeper> keeper() { return std::make_unique<X11Keeper>(); }

}  // namespace kestrova::x11
