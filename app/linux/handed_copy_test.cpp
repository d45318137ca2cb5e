// The hand-over between the window and a fresh start, with this test
// program standing in for the started one (its main answers as the
// program's does). The copies themselves, on a real compositor: wayland_test.
#include "app/linux/handed_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

#include "app/form.h"

namespace kestrova {
namespace {

std::string failure_of(ClipboardRoute route, const Text& text,
                       std::chrono::milliseconds bound = kHandedCopyBound) {
  try {
    copy_in_fresh_process(route, text, bound);
  } catch (const PlatformError& error) {
    return error.what();
  }
  return "no failure";
}

bool nothing_to_reap() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

// A copy that fails in the started process fails in the window with that
// process's own words, and the process is gone, not left a zombie.
TEST(HandedCopy, BringsTheStartedProcessesFailureBack) {
  const Text big(300000, u'\xd800');  // more than a socket holds at once, lone surrogates too
  ASSERT_EQ(setenv("WAYLAND_DISPLAY", "/nonexistent/kestrova-test-compositor", 1), 0);
  unsetenv("DISPLAY");
  const struct {
    ClipboardRoute route;
    const char* message;
  } cases[] = {
      {ClipboardRoute::Qt, "cannot set the clipboard: no clipboard of this program's own on this desktop"},
      {ClipboardRoute::WlrDataControl, "cannot set the clipboard: the Wayland compositor cannot be reached"},
      {ClipboardRoute::X11, "cannot set the clipboard: cannot open the X display"},
      // Refused before the text came: the window hears of it by the socket's end.
      // A route no start sends, so that the started one refuses it.
      // NOLINTNEXTLINE(clang-analyzer-optin.core.EnumCastOutOfRange)
      {static_cast<ClipboardRoute>(9),
       "cannot set the clipboard: the process that was to keep it ended without an answer"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failure_of(c.route, big), c.message);
    EXPECT_TRUE(nothing_to_reap());
  }
  // One that stops (a keeper stuck on a stalled compositor) is ended at the
  // bound: the window never freezes with it.
  setenv("HANDED_COPY_TEST_STOP", "1", 1);
  EXPECT_EQ(
      failure_of(ClipboardRoute::X11, big, std::chrono::milliseconds(300)),
      "cannot set the clipboard: the process that was to keep it did not answer within 300 ms and was ended");
  unsetenv("HANDED_COPY_TEST_STOP");
  EXPECT_TRUE(nothing_to_reap());
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
      {"", 1}, {std::to_string(file), 1}, {std::to_string(pair[1]), 2}, {std::to_string(pair[1]) + "x", 1}};
  for (const auto& c : ordinary) {
    if (!c.marker.empty()) {
      setenv("KESTROVA_HANDED_COPY", c.marker.c_str(), 1);
    }
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
