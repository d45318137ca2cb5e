// The clipboard keepers' tests, with this program standing in for the
// started one of the window's hand-over (its main answers as the program's
// does): where a copy goes; the hand-over; the data-control keeper against a
// compositor of the test's own; and, under xvfb-run (the entry
// x11_selection_test), the X11 keeper on a real X server: an owner that
// replaces the copy at once, a MULTIPLE with hostile lists, and a reader that
// never pauses while copies follow each other. With --halfway it is instead
// x11_load_test's reader that stops mid-transfer, doing what xclip cannot;
// with --refill DELAY, refill_x11_test's clipboard manager. The copies on a
// real compositor: wayland_test.
#include "app/linux/selection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-server.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/form.h"
#include "app/linux/handed_copy.h"
#include "app/linux/wayland_selection.h"
#include "app/linux/x11_selection.h"
#include "data-control-server-protocol.h"

namespace kestrova {
namespace {

using Route = ClipboardRoute;
const std::vector<std::string> kWlr{"wl_compositor", "wl_seat", "zwlr_data_control_manager_v1"};
const std::vector<std::string> kBoth{"wl_seat", "zwlr_data_control_manager_v1",
                                     "ext_data_control_manager_v1"};
const std::vector<std::string> kNone{"wl_compositor", "wl_seat", "wl_data_device_manager"};
const std::vector<std::string> kNoSeat{"wl_compositor", "zwlr_data_control_manager_v1"};

// Each session as a desktop gives it, with what its compositor offers
// (nullopt: no compositor answered), and where the copies go.
TEST(ClipboardRoute, FollowsWhatTheSessionOffers) {
  const struct {
    const char* desktop;
    Session session;
    std::optional<std::vector<std::string>> offered;
    bool asks;
    Route route;
  } cases[] = {
      {"Plasma (KWin, XWayland)", {"wayland-0", ":0", ""}, kWlr, true, Route::WlrDataControl},
      {"the standard protocol first", {"wayland-0", ":0", ""}, kBoth, true, Route::ExtDataControl},
      {"GNOME (Mutter, XWayland)", {"wayland-0", ":0", ""}, kNone, true, Route::X11},
      {"a compositor without data control, no X11", {"wayland-0", "", ""}, kNone, true, Route::Qt},
      {"data control but no seat", {"wayland-0", ":0", ""}, kNoSeat, true, Route::X11},
      {"a stale WAYLAND_DISPLAY", {"wayland-9", ":0", ""}, std::nullopt, true, Route::X11},
      {"X11 alone", {"", ":0", ""}, std::nullopt, false, Route::X11},
      {"Qt asked for xcb", {"wayland-0", ":0", "xcb"}, kWlr, true, Route::WlrDataControl},
      {"Qt asked for wayland", {"wayland-0", ":0", "wayland"}, kWlr, true, Route::WlrDataControl},
      {"Qt asked for wayland, no data control", {"wayland-0", ":0", "wayland-egl"}, kNone, true, Route::Qt},
      {"Qt asked for xcb on X11", {"", ":0", "xcb"}, std::nullopt, false, Route::X11},
      {"offscreen whatever is offered", {"wayland-0", ":0", "offscreen"}, kWlr, false, Route::Qt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(asks_compositor(c.session), c.asks) << c.desktop;
    EXPECT_EQ(choose_route(c.session, c.offered ? &*c.offered : nullptr), c.route) << c.desktop;
  }
}

TEST(ClipboardRoute, Latin1ForX11Strings) {
  EXPECT_EQ(to_latin1(u"a\u00e9\u00ff\u0100\u3042"), std::string("a\xe9\xff??"));
}

// A copy that fails in the started process fails in the window with that
// process's own words, and the process is gone, not left a zombie. (The
// routes' own failures, taken-over copies and copies that hold come back
// from real keepers below.)
TEST(HandedCopy, BringsTheStartedProcessesFailureBack) {
  const Text big(300000, u'\xd800');  // more than a socket holds at once, lone surrogates too
  const struct {
    ClipboardRoute route;
    bool stops;
    const char* message;
  } cases[] = {
      {ClipboardRoute::Qt, false, "no clipboard of this program's own on this desktop"},
      // Refused before the text came: the window hears of it by the socket's end.
      // A route no start sends, so that the started one refuses it.
      // NOLINTNEXTLINE(clang-analyzer-optin.core.EnumCastOutOfRange)
      {static_cast<ClipboardRoute>(9), false, "the process that was to keep it ended without an answer"},
      // One that stops (a keeper stuck on a stalled compositor) is ended at
      // the bound: the window never freezes with it.
      {ClipboardRoute::X11, true,
       "the process that was to keep it did not answer within 300 ms and was ended"},
  };
  for (const auto& c : cases) {
    c.stops ? setenv("HANDED_COPY_TEST_STOP", "1", 1) : unsetenv("HANDED_COPY_TEST_STOP");
    std::string failure = "no failure";
    try {
      copy_in_fresh_process(c.route, big, c.stops ? std::chrono::milliseconds(300) : kHandedCopyBound);
    } catch (const PlatformError& error) {
      failure = error.what();
    }
    EXPECT_EQ(failure, std::string("cannot set the clipboard: ") + c.message);
    EXPECT_TRUE(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);  // nothing left to reap
  }
  unsetenv("HANDED_COPY_TEST_STOP");
}

// The marker is taken only with a socket behind it and no argument beside
// it; it is gone afterwards either way, so nothing started later sees it.
TEST(HandedCopy, TakesTheMarkerOnlyWithItsSocket) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const int file = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const struct {
    std::string marker;
    int argc;
  } ordinary[] = {
      {std::to_string(file), 1}, {std::to_string(pair[1]), 2}, {std::to_string(pair[1]) + "x", 1}};
  for (const auto& c : ordinary) {
    setenv("KESTROVA_HANDED_COPY", c.marker.c_str(), 1);
    EXPECT_FALSE(run_handed_copy(c.argc).has_value()) << c.marker;
    EXPECT_EQ(std::getenv("KESTROVA_HANDED_COPY"), nullptr);
  }
  // A socket that closes before the text came: a failure, told to nobody.
  close(pair[0]);
  close(file);
  setenv("KESTROVA_HANDED_COPY", std::to_string(pair[1]).c_str(), 1);
  EXPECT_EQ(run_handed_copy(1), kPlatformFailureStatus);
  EXPECT_EQ(std::getenv("KESTROVA_HANDED_COPY"), nullptr);
}

// For a compositor that replaces the copy at once: the selection that
// replaces it in the same dispatch (nullptr text: the clipboard emptied),
// whether it carries the mark of a start of the program, the one type it
// offers, and how its source answers a paste.
struct Replacement {
  const char* text = nullptr;
  bool marked = false;
  const char* type = "text/plain;charset=utf-8";
  enum { Whole, InPieces, Gone } answers = Whole;
};

// A compositor of the test's own on a socket of its own: it offers a seat
// and wlr data control, and when the clipboard is set does what the case
// says, ahead of its answer to the round trip that follows. For a
// replacement, the copy's source is cancelled and the new selection
// announced, and pastes are answered as the case says.
class FakeCompositor {
 public:
  enum class Then { Close, Error, Silence, Replace };

