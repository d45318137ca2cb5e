// Where a copy goes, the data-control keeper against a compositor of the
// test's own, and the window's copies handed to a fresh start, with this
// program standing in for the started one (its main answers as the
// program's does). The copies on a real compositor: wayland_test; on a real
// X server: x11_selection_test.
#include "app/linux/selection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
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
// from real keepers below and in x11_selection_test.)
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

  void select(wl_client* client, wl_resource* device, wl_resource* source) {
    device_ = device;
    if (then_ == Then::Close) {
      shutdown(wl_client_get_fd(client), SHUT_RDWR);
    } else if (then_ == Then::Error) {
      wl_resource_post_error(device, 0, "no clipboard for you");
    } else {
      zwlr_data_control_source_v1_send_cancelled(source);
      wl_resource* offer = nullptr;
      if (replacement_.text != nullptr) {
        offer = made(client, &zwlr_data_control_offer_v1_interface, 0, &kOffer, this);
        zwlr_data_control_device_v1_send_data_offer(device, offer);
        zwlr_data_control_offer_v1_send_offer(offer, replacement_.type);
        if (replacement_.marked) {
          zwlr_data_control_offer_v1_send_offer(offer, "application/x-kestrova-copy");
        }
      }
      zwlr_data_control_device_v1_send_selection(device, offer);
    }
  }

  void answer(std::string_view type, int fd) const {
    const std::string_view text = replacement_.text != nullptr ? replacement_.text : "";
    if (replacement_.answers == Replacement::Gone) {
      // Its source went: the clipboard is empty.
      zwlr_data_control_device_v1_send_selection(device_, nullptr);
    } else if (type == replacement_.type) {
      const std::size_t step = replacement_.answers == Replacement::InPieces ? 2 : text.size();
      for (std::size_t at = 0; at < text.size(); at += step) {
        (void)!write(fd, text.data() + at, std::min(step, text.size() - at));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    close(fd);
  }

  // The requests' handlers (the structs share their names with the interfaces).
  using SourceRequests = struct zwlr_data_control_source_v1_interface;
  using OfferRequests = struct zwlr_data_control_offer_v1_interface;
  using DeviceRequests = struct zwlr_data_control_device_v1_interface;
  using ManagerRequests = struct zwlr_data_control_manager_v1_interface;
  static constexpr SourceRequests kSource{
      [](wl_client* /*client*/, wl_resource* /*source*/, const char* /*type*/) {}, destroy};
  static constexpr OfferRequests kOffer{[](wl_client* /*client*/, wl_resource* offer, const char* type,
                                           std::int32_t fd) { of(offer).answer(type, fd); },
                                        destroy};
  static constexpr DeviceRequests kDevice{
      [](wl_client* client, wl_resource* device, wl_resource* source) {
        of(device).select(client, device, source);
      },
      destroy, [](wl_client* /*client*/, wl_resource* /*device*/, wl_resource* /*source*/) {}};
  static constexpr ManagerRequests kManager{
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

}  // namespace
}  // namespace kestrova

int main(int argc, char** argv) {
  if (std::getenv("HANDED_COPY_TEST_STOP") != nullptr && std::getenv("KESTROVA_HANDED_COPY") != nullptr) {
    raise(SIGSTOP);
  }
  if (const std::optional<int> status = kestrova::run_handed_copy(argc)) {
    return *status;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
