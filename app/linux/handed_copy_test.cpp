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

// A copy that fails in the started process fails in the window with that
// process's own words, and the process is gone, not left a zombie. (The
// routes' own failures, taken-over copies and copies that hold come back
// from real keepers in wayland_selection_test and x11_selection_test.)
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