  explicit FakeCompositor(Then then, const Replacement& replacement = {})
      : then_(then), replacement_(replacement), display_(wl_display_create()) {
    char folder[] = "/tmp/kestrova-wayland-XXXXXX";
    folder_ = mkdtemp(folder);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", "wayland-fake", 1);
    if (wl_display_add_socket(display_, "wayland-fake") != 0) {
      ADD_FAILURE() << "cannot listen in " << folder_;
    }
    wl_global_create(display_, &wl_seat_interface, 1, nullptr,
                     [](wl_client* client, void* /*data*/, std::uint32_t /*version*/, std::uint32_t id) {
                       wl_resource_create(client, &wl_seat_interface, 1, id);
                     });
    wl_global_create(display_, &zwlr_data_control_manager_v1_interface, 1, this,
                     [](wl_client* client, void* data, std::uint32_t /*version*/, std::uint32_t id) {
                       made(client, &zwlr_data_control_manager_v1_interface, id, &kManager, data);
                     });
    if (then != Then::Silence) {  // silent: connections wait in the socket's queue
      server_ = std::thread([this] {
        while (!stop_) {
          wl_event_loop_dispatch(wl_display_get_event_loop(display_), 50);
          wl_display_flush_clients(display_);
        }
      });
    }
  }

  ~FakeCompositor() {
    stop_ = true;
    if (server_.joinable()) {
      server_.join();
    }
    EXPECT_TRUE(then_ != Then::Replace || device_ != nullptr) << "the copy never set the clipboard";
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);  // its socket and lock file with it
    rmdir(folder_.c_str());
  }
  FakeCompositor(const FakeCompositor&) = delete;
  FakeCompositor& operator=(const FakeCompositor&) = delete;

