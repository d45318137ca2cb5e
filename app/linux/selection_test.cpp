// Where a copy goes, the data-control keeper against a compositor of the
// test's own, and the window's copies handed to a fresh start, with this
// program standing in for the started one (its main answers as the
// program's does). The copies on a real compositor: wayland_test; on a real
// X server: x11_selection_test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/form.h"
#include "app/linux/handed_copy.h"
#include "app/linux/selection.h"
#include "app/linux/wayland_selection.h"

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

// A compositor of a few lines on a socket of its own: it offers a seat and
// wlr data control in its answer to the first round trip (the start asking
// what it offers), and then does what the case says with the next one.
class FakeCompositor {
 public:
  enum class Then { Close, Error, Silence, Replace };

  explicit FakeCompositor(Then then, const Replacement& replacement = {}) : replacement_(replacement) {
    char folder[] = "/tmp/kestrova-wayland-XXXXXX";
    folder_ = mkdtemp(folder);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", "wayland-fake", 1);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    const std::string path = folder_ + "/wayland-fake";
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0) {
      ADD_FAILURE() << "cannot listen on " << path << ": " << std::strerror(errno);
    }
    server_ = std::thread([this, then] { serve(then); });
  }

  ~FakeCompositor() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    server_.join();
    unlink((folder_ + "/wayland-fake").c_str());
    rmdir(folder_.c_str());
  }
  FakeCompositor(const FakeCompositor&) = delete;
  FakeCompositor& operator=(const FakeCompositor&) = delete;

 private:
  // One event: object, opcode, then the arguments' 32-bit words.
  static void put(std::vector<std::uint32_t>& out, std::uint32_t object, std::uint16_t opcode,
                  std::initializer_list<std::vector<std::uint32_t>> arguments = {}) {
    out.push_back(object);
    out.push_back(opcode);
    const std::size_t header = out.size() - 1;
    for (const auto& argument : arguments) {
      out.insert(out.end(), argument.begin(), argument.end());
    }
    out[header] |= static_cast<std::uint32_t>(4 * (out.size() - header + 1)) << 16;
  }
  static std::vector<std::uint32_t> string(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    std::vector<std::uint32_t> words(1 + (size + 3) / 4, 0);
    words[0] = static_cast<std::uint32_t>(size);
    std::memcpy(&words[1], text, size);
    return words;
  }
  // Receives what the start sent, its words after those of before and the
  // descriptors it passed; false once it hung up or sent nothing for 5 s.
  static bool receive(int client, std::vector<std::uint32_t>& requests, std::vector<int>& fds) {
    char data[4096];
    iovec piece{data, sizeof data};
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    pollfd wait{client, POLLIN, 0};
    const ssize_t got = poll(&wait, 1, 5000) > 0 ? recvmsg(client, &message, 0) : -1;
    for (const cmsghdr* passed = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr; passed != nullptr;
         passed = CMSG_NXTHDR(&message, const_cast<cmsghdr*>(passed))) {
      const auto* first = reinterpret_cast<const int*>(CMSG_DATA(passed));
      fds.insert(fds.end(), first, first + (passed->cmsg_len - CMSG_LEN(0)) / sizeof(int));
    }
    requests.insert(requests.end(), reinterpret_cast<std::uint32_t*>(data),
                    reinterpret_cast<std::uint32_t*>(data) + std::max<ssize_t>(got, 0) / 4);
    return got > 0;
  }

  static constexpr std::uint32_t kOffer = 0xff000000;  // the first id a server makes

  // Answers the start's round trips until it hangs up: the first with a seat
  // and wlr data control, the copy's (its set_selection is the last 12-byte
  // request of opcode 0 before it) as the case says. For a replacement, its
  // source is cancelled and the new selection announced in that answer, and
  // pastes (each receive: its type, then the pipe among the message's
  // descriptors) are answered as the case says.
  void serve(Then then) const {
    const int client = accept(listener_, nullptr, nullptr);
    std::vector<std::uint32_t> requests;
    std::vector<int> fds;
    std::uint32_t registry = 0, device = 0, source = 0;
    int syncs = 0;
    for (std::size_t at = 0; client >= 0 && receive(client, requests, fds);) {
      std::vector<std::uint32_t> events;
      for (; at + 2 <= requests.size() && at + (requests[at + 1] >> 18) <= requests.size();
           at += requests[at + 1] >> 18) {
        const std::uint32_t object = requests[at], size = requests[at + 1] >> 16,
                            opcode = requests[at + 1] & 0xffff;
        if (object == 1 && opcode == 1) {
          registry = requests[at + 2];
        } else if (object == 1 && opcode == 0 && then != Then::Silence) {
          if (++syncs == 1) {
            put(events, registry, 0, {{1}, string("wl_seat"), {1}});
            put(events, registry, 0, {{2}, string("zwlr_data_control_manager_v1"), {1}});
          } else if (syncs == 2 && then == Then::Close) {
            shutdown(client, SHUT_RDWR);
            continue;
          } else if (syncs == 2 && then == Then::Error) {
            put(events, 1, 0, {{1, 0}, string("no clipboard for you")});  // in place of the answer
            continue;
          } else if (syncs == 2) {
            put(events, source, 1);  // cancelled
            if (replacement_.text != nullptr) {
              put(events, device, 0, {{kOffer}});  // data_offer
              put(events, kOffer, 0, {string(replacement_.type)});
              if (replacement_.marked) {
                put(events, kOffer, 0, {string("application/x-kestrova-copy")});
              }
            }
            put(events, device, 1, {{replacement_.text != nullptr ? kOffer : 0}});  // selection
          }
          put(events, requests[at + 2], 0, {{1}});  // done
          put(events, 1, 1, {{requests[at + 2]}});  // delete_id
        } else if (syncs == 1 && size == 12 && opcode == 0) {
          device = object;
          source = requests[at + 2];
        } else if (object == kOffer && opcode == 0 && !fds.empty()) {
          answer(reinterpret_cast<const char*>(&requests[at + 3]), fds.front(), device, events);
          fds.erase(fds.begin());
        }
      }
      if (!events.empty()) {
        (void)!send(client, events.data(), events.size() * 4, MSG_NOSIGNAL);
      }
    }
    EXPECT_TRUE(then != Then::Replace || syncs >= 2) << "the copy never asked for its round trip";
    for (const int fd : fds) {
      close(fd);
    }
    close(client);
  }

  void answer(std::string_view type, int fd, std::uint32_t device, std::vector<std::uint32_t>& events) const {
    const std::string_view text = replacement_.text != nullptr ? replacement_.text : "";
    if (replacement_.answers == Replacement::Gone) {
      put(events, device, 1, {{0}});  // its source went: the clipboard is empty
    } else if (type == replacement_.type) {
      const std::size_t step = replacement_.answers == Replacement::InPieces ? 2 : text.size();
      for (std::size_t at = 0; at < text.size(); at += step) {
        (void)!write(fd, text.data() + at, std::min(step, text.size() - at));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    close(fd);
  }

  Replacement replacement_;
  std::string folder_;
  int listener_ = -1;
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
