#include "app/linux/wayland_selection.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "app/form.h"
#include "data-control-client-protocol.h"

namespace kestrova::wayland {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Both protocols have the same messages in the same order, so one client
// serves both; only the interfaces differ.
struct Protocol {
  std::string_view manager_name;
  const wl_interface* manager;
  const wl_interface* device;
  const wl_interface* source;
};
const Protocol kExt{"ext_data_control_manager_v1", &ext_data_control_manager_v1_interface,
                    &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface};
const Protocol kWlr{"zwlr_data_control_manager_v1", &zwlr_data_control_manager_v1_interface,
                    &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface};

// Requests, by their place in each interface.
constexpr std::uint32_t kCreateDataSource = 0;  // manager
constexpr std::uint32_t kGetDataDevice = 1;     // manager
constexpr std::uint32_t kSetSelection = 0;      // device
constexpr std::uint32_t kOffer = 0;             // source
constexpr std::uint32_t kReceive = 0;           // offer
constexpr std::uint32_t kDestroy = 1;           // source, offer

// What a reader may ask for: Wayland's names, and X11's, which XWayland
// passes on for X11 programs.
constexpr const char* kMimeTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT",
                                      "STRING"};

// Events, in each interface's order; the listeners' layout is the
// protocol's, and libwayland-client reads their members.
struct DeviceListener {
  // cppcheck-suppress unusedStructMember
  void (*data_offer)(void* data, wl_proxy* device, wl_proxy* offer);
  // cppcheck-suppress unusedStructMember
  void (*selection)(void* data, wl_proxy* device, wl_proxy* offer);
  // cppcheck-suppress unusedStructMember
  void (*finished)(void* data, wl_proxy* device);
  // cppcheck-suppress unusedStructMember
  void (*primary_selection)(void* data, wl_proxy* device, wl_proxy* offer);
};
struct OfferListener {
  // cppcheck-suppress unusedStructMember
  void (*offer)(void* data, wl_proxy* offer, const char* mime_type);
};
struct SourceListener {
  // cppcheck-suppress unusedStructMember
  void (*send)(void* data, wl_proxy* source, const char* mime_type, std::int32_t fd);
  // cppcheck-suppress unusedStructMember
  void (*cancelled)(void* data, wl_proxy* source);
};

void add_listener(wl_proxy* proxy, const void* listener, void* data) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): libwayland's own calling convention
  wl_proxy_add_listener(proxy, reinterpret_cast<void (**)()>(const_cast<void*>(listener)), data);
}

[[noreturn]] void failed(const std::string& why) { throw PlatformError("cannot set the clipboard: " + why); }

// Waits until the compositor has handled everything sent so far. False when
// the connection failed or `deadline` passed first.
bool roundtrip(wl_display* display, Clock::time_point deadline) {
  bool done = false;
  static const wl_callback_listener kDone{[](void* data, wl_callback* /*callback*/, std::uint32_t /*time*/) {
    *static_cast<bool*>(data) = true;
  }};
  wl_callback* callback = wl_display_sync(display);
  if (callback == nullptr) {
    return false;
  }
  wl_callback_add_listener(callback, &kDone, &done);
  bool alive = true;
  while (alive && !done) {
    if (wl_display_dispatch_pending(display) < 0) {
      alive = false;
      continue;
    }
    // The dispatch may have set it, through the callback.
    // cppcheck-suppress knownConditionTrueFalse
    if (done || wl_display_prepare_read(display) != 0) {
      continue;
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display);
      alive = false;
      continue;
    }
    pollfd wait{wl_display_get_fd(display), POLLIN, 0};
    int ready = 0;
    do {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      ready = left > 0 ? poll(&wait, 1, static_cast<int>(left)) : 0;
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
      wl_display_cancel_read(display);
      alive = false;
    } else if (wl_display_read_events(display) < 0) {
      alive = false;
    }
  }
  wl_callback_destroy(callback);
  return alive && done;
}