 private:
  static wl_resource* made(wl_client* client, const wl_interface* interface, std::uint32_t id,
                           const void* requests, void* data) {
    wl_resource* resource = wl_resource_create(client, interface, 1, id);
    wl_resource_set_implementation(resource, requests, data, nullptr);
    return resource;
  }
  static void destroy(wl_client* /*client*/, wl_resource* resource) { wl_resource_destroy(resource); }
  static FakeCompositor& of(wl_resource* resource) {
    return *static_cast<FakeCompositor*>(wl_resource_get_user_data(resource));
  }

  // The copy sets the clipboard: the case's answer.
  static void select(wl_client* client, wl_resource* device, wl_resource* source) {
    FakeCompositor& self = of(device);
    self.device_ = device;
    if (self.then_ == Then::Close) {
      shutdown(wl_client_get_fd(client), SHUT_RDWR);
    } else if (self.then_ == Then::Error) {
      wl_resource_post_error(device, 0, "no clipboard for you");
    } else {
      zwlr_data_control_source_v1_send_cancelled(source);
      wl_resource* offer = nullptr;
      if (self.replacement_.text != nullptr) {
        offer = made(client, &zwlr_data_control_offer_v1_interface, 0, &kOffer, &self);
        zwlr_data_control_device_v1_send_data_offer(device, offer);
        zwlr_data_control_offer_v1_send_offer(offer, self.replacement_.type);
        if (self.replacement_.marked) {
          zwlr_data_control_offer_v1_send_offer(offer, "application/x-kestrova-copy");
        }
      }
      zwlr_data_control_device_v1_send_selection(device, offer);
    }
  }

