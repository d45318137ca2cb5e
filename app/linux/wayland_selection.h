// The clipboard on a Wayland compositor through data control, the protocol
// that lets a program without a window set the clipboard: the copy of every
// start on a compositor that offers it (KWin, sway and most wlroots
// compositors). As on X11, the text is kept by a small process of its own,
// forked once the compositor has the selection, which answers pastes until
// the compositor cancels it (another program copied) or goes away.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/linux/selection.h"

struct wl_display;
struct wl_proxy;
struct wl_registry;

namespace kestrova::wayland {

// A connection to a compositor and the interfaces it offers.
class Connection {
 public:
  struct Global {
    std::uint32_t name;
    std::string interface;
    std::uint32_t version;
  };

  explicit Connection(wl_display* display);
  // Frees this process's side only, without a word to the compositor: a
  // keeper forked from this process may go on speaking on the connection.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  wl_display* display() const { return display_; }
  wl_registry* registry() const { return registry_; }
  // The interfaces' names.
  std::vector<std::string> offered() const;
  const std::vector<Global>& globals() const { return globals_; }
  void add_global(Global global);

  // `proxy` is freed with the connection, unless forgotten first.
  wl_proxy* own(wl_proxy* proxy);
  void forget(wl_proxy* proxy);

 private:
  wl_display* display_;
  wl_registry* registry_ = nullptr;
  std::vector<Global> globals_;
  std::vector<wl_proxy*> owned_;
};

// Connects to the compositor that WAYLAND_DISPLAY names and learns what it
// offers. nullptr when none is there or none answers within two seconds, so
// that a stale name or a hung compositor never holds a start up.
std::unique_ptr<Connection> connect_to_compositor();

// The keeper over `compositor` (already connected; later copies connect
// anew), through ext_data_control_manager_v1 when `ext`, else through
// zwlr_data_control_manager_v1.
std::unique_ptr<SelectionKeeper> data_control_keeper(std::unique_ptr<Connection> compositor, bool ext);

}  // namespace kestrova::wayland
