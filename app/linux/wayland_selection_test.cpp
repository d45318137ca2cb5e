#include "app/linux/wayland_selection.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/form.h"

namespace kestrova {
namespace {

// A compositor of a few lines on a socket of its own: it offers a seat and
// wlr data control, answers the first round trip (the start asking what it
// offers), and then does what the case says with the next one.
class FakeCompositor {
 public:
  enum class Then { Close, Error, Silence };

  FakeCompositor(Then then, bool answers_at_all) {
    char folder[] = "/tmp/kestrova-wayland-XXXXXX";
    folder_ = mkdtemp(folder);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", "wayland-fake", 1);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder_ + "/wayland-fake";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0) {
      ADD_FAILURE() << "cannot listen on " << path << ": " << std::strerror(errno);
    }
    server_ = std::thread([this, then, answers_at_all] { serve(then, answers_at_all); });
  }

  ~FakeCompositor() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    server_.join();
    unlink((folder_ + "/wayland-fake").c_str());
    unlink((folder_ + "/wayland-fake.lock").c_str());
    rmdir(folder_.c_str());
  }
  FakeCompositor(const FakeCompositor&) = delete;
  FakeCompositor& operator=(const FakeCompositor&) = delete;

 private:
  // One event: object, opcode, then the arguments as 32-bit words.
  static void put(std::vector<std::uint32_t>& out, std::uint32_t object, std::uint16_t opcode,
                  const std::vector<std::uint32_t>& arguments) {
    out.push_back(object);
    out.push_back(static_cast<std::uint32_t>((8 + 4 * arguments.size()) << 16) | opcode);
    out.insert(out.end(), arguments.begin(), arguments.end());
  }
  static std::vector<std::uint32_t> string(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    std::vector<std::uint32_t> words(1 + (size + 3) / 4, 0);
    words[0] = static_cast<std::uint32_t>(size);
    std::memcpy(&words[1], text, size);
    return words;
  }
  static std::vector<std::uint32_t> global(std::uint32_t name, const char* interface) {
    std::vector<std::uint32_t> arguments{name};
    const auto text = string(interface);
    arguments.insert(arguments.end(), text.begin(), text.end());
    arguments.push_back(1);  // version
    return arguments;
  }
  static bool wait_for_request(int client) {
    pollfd wait{client, POLLIN, 0};
    char buffer[4096];
    return poll(&wait, 1, 5000) > 0 && read(client, buffer, sizeof buffer) > 0;
  }

  void serve(Then then, bool answers_at_all) const {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) {
      return;
    }
    // get_registry made object 2, and sync the callback 3.
    if (wait_for_request(client) && answers_at_all) {
      std::vector<std::uint32_t> events;
      put(events, 2, 0, global(1, "wl_seat"));
      put(events, 2, 0, global(2, "zwlr_data_control_manager_v1"));
      put(events, 3, 0, {1});  // done
      put(events, 1, 1, {3});  // delete_id
      (void)!write(client, events.data(), events.size() * 4);
      if (wait_for_request(client)) {
        if (then == Then::Error) {
          std::vector<std::uint32_t> error;
          auto message = string("no clipboard for you");
          std::vector<std::uint32_t> arguments{1, 0};
          arguments.insert(arguments.end(), message.begin(), message.end());
          put(error, 1, 0, arguments);
          (void)!write(client, error.data(), error.size() * 4);
        }
        if (then == Then::Silence) {
          wait_for_request(client);
        }
      }
    } else if (!answers_at_all) {
      wait_for_request(client);  // until the start gives up and hangs up
    }
    close(client);
  }

  std::string folder_;
  int listener_ = -1;
  std::thread server_;
};

// A compositor that closes the connection or reports an error when the
// clipboard is set: the copy is a failure, never done. One that offers data
// control but never answers: the start does not wait on it past its bound.
TEST(DataControl, ACompositorThatFailsTheCopyIsAFailure) {
  for (const auto then : {FakeCompositor::Then::Close, FakeCompositor::Then::Error}) {
    FakeCompositor compositor(then, true);
    auto connection = wayland::connect_to_compositor();
    ASSERT_NE(connection, nullptr);
    auto keeper = wayland::data_control_keeper(std::move(connection), false);
    EXPECT_THROW(keeper->copy(u"a"), PlatformError) << static_cast<int>(then);
  }
}

TEST(DataControl, ACompositorThatNeverAnswersIsNone) {
  FakeCompositor compositor(FakeCompositor::Then::Silence, false);
  EXPECT_EQ(wayland::connect_to_compositor(), nullptr);
}

}  // namespace
}  // namespace kestrova