  // A paste of the replacement.
  static void answer(wl_client* /*client*/, wl_resource* offer, const char* type, std::int32_t fd) {
    const Replacement& replacement = of(offer).replacement_;
    const std::string_view text = replacement.text != nullptr ? replacement.text : "";
    if (replacement.answers == Replacement::Gone) {
      // Its source went: the clipboard is empty.
      zwlr_data_control_device_v1_send_selection(of(offer).device_, nullptr);
    } else if (std::string_view(type) == replacement.type) {
      const std::size_t step = replacement.answers == Replacement::InPieces ? 2 : text.size();
      for (std::size_t at = 0; at < text.size(); at += step) {
        (void)!write(fd, text.data() + at, std::min(step, text.size() - at));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    close(fd);
  }

  // The requests' handlers (each struct shares its name with its interface).
  static constexpr struct zwlr_data_control_source_v1_interface kSource = {
      [](wl_client* /*client*/, wl_resource* /*source*/, const char* /*type*/) {}, destroy};
  static constexpr struct zwlr_data_control_offer_v1_interface kOffer = {answer, destroy};
  static constexpr struct zwlr_data_control_device_v1_interface kDevice = {
      select, destroy, [](wl_client* /*client*/, wl_resource* /*device*/, wl_resource* /*source*/) {}};
  static constexpr struct zwlr_data_control_manager_v1_interface kManager = {
      [](wl_client* client, wl_resource* /*manager*/, std::uint32_t id) {
        made(client, &zwlr_data_control_source_v1_interface, id, &kSource, nullptr);
      },
      [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* /*seat*/) {
        made(client, &zwlr_data_control_device_v1_interface, id, &kDevice,
             wl_resource_get_user_data(manager));
      },
      destroy};

  Then then_;
  Replacement replacement_;
  wl_display* display_;
  wl_resource* device_ = nullptr;
  std::string folder_;
  std::atomic<bool> stop_ = false;
  std::thread server_;
};

// A compositor that closes the connection or reports an error when the
// clipboard is set: the copy is a failure, never done. One that offers data
// control but never answers: the start does not wait on it past its bound.
TEST(DataControl, ACompositorThatFailsTheCopyIsAFailure) {
  for (const auto then : {FakeCompositor::Then::Close, FakeCompositor::Then::Error}) {
    FakeCompositor compositor(then);
    auto connection = wayland::connect_to_compositor();
    ASSERT_NE(connection, nullptr);
    auto keeper = wayland::data_control_keeper(std::move(connection), false);
    EXPECT_THROW(keeper->copy(u"a"), PlatformError) << static_cast<int>(then);
  }
}

// Another owner in the copy's own round trip: a newer start's copy (marked)
// or a program that gives our very text as UTF-8, whole or in pieces, keeps
// it; anything else took it over, never taken for a newer copy of ours. The
// clipboard then holds what that owner put there. The same holds for the
// window's copies, handed to a fresh start: they come back as taken over, so
// that no clear of the window's wipes that program's text.
TEST(DataControl, AnOwnerThatReplacesTheCopyAtOnceNeedsEvidence) {
  using R = Replacement;
  const struct {
    const char* what;
    Replacement replacement;
    const char* failure;  // nullptr: kept
  } cases[] = {
      {"a newer start", {"newer", true}, nullptr},
      {"our text", {"ours"}, nullptr},
      {"our text in pieces", {"ours", false, R{}.type, R::InPieces}, nullptr},
      {"our text only as STRING", {"ours", false, "STRING"}, "does not answer"},
      {"another text", {"other"}, "something else"},
      {"gone before it answers", {"ours", false, R{}.type, R::Gone}, "emptied"},
      {"emptied", {}, "emptied"},
  };
  for (const bool handed : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (handed ? ", handed over" : ""));
      FakeCompositor compositor(FakeCompositor::Then::Replace, c.replacement);
      std::unique_ptr<SelectionKeeper> keeper;
      if (!handed) {
        auto connection = wayland::connect_to_compositor();
        ASSERT_NE(connection, nullptr);
        keeper = wayland::data_control_keeper(std::move(connection), false);
      }
      std::string failure = "kept";
      try {
        handed ? copy_in_fresh_process(ClipboardRoute::WlrDataControl, u"ours") : keeper->copy(u"ours");
      } catch (const CopyTakenOver& error) {
        failure = error.what();
      }
      EXPECT_NE(failure.find(c.failure != nullptr ? c.failure : "kept"), std::string::npos) << failure;
      if (c.failure != nullptr && !handed) {
        // The clear that follows a failed copy is older than the other
        // program's text: it asks nothing of the compositor.
        EXPECT_NO_THROW(keeper->clear());
      }
    }
  }
}

TEST(DataControl, ACompositorThatNeverAnswersIsNone) {
  FakeCompositor compositor(FakeCompositor::Then::Silence);
  EXPECT_EQ(wayland::connect_to_compositor(), nullptr);
}

// A program of the test's own on the display: one window, its events.
class Peer {
 public:
  Peer() : c_(xcb_connect(nullptr, nullptr)) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    window_ = xcb_generate_id(c_);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
  }
  ~Peer() { leave(); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  void leave() {
    if (c_ != nullptr) {
      xcb_disconnect(std::exchange(c_, nullptr));
    }
  }
  xcb_window_t window() const { return window_; }
  xcb_connection_t* c() const { return c_; }

  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
  }