// A paste under way: the reader's pipe takes the text as fast as it reads.
struct Transfer {
  int fd;
  const std::string* data;
  std::size_t sent;
  Clock::time_point last;
};

class DataControlKeeper final : public SelectionKeeper {
 public:
  DataControlKeeper(std::unique_ptr<Connection> compositor, const Protocol& protocol)
      : protocol_(protocol), connection_(std::move(compositor)) {}
  ~DataControlKeeper() override { let_go(); }
  DataControlKeeper(const DataControlKeeper&) = delete;
  DataControlKeeper& operator=(const DataControlKeeper&) = delete;

  void clear() override {
    // A clear that the behaviour carries out after a copy another program
    // replaced at once is older than that program's text: like an X11 clear
    // dated before a newer owner, it must not take that text away.
    if (std::exchange(replaced_, false)) {
      return;
    }
    connected();
    wl_proxy_marshal_flags(device_, kSetSelection, nullptr, 1, 0, nullptr);
    answered();
  }

  void copy(const Text& text) override {
    replaced_ = false;
    utf8_ = to_utf8(text);
    latin1_ = to_latin1(text);
    Connection& connection = connected();
    wl_proxy* source =
        connection.own(wl_proxy_marshal_flags(manager_, kCreateDataSource, protocol_.source, 1, 0, nullptr));
    if (source == nullptr) {
      failed("cannot create a data source");
    }
    static const SourceListener kSource{
        [](void* data, wl_proxy* /*source*/, const char* mime_type, std::int32_t fd) {
          static_cast<DataControlKeeper*>(data)->send(mime_type, fd);
        },
        [](void* data, wl_proxy* /*source*/) { static_cast<DataControlKeeper*>(data)->cancelled_ = true; }};
    add_listener(source, &kSource, this);
    for (const char* mime_type : kMimeTypes) {
      wl_proxy_marshal_flags(source, kOffer, nullptr, 1, 0, mime_type);
    }
    // Tells another start that this copy is the program's.
    wl_proxy_marshal_flags(source, kOffer, nullptr, 1, 0, kKeeperMimeType);
    cancelled_ = false;
    // The one request that replaces whatever the clipboard held.
    wl_proxy_marshal_flags(device_, kSetSelection, nullptr, 1, 0, source);
    try {
      answered();
    } catch (const PlatformError&) {
      drop_transfers();
      throw;
    }
    if (cancelled_) {
      // Another program took the clipboard at once: nothing of ours to serve.
      drop_transfers();
      connection.forget(source);
      wl_proxy_marshal_flags(source, kDestroy, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
      wl_display_flush(connection.display());
    }
    // The selection that replaced ours says who took it: a newer start of
    // the program marks its copy. Looking again waits for the compositor's
    // word on what came since.
    bool stands = false;
    try {
      bool again = false;
      stands = copy_stands(
          [&] {
            if (std::exchange(again, true)) {
              answered();
            }
            return !cancelled_                   ? Holder::Copy
                   : selection_.offer == nullptr ? Holder::Nobody
                   : selection_.marked           ? Holder::Keeper
                                                 : Holder::Other;
          },
          [&] { return answer(selection_.offer, utf8_); });
    } catch (const PlatformError&) {
      replaced_ = true;
      throw;
    }
    if (!stands) {
      return;
    }
    std::fflush(nullptr);
    const pid_t keeper = fork();
    if (keeper < 0) {
      const int error = errno;
      drop_transfers();
      let_go();  // the source goes with the connection, and our selection with it
      throw PlatformError(std::string("cannot keep the clipboard: ") + std::strerror(error));
    }
    if (keeper == 0) {
      serve();
    }
    // The keeper speaks on the connection now; a later copy opens another.
    drop_transfers();
    let_go();
  }

 private:
  // The connection with its data device; connects anew after a copy handed
  // the last one to its keeper.
  Connection& connected() {
    if (connection_ == nullptr) {
      connection_ = connect_to_compositor();
      device_ = nullptr;
      if (connection_ == nullptr) {
        failed("the Wayland compositor cannot be reached");
      }
    }
    if (device_ == nullptr) {
      const auto& globals = connection_->globals();
      const auto seat = std::find_if(globals.begin(), globals.end(),
                                     [](const Connection::Global& g) { return g.interface == "wl_seat"; });
      const auto manager = std::find_if(globals.begin(), globals.end(), [this](const Connection::Global& g) {
        return g.interface == protocol_.manager_name;
      });
      if (seat == globals.end() || manager == globals.end()) {
        failed("the Wayland compositor no longer offers data control");
      }
      wl_proxy* seat_proxy = connection_->own(static_cast<wl_proxy*>(
          wl_registry_bind(connection_->registry(), seat->name, &wl_seat_interface, 1)));
      manager_ = connection_->own(static_cast<wl_proxy*>(
          wl_registry_bind(connection_->registry(), manager->name, protocol_.manager, 1)));
      device_ = connection_->own(
          wl_proxy_marshal_flags(manager_, kGetDataDevice, protocol_.device, 1, 0, nullptr, seat_proxy));
      if (seat_proxy == nullptr || manager_ == nullptr || device_ == nullptr) {
        failed("cannot reach the Wayland compositor's clipboard");
      }
      // The offers of the clipboard's copies are never read. Each goes once
      // the selection event that names it has come: libwayland-client
      // drops an event's hold on an offer destroyed before that event is
      // dispatched, and the offer would never be freed.
      // Only the clipboard's latest offer is kept, for whether it is a
      // copy of ours, until the next one comes.
      static const OfferListener kOfferEvents{[](void* data, wl_proxy* offer, const char* mime_type) {
        if (std::string_view(mime_type) == kKeeperMimeType) {
          static_cast<DataControlKeeper*>(data)->marked_.push_back(offer);
        }
      }};
      static const DeviceListener kDevice{
          [](void* data, wl_proxy* /*device*/, wl_proxy* offer) {
            static_cast<DataControlKeeper*>(data)->offers_.push_back(offer);
            add_listener(offer, &kOfferEvents, data);
          },
          [](void* data, wl_proxy* /*device*/, wl_proxy* offer) {
            static_cast<DataControlKeeper*>(data)->new_selection(offer);
          },
          [](void* data, wl_proxy* /*device*/) { static_cast<DataControlKeeper*>(data)->finished_ = true; },
          [](void* data, wl_proxy* /*device*/, wl_proxy* /*offer*/) {
            static_cast<DataControlKeeper*>(data)->drop_offers(nullptr);
          }};
      add_listener(device_, &kDevice, this);
      finished_ = false;
    }
    return *connection_;
  }

  // Waits for the compositor to handle what was sent.
  void answered() {
    if (!roundtrip(connection_->display(), Clock::now() + std::chrono::seconds(5))) {
      let_go();
      failed("the Wayland compositor closed the connection or did not answer");
    }
    if (finished_) {
      let_go();
      failed("the Wayland compositor took the clipboard away from this program");
    }
  }

  void send(const char* mime_type, int fd) {
    const std::string_view mime(mime_type);
    const bool known = std::find(std::begin(kMimeTypes), std::end(kMimeTypes), mime) != std::end(kMimeTypes);
    if (!known) {
      close(fd);
      return;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    transfers_.push_back({fd, mime == "STRING" ? &latin1_ : &utf8_, 0, Clock::now()});
  }

  // Destroys every offer announced but `kept`.
  void drop_offers(const wl_proxy* kept) {
    for (wl_proxy* offer : offers_) {
      if (offer != kept) {
        wl_proxy_marshal_flags(offer, kDestroy, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
      }
    }
    offers_.clear();
    marked_.clear();
  }

  void new_selection(wl_proxy* offer) {
    const bool marked = std::find(marked_.begin(), marked_.end(), offer) != marked_.end();
    drop_offers(offer);
    if (selection_.offer != nullptr) {
      wl_proxy_marshal_flags(selection_.offer, kDestroy, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    }
    selection_.offer = offer;
    selection_.marked = offer != nullptr && marked;
  }

  // What `offer` gives as UTF-8 within a second, against `text`: a source
  // that closes the pipe without a byte is gone, not an empty text.
  Answer answer(wl_proxy* offer, const std::string& text) {
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
      return Answer::None;
    }
    wl_proxy_marshal_flags(offer, kReceive, nullptr, 1, 0, kMimeTypes[0], pipe_fds[1]);
    close(pipe_fds[1]);
    wl_display_flush(connection_->display());
    std::string held;
    Answer given = Answer::None;
    const auto deadline = Clock::now() + milliseconds(1000);
    for (;;) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      pollfd wait{pipe_fds[0], POLLIN, 0};
      if (left <= 0 || poll(&wait, 1, static_cast<int>(left)) <= 0) {
        break;
      }
      char piece[4096];
      const ssize_t got = read(pipe_fds[0], piece, sizeof piece);
      if (got == 0) {
        given = held == text ? Answer::Same : held.empty() ? Answer::None : Answer::Different;
        break;
      }
      if (got < 0 && errno != EINTR) {
        break;
      }
      held.append(piece, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
      if (held.size() > text.size()) {
        given = Answer::Different;
        break;
      }
    }
    close(pipe_fds[0]);
    return given;
  }

  // This process lets go of the connection; its offers go with it, here only.
  void let_go() {
    for (wl_proxy* offer : offers_) {
      wl_proxy_destroy(offer);
    }
    if (selection_.offer != nullptr) {
      wl_proxy_destroy(selection_.offer);
    }
    offers_.clear();
    marked_.clear();
    selection_ = {};
    connection_.reset();
  }

  void drop_transfers() {
    for (const Transfer& transfer : transfers_) {
      close(transfer.fd);
    }
    transfers_.clear();
  }

  // Writes what the reader's pipe takes now. True when the transfer is over,
  // all written or the reader gone.
  static bool write_some(Transfer& transfer) {
    const std::size_t left = transfer.data->size() - transfer.sent;
    if (left == 0) {
      return true;
    }
    const ssize_t put =
        write(transfer.fd, transfer.data->data() + transfer.sent, std::min<std::size_t>(left, 65536));
    if (put < 0) {
      return errno != EAGAIN && errno != EINTR;
    }
    transfer.sent += static_cast<std::size_t>(put);
    transfer.last = Clock::now();
    return transfer.sent == transfer.data->size();
  }

  // The keeper: answers pastes until the compositor cancels our source;
  // whatever transfer is still under way then gets a short while to finish.
  [[noreturn]] void serve() {
    wl_display* display = connection_->display();
    detach_from_caller();
    std::vector<int> kept{wl_display_get_fd(display)};
    for (const Transfer& transfer : transfers_) {
      kept.push_back(transfer.fd);
    }
    close_descriptors_except(kept);
    std::signal(SIGPIPE, SIG_IGN);  // a reader that closes early must not end us
    Clock::time_point cancelled_at;
    std::vector<pollfd> waits;
    for (;;) {
      if (wl_display_dispatch_pending(display) < 0) {
        _exit(0);
      }
      const auto now = Clock::now();
      if (cancelled_ && cancelled_at == Clock::time_point()) {
        cancelled_at = now;
      }
      std::erase_if(transfers_, [&](const Transfer& t) {
        const bool stale = now - t.last > std::chrono::seconds(5);
        if (stale) {
          close(t.fd);
        }
        return stale;
      });
      if (cancelled_ && (transfers_.empty() || now - cancelled_at > milliseconds(400))) {
        _exit(0);
      }
      if (wl_display_prepare_read(display) != 0) {
        continue;
      }
      // What the socket did not take now goes once it can: waiting only to
      // read would leave it unsent until the compositor spoke again.
      const bool unsent = wl_display_flush(display) < 0 && errno == EAGAIN;
      waits.assign(
          1, pollfd{wl_display_get_fd(display), static_cast<short>(unsent ? POLLIN | POLLOUT : POLLIN), 0});
      for (const Transfer& transfer : transfers_) {
        waits.push_back({transfer.fd, POLLOUT, 0});
      }
      const int ready = poll(waits.data(), waits.size(), transfers_.empty() && !cancelled_ ? -1 : 100);
      if (ready > 0 && (waits[0].revents & ~POLLOUT) != 0) {
        if (wl_display_read_events(display) < 0) {
          _exit(0);  // the compositor went away, and with it the clipboard
        }
      } else {
        wl_display_cancel_read(display);
      }
      for (std::size_t i = 1; i < waits.size() && ready > 0; ++i) {
        Transfer& transfer = transfers_[i - 1];
        if (waits[i].revents != 0 && write_some(transfer)) {
          close(transfer.fd);
          transfer.fd = -1;
        }
      }
      std::erase_if(transfers_, [](const Transfer& t) { return t.fd < 0; });
    }
  }

  const Protocol& protocol_;
  std::unique_ptr<Connection> connection_;
  wl_proxy* manager_ = nullptr;
  wl_proxy* device_ = nullptr;
  bool cancelled_ = false;
  bool finished_ = false;
  bool replaced_ = false;  // the last copy failed: another program replaced it at once
  std::string utf8_;
  std::string latin1_;
  std::vector<Transfer> transfers_;
  std::vector<wl_proxy*> offers_;  // announced, their selection event not yet come
  std::vector<wl_proxy*> marked_;  // of those, the ones that offer kKeeperMimeType
  struct {
    wl_proxy* offer = nullptr;  // the clipboard's latest, nullptr when empty
    bool marked = false;        // a copy of one of our starts
  } selection_;
};

}  // namespace

Connection::Connection(wl_display* display) : display_(display) {
  static const wl_registry_listener kRegistry{
      [](void* data, wl_registry* /*registry*/, std::uint32_t name, const char* interface,
         std::uint32_t version) {
        static_cast<Connection*>(data)->add_global({name, interface, version});
      },
      [](void* /*data*/, wl_registry* /*registry*/, std::uint32_t /*name*/) {}};
  registry_ = wl_display_get_registry(display_);
  if (registry_ != nullptr) {
    wl_registry_add_listener(registry_, &kRegistry, this);
  }
}

Connection::~Connection() {
  for (wl_proxy* proxy : owned_) {
    wl_proxy_destroy(proxy);
  }
  if (registry_ != nullptr) {
    wl_registry_destroy(registry_);
  }
  wl_display_disconnect(display_);
}

void Connection::add_global(Global global) { globals_.push_back(std::move(global)); }

std::vector<std::string> Connection::offered() const {
  std::vector<std::string> names;
  names.reserve(globals_.size());
  for (const Global& global : globals_) {
    names.push_back(global.interface);
  }
  return names;
}

wl_proxy* Connection::own(wl_proxy* proxy) {
  if (proxy != nullptr) {
    owned_.push_back(proxy);
  }
  return proxy;
}

void Connection::forget(wl_proxy* proxy) { std::erase(owned_, proxy); }

std::unique_ptr<Connection> connect_to_compositor() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    return nullptr;
  }
  auto connection = std::make_unique<Connection>(display);
  if (connection->registry() == nullptr || !roundtrip(display, Clock::now() + std::chrono::seconds(2))) {
    return nullptr;
  }
  return connection;
}

std::unique_ptr<SelectionKeeper> data_control_keeper(std::unique_ptr<Connection> compositor, bool ext) {
  return std::make_unique<DataControlKeeper>(std::move(compositor), ext ? kExt : kWlr);
}

}  // namespace kestrova::wayland
