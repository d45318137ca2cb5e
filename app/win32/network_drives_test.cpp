#include "app/win32/network_drives.h"

#include <gtest/gtest.h>

#include "clip/clip.h"
#include "tests/fixed_sources.h"

namespace kestrova::win32 {
namespace {

// Wine has no network drive to offer, so the drive list is given here; the
// real WNetGetConnectionW is asked only about the local drives it has.
TEST(NetworkDrives, ConnectedDrivesMapThroughTheSystemRow) {
  const auto connections = [](const Text& drive) -> std::optional<Text> {
    if (drive == u"X:") {
      return u"\\\\srv\\share";
    }
    return drive == u"Y:" ? std::optional<Text>(u"") : std::nullopt;
  };
  const kestrova::testing::FixedNetworkMounts mounts(network_drives((1u << 2) | (1u << 23) | (1u << 24), connections));
  ASSERT_EQ(mounts.mounts, (std::vector<NetworkMount>{{u"X:", u"\\\\srv\\share"}}));
  const DriveTable table = kestrova::testing::table_of({{u"*", u"*"}});
  EXPECT_EQ(DRIVE_CHG_edit(table, u"x:\\docs\\a.txt", &mounts, PathFlavour::kWindows), u"\\\\srv\\share\\docs\\a.txt");
  EXPECT_EQ(DRIVE_CHG_edit(table, u"C:\\a.txt", &mounts, PathFlavour::kWindows), u"C:\\a.txt");

  // The system's own answer: whatever drives this machine has, none of the
  // local ones is taken for a network drive.
  for (const NetworkMount& drive : NetworkDrives().network_mounts()) {
    EXPECT_TRUE(drive.remote.starts_with(u"\\\\")) << to_utf8(drive.local);
  }
}

}  // namespace
}  // namespace kestrova::win32