  // The next event of `type` (0: any) within `ms`, or nullptr; the caller frees it.
  xcb_generic_event_t* next(uint8_t type, int ms) {
    for (;;) {
      xcb_flush(c_);
      while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        if (type == 0 || (event->response_type & 0x7f) == type) {
          return event;
        }
        std::free(event);
      }
      pollfd wait{xcb_get_file_descriptor(c_), POLLIN, 0};
      if (xcb_connection_has_error(c_) != 0 || poll(&wait, 1, ms) <= 0) {
        return nullptr;
      }
    }
  }

  // The property's value, deleted once read; its type into `type`.
  std::string take(xcb_atom_t property, xcb_atom_t* type = nullptr) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c_, xcb_get_property(c_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20), nullptr);
    if (reply == nullptr) {
      return "";
    }
    if (type != nullptr) {
      *type = reply->type;
    }
    std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                      static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    return value;
  }

  // The next piece of an INCR transfer into `property` ("" when none came).
  std::string piece(xcb_atom_t property) {
    while (auto* event = reinterpret_cast<xcb_property_notify_event_t*>(next(XCB_PROPERTY_NOTIFY, 5000))) {
      const bool fresh = event->atom == property && event->state == XCB_PROPERTY_NEW_VALUE;
      std::free(event);
      if (fresh) {
        return take(property);
      }
    }
    return "";
  }

  // Asks the clipboard for `target` into `property`: the property answered
  // (None when refused), or nullopt without an answer within `ms`.
  std::optional<xcb_atom_t> ask(xcb_atom_t target, xcb_atom_t property, int ms = 2000) {
    xcb_convert_selection(c_, window_, atom("CLIPBOARD"), target, property, XCB_CURRENT_TIME);
    auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(next(XCB_SELECTION_NOTIFY, ms));
    const auto answered = notify != nullptr ? std::optional(notify->property) : std::nullopt;
    std::free(notify);
    return answered;
  }

  // What a paste gives now, as UTF8_STRING or else STRING, by INCR too (""
  // when refused or cut short); with `pieces`, only by INCR and only that
  // many pieces.
  std::string read(int pieces = -1) {
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    xcb_atom_t type = 0;
    if (ask(utf8, utf8, 5000) != utf8 && ask(XCB_ATOM_STRING, utf8, 5000) != utf8) {
      return "";
    }
    std::string text = take(utf8, &type), more;
    if (type != atom("INCR")) {
      return pieces < 0 ? text : "";
    }
    for (text.clear(); pieces-- != 0 && !(more = piece(utf8)).empty();) {
      text += more;
    }
    return text;
  }

  // Answers `request` with `size` items of `format` bits, or refuses it
  // when `data` is nullptr.
  void answer(const xcb_selection_request_event_t& request, xcb_atom_t type, uint8_t format, uint32_t size,
              const void* data) {
    xcb_selection_notify_event_t notify{
        XCB_SELECTION_NOTIFY, 0, 0, request.time, request.requestor, request.selection, request.target, 0};
    if (data != nullptr) {
      notify.property = request.property;
      xcb_change_property(c_, XCB_PROP_MODE_REPLACE, notify.requestor, notify.property, type, format, size,
                          data);
    }
    xcb_send_event(c_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
  }

  // Takes the clipboard, so that it is empty once this peer leaves.
  void own() {
    xcb_set_selection_owner(c_, window_, atom("CLIPBOARD"), XCB_CURRENT_TIME);
    xcb_flush(c_);
  }

 private:
  xcb_connection_t* c_;
  xcb_window_t window_ = 0;
};

// Another program that takes the clipboard and answers as the case says.
enum class Gives { Marked, Same, SameByIncr, SameOnlyAsString, Other, Gone };

class Rival {
 public:
  // `overtaking`: takes the clipboard again within the round trip of a copy
  // made by a fresh process, whose connection is newer than the rival's.
  Rival(Gives gives, std::string text, bool overtaking = false) : gives_(gives), text_(std::move(text)) {
    if (gives_ == Gives::Marked) {
      xcb_change_property(peer_.c(), XCB_PROP_MODE_REPLACE, peer_.window(), XCB_ATOM_WM_CLASS,
                          XCB_ATOM_STRING, 8, sizeof kKeeperWindowClass, kKeeperWindowClass);
    }
    if (overtaking) {  // the copy's window appearing is the cue
      const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
      xcb_change_window_attributes(peer_.c(), xcb_setup_roots_iterator(xcb_get_setup(peer_.c())).data->root,
                                   XCB_CW_EVENT_MASK, &events);
    }
    peer_.own();
    utf8_ = peer_.atom("UTF8_STRING");  // the round trip sees the ownership through
    incr_ = peer_.atom("INCR");
    server_ = std::thread([this] { serve(); });
  }
  ~Rival() {
    stop_ = true;
    server_.join();
  }
  Rival(const Rival&) = delete;
  Rival& operator=(const Rival&) = delete;
  bool overtook() const { return overtook_; }

