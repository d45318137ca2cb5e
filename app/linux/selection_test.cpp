#include "app/linux/selection.h"

#include <gtest/gtest.h>

#include <optional>

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

}  // namespace
}  // namespace kestrova
