#include "app/win32/network_drives.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrova::win32 {
namespace {

// Wine has no network drive to offer, so the drive list is given here; the
// real WNetGetConnectionW is asked only about the local drives it has.
TEST(NetworkDrives, DrivesWithARemotePathAreNetworkDrives) {
  // C: is local, X: a share, Y: a connection without a path.
  const auto connections = [](const Text& drive) {
    return drive == u"C:" ? std::nullopt : std::optional<Text>(drive == u"X:" ? u"\\\\srv\\share" : u"");
  };
  EXPECT_EQ(network_drives((1u << 2) | (1u << 23) | (1u << 24), connections),
            (std::vector<NetworkMount>{{u"X:", u"\\\\srv\\share"}}));

  // The system's own answer: a remembered connection of a letter with no
  // device (a mapped drive not connected now) is a network drive.
  const wchar_t* const kRemembered = L"Network\\Q";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRemembered, L"RemotePath", REG_SZ, L"\\\\srv\\away",
                            sizeof L"\\\\srv\\away"),
            ERROR_SUCCESS);
  const std::vector<NetworkMount> system = NetworkDrives().network_mounts();
  RegDeleteTreeW(HKEY_CURRENT_USER, kRemembered);
  ASSERT_TRUE((GetLogicalDrives() & (1u << (u'Q' - u'A'))) == 0) << "Q: is a drive here";
  EXPECT_NE(std::find(system.begin(), system.end(), NetworkMount{u"Q:", u"\\\\srv\\away"}), system.end());
}

// What Windows says of one drive, and the path it stands for.
TEST(NetworkDrives, DisconnectedMappedDrivesKeepTheirPath) {
  const std::optional<Text> remembered = u"\\\\srv\\remembered";
  const struct {
    const char* what;
    bool present;
    DWORD result;
    Text remote;
    std::optional<Text> remembered;
    std::optional<Text> path;
  } cases[] = {
      {"connected", true, NO_ERROR, u"\\\\srv\\share", remembered, u"\\\\srv\\share"},
      {"disconnected, named", true, ERROR_CONNECTION_UNAVAIL, u"\\\\srv\\share", remembered,
       u"\\\\srv\\share"},
      {"disconnected, unnamed", true, ERROR_CONNECTION_UNAVAIL, u"", remembered, remembered},
      {"remembered, no device", false, ERROR_NOT_CONNECTED, u"", remembered, remembered},
      {"local", true, ERROR_NOT_CONNECTED, u"", std::nullopt, std::nullopt},
      {"local, a stale memory", true, ERROR_NOT_CONNECTED, u"", remembered, std::nullopt},
      {"disconnected, nothing known", true, ERROR_CONNECTION_UNAVAIL, u"", u"", std::nullopt},
  };
  for (const auto& drive : cases) {
    EXPECT_EQ(connection_path(drive.present, drive.result, drive.remote, drive.remembered), drive.path)
        << drive.what;
  }
}

}  // namespace
}  // namespace kestrova::win32