 private:
  // With the server held, so that the copy's process cannot go on
  // meanwhile: when its window is dated (its class set) but not yet the
  // owner, takes the clipboard a moment later than that date, which makes
  // the copy's claim the older. Otherwise the copy went first: no overtaking.
  void overtake(xcb_window_t window) {
    xcb_connection_t* c = peer_.c();
    xcb_grab_server(c);
    auto* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, peer_.atom("CLIPBOARD")), nullptr);
    auto* dated = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
    if (owner != nullptr && owner->owner != window && dated != nullptr && dated->value_len > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
      peer_.own();
      overtook_ = true;
    }
    std::free(owner);
    std::free(dated);
    xcb_ungrab_server(c);
    xcb_flush(c);
  }

  void serve() {
    std::size_t sent = 0;  // of an INCR transfer under way
    xcb_selection_request_event_t incr{};
    while (!stop_ && peer_.c() != nullptr) {
      xcb_generic_event_t* event = peer_.next(0, 50);
      if (event == nullptr) {
        continue;
      }
      const auto type = event->response_type & 0x7f;
      if (type == XCB_CREATE_NOTIFY && !std::exchange(cued_, true)) {
        overtake(reinterpret_cast<xcb_create_notify_event_t*>(event)->window);
      } else if (type == XCB_SELECTION_REQUEST && gives_ == Gives::Gone) {
        peer_.leave();  // gone before it answers
      } else if (type == XCB_SELECTION_REQUEST) {
        const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
        const bool utf8 = request.target == utf8_;
        if ((utf8 && gives_ == Gives::SameOnlyAsString) || (!utf8 && request.target != XCB_ATOM_STRING)) {
          peer_.answer(request, 0, 8, 0, nullptr);
        } else if (utf8 && gives_ == Gives::SameByIncr) {
          const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE, size = text_.size();
          xcb_change_window_attributes(peer_.c(), request.requestor, XCB_CW_EVENT_MASK, &events);
          peer_.answer(request, incr_, 32, 1, &size);
          incr = request;
          sent = 0;
        } else {
          peer_.answer(request, request.target, 8, static_cast<uint32_t>(text_.size()), text_.data());
        }
      } else if (const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
                 type == XCB_PROPERTY_NOTIFY && change->state == XCB_PROPERTY_DELETE &&
                 change->window == incr.requestor && change->atom == incr.property && sent <= text_.size()) {
        const std::size_t piece = std::min<std::size_t>(4, text_.size() - sent);  // the last one empty
        xcb_change_property(peer_.c(), XCB_PROP_MODE_REPLACE, incr.requestor, incr.property, utf8_, 8,
                            static_cast<uint32_t>(piece), text_.data() + sent);
        sent += piece == 0 ? 1 : piece;
      }
      std::free(event);
    }
  }

  Gives gives_;
  std::string text_;
  Peer peer_;
  xcb_atom_t utf8_ = 0, incr_ = 0;
  bool cued_ = false;
  std::atomic<bool> stop_ = false, overtook_ = false;
  std::thread server_;
};

// MULTIPLE: each pair answered into its own property, refusals marked None in
// the list (a pair into the list itself, a nested MULTIPLE); a list that is
// no whole pairs, or longer than any reader needs, is refused whole.
TEST(X11Keeper, MultipleRefusesHostileLists) {
  x11::copy(u"kept");
  Peer reader;
  const xcb_atom_t list = reader.atom("KESTROVA_TEST_LIST"), one = reader.atom("KESTROVA_TEST_1"),
                   two = reader.atom("KESTROVA_TEST_2"), utf8 = reader.atom("UTF8_STRING"),
                   multiple = reader.atom("MULTIPLE");
  const struct {
    const char* what;
    std::vector<xcb_atom_t> pairs;
    std::vector<xcb_atom_t> back;  // empty: refused whole, nothing written
  } cases[] = {
      {"pairs",
       {utf8, one, XCB_ATOM_STRING, list, multiple, two},
       {utf8, one, XCB_ATOM_STRING, 0, multiple, 0}},
      {"odd count", {utf8, one, XCB_ATOM_STRING}, {}},
      {"65 pairs", std::vector<xcb_atom_t>(130, utf8), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    xcb_change_property(reader.c(), XCB_PROP_MODE_REPLACE, reader.window(), list, reader.atom("ATOM_PAIR"),
                        32, static_cast<uint32_t>(c.pairs.size()), c.pairs.data());
    EXPECT_EQ(reader.ask(multiple, list),
              std::optional<xcb_atom_t>(c.back.empty() ? xcb_atom_t{XCB_ATOM_NONE} : list));
    const std::string back = reader.take(list);
    if (!c.back.empty()) {
      ASSERT_EQ(back.size(), c.back.size() * 4);
      EXPECT_EQ(std::memcmp(back.data(), c.back.data(), back.size()), 0);
    }
    EXPECT_EQ(reader.take(one), c.back.empty() ? "" : "kept");
    EXPECT_EQ(reader.take(two), "");
  }
  reader.own();
}

// A reader that asks again into the same property halfway through a
// transfer by INCR gets the text from its beginning, no piece of the first.
TEST(X11Keeper, ATransferAskedForAgainStartsAfresh) {
  std::string big(1 << 20, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<char>('a' + (i * 7919 + i / 4096) % 26);
  }
  x11::copy(from_utf8(big));
  Peer reader;
  ASSERT_NE(reader.read(1), "");
  const std::string again = reader.read();
  EXPECT_TRUE(again == big) << again.size() << " bytes";
  reader.own();
}

// Copies in a row, each keeper ending as the next takes over, while a reader
// asks without pause: every read is answered, none left to its timeout.
TEST(X11Keeper, EveryReadIsAnsweredWhileCopiesFollowEachOther) {
  std::atomic<bool> copying = true;
  std::atomic<int> reads = 0, unanswered = 0;
  std::thread reader([&] {
    Peer peer;
    const xcb_atom_t utf8 = peer.atom("UTF8_STRING");
    while (copying) {
      unanswered += peer.ask(utf8, utf8).has_value() ? 0 : 1;
      ++reads;
    }
  });
  for (int i = 0; i < 80; ++i) {
    EXPECT_NO_THROW(x11::copy(u"copy " + from_utf8(std::to_string(i))));
    // The next copy once a read has met this keeper.
    for (const int before = reads; reads == before;) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  copying = false;
  reader.join();
  EXPECT_EQ(unanswered, 0) << "of " << reads << " reads";
  std::printf("%d reads beside 80 copies\n", reads.load());
  Peer().own();
}

// --refill DELAY: a clipboard manager that remembers the last text put on
// the clipboard and, whenever it sees the clipboard empty, puts that text
// back after DELAY ms, owning it with CurrentTime as a toolkit's clipboard
// call from an idle handler does.
int refill(int delay) {
  Peer peer;
  const xcb_atom_t clipboard = peer.atom("CLIPBOARD"), targets = peer.atom("TARGETS"),
                   utf8 = peer.atom("UTF8_STRING"), held = peer.atom("KESTROVA_TEST_HELD");
  std::free(xcb_xfixes_query_version_reply(peer.c(), xcb_xfixes_query_version(peer.c(), 5, 0), nullptr));
  xcb_xfixes_select_selection_input(peer.c(), peer.window(), clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  // XFixes' word that the clipboard was set, emptied, or its owner went.
  const int set = xcb_get_extension_data(peer.c(), &xcb_xfixes_id)->first_event + XCB_XFIXES_SELECTION_NOTIFY;
  std::optional<std::string> last;  // as it was read
  std::printf("ready\n");
  std::fflush(stdout);
  while (xcb_generic_event_t* event = peer.next(0, -1)) {
    const auto type = event->response_type & 0x7f;
    const auto* notify = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
    const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
    if (type == set && notify->owner == XCB_WINDOW_NONE && last) {  // emptied: the last text back
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      xcb_set_selection_owner(peer.c(), peer.window(), clipboard, XCB_CURRENT_TIME);
    } else if (type == set && notify->owner != XCB_WINDOW_NONE && notify->owner != peer.window()) {
      // Another program's new text: read it, to put it back should it go.
      xcb_convert_selection(peer.c(), peer.window(), clipboard, utf8, held, notify->selection_timestamp);
    } else if (xcb_atom_t got = 0; type == XCB_SELECTION_NOTIFY) {
      std::string text = peer.take(held, &got);
      last = got == utf8 ? std::optional(std::move(text)) : last;
    } else if (type == XCB_SELECTION_REQUEST && request->target == targets) {
      const xcb_atom_t offered[] = {targets, utf8};
      peer.answer(*request, XCB_ATOM_ATOM, 32, 2, offered);
    } else if (type == XCB_SELECTION_REQUEST && last) {  // it owns the clipboard only with a text
      peer.answer(*request, utf8, 8, static_cast<uint32_t>(last->size()),
                  request->target == utf8 ? last->data() : nullptr);
    }
    std::free(event);
  }
  return 0;
}

// Another owner takes the clipboard within the copy's round trip. Directly,
// the server refuses our copy as older than that owner's (last, as the
// process keeps that older connection for later copies); handed to a fresh
// process as the window's copies are, the rival overtakes that process's
// claim. Only a newer start's keeper, or an owner that answers with our very
// text as UTF-8 however it sends it, keeps the copy; a paste then gives what
// that owner holds. Any failure but a take-over is followed by the window's
// clear, which must then find nothing of that owner's to wipe.
TEST(X11Keeper, AnOwnerThatReplacesTheCopyAtOnceNeedsEvidence) {
  const std::string ours = "/home/u/ours \xe6\x97\xa5.txt";
  const struct {
    Gives gives;
    const char* text;
    const char* failure;  // nullptr: kept; a paste gives the text, by STRING too, unless it is gone
  } cases[] = {
      {Gives::Marked, "newer", nullptr},          {Gives::Same, ours.c_str(), nullptr},
      {Gives::SameByIncr, ours.c_str(), nullptr}, {Gives::SameOnlyAsString, ours.c_str(), "something else"},
      {Gives::Other, "other", "something else"},  {Gives::Gone, ours.c_str(), "emptied"},
  };
  for (const bool handed : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(static_cast<int>(c.gives)) + (handed ? ", handed over" : ""));
      std::string failure;
      // The rival cannot overtake a process that went on first: another try.
      for (int attempt = 0; failure.empty() && attempt < 20; ++attempt) {
        if (!handed) {
          x11::clear_clipboard();  // the copy's connection, dated before the rival's
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Rival rival(c.gives, c.text, handed);
        std::string outcome = "kept";
        try {
          handed ? copy_in_fresh_process(ClipboardRoute::X11, from_utf8(ours)) : x11::copy(from_utf8(ours));
        } catch (const CopyTakenOver& error) {
          outcome = error.what();
        } catch (const PlatformError& error) {
          ADD_FAILURE() << "not taken over: " << error.what();
          clear_in_fresh_process(ClipboardRoute::X11);  // as the window does after such a failure
        }
        if (!handed || rival.overtook()) {
          failure = outcome;
          EXPECT_EQ(Peer().read(), c.gives == Gives::Gone ? "" : c.text);
        }
      }
      EXPECT_NE(failure.find(c.failure != nullptr ? c.failure : "kept"), std::string::npos)
          << (failure.empty() ? "never overtaken" : failure);
    }
  }
}

}  // namespace
}  // namespace kestrova

int main(int argc, char** argv) {
  if (std::getenv("HANDED_COPY_TEST_STOP") != nullptr && std::getenv("KESTROVA_HANDED_COPY") != nullptr) {
    raise(SIGSTOP);
  }
  if (const std::optional<int> status = kestrova::run_handed_copy(argc)) {
    return *status;
  }
  if (argc == 3 && std::strcmp(argv[1], "--refill") == 0) {
    return kestrova::refill(std::atoi(argv[2]));
  }
  if (argc == 2 && std::strcmp(argv[1], "--halfway") == 0) {
    kestrova::Peer reader;  // kept to the end, so that it stays mid-transfer
    if (reader.read(1).empty()) {
      std::fprintf(stderr, "no text by INCR from the clipboard's owner\n");
      return 1;
    }
    std::printf("halfway\n");
    std::fflush(stdout);
    pause();
  }
  if (std::getenv("DISPLAY") == nullptr) {  // the X11 keeper's cases need a server: xvfb-run
    testing::GTEST_FLAG(filter) = "-X11Keeper.*";
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
