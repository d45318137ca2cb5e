#include "clip/network.h"

#include <gtest/gtest.h>

#include "clip/clip.h"
#include "clip/network_test_samples.h"

namespace kestrova {
namespace {

using Mounts = std::vector<NetworkMount>;

DriveTable table_of(std::initializer_list<std::pair<Text, Text>> rows) {
  DriveTable table;
  for (const auto& [letter, path] : rows) {
    EXPECT_TRUE(table.add_row(letter, path));
  }
  return table;
}

// Counts how often the system is asked.
struct CountingMounts final : NetworkMounts {
  Mounts mounts;
  mutable int asked = 0;
  explicit CountingMounts(Mounts list) : mounts(std::move(list)) {}
  Mounts network_mounts() const override {
    ++asked;
    return mounts;
  }
};

const Mounts kDesktop = parse_mountinfo(samples::kDesktopMountinfo, u"/run/user/1000");

TEST(ParseMountinfo, DesktopExcerpt) {
  const Mounts want = {
      {u"/run/user/1000/gvfs", u"", MountKind::kGvfs},
      {u"/mnt/nas", u"\\\\nas\\docs"},
      {u"/mnt/nfs", u"\\\\srv\\export"},
      {u"/mnt/Team Share", u"\\\\nas\\Team Share"},
      {u"/mnt/nfs/scratch", u"", MountKind::kLocal},
      {u"/mnt/nfs/projects", u"\\\\srv2\\vol\\projects"},
      {u"/srv/reports", u"\\\\nas\\docs\\docs\\2024"},  // a bind mount of a folder in the share
  };
  EXPECT_EQ(kDesktop, want);
  // GVFS only at the caller's runtime folder.
  EXPECT_EQ(parse_mountinfo(samples::kDesktopMountinfo, u"/run/user/1000/").front().kind, MountKind::kGvfs);
  EXPECT_EQ(parse_mountinfo(samples::kDesktopMountinfo, u"").front().local, u"/mnt/nas");
  EXPECT_EQ(parse_mountinfo(samples::kDesktopMountinfo, u"/run/user/1001").front().local, u"/mnt/nas");
}

TEST(ParseMountinfo, SourcesEscapesAndBadLines) {
  const auto line = [](const std::string& point, const std::string& type, const std::string& source) {
    return "40 22 0:50 / " + point + " rw shared:1 master:2 - " + type + " " + source + " rw\n";
  };
  const std::tuple<std::string, Mounts> cases[] = {
      {line("/mnt/a", "cifs", "//nas/share/sub/"), {{u"/mnt/a", u"\\\\nas\\share\\sub"}}},
      {line("/mnt/a", "smb3", "\\\\nas\\share"), {{u"/mnt/a", u"\\\\nas\\share"}}},
      {line("/mnt/a", "nfs", "[fe80::1]:/export"), {{u"/mnt/a", u"\\\\[fe80::1]\\export"}}},
      {line("/mnt/a", "nfs4", "srv:/"), {{u"/mnt/a", u"\\\\srv"}}},
      {line("/mnt/a", "cifs", "//nas"), {{u"/mnt/a", u"", MountKind::kLocal}}},  // no share: maps nothing
      {line("/mnt/a", "nfs", "srv"), {{u"/mnt/a", u"", MountKind::kLocal}}},
      {line("/mnt/a", "nfs", "a/b:/x"), {{u"/mnt/a", u"", MountKind::kLocal}}},
      {line("/mnt/a\\040b\\011c\\134d\\012e", "cifs", "//s/x\\040y"),
       {{u"/mnt/a b\tc\\d\ne", u"\\\\s\\x y"}}},
      {line("/mnt/\\9x\\04", "cifs", "//s/x"), {{u"/mnt/\\9x\\04", u"\\\\s\\x"}}},  // not escapes
      {line("/mnt/日本", "cifs", "//s/共有"), {{u"/mnt/日本", u"\\\\s\\共有"}}},
      {line("/mnt/a", "ext4", "/dev/sdb1"), {}},
      {line("relative", "cifs", "//s/x"), {}},
      {"garbage\n\n1 2 3 / /mnt/a rw - cifs\n40 22 0:50 / /mnt/a rw cifs //s/x rw", {}},
      {line("/", "nfs", "s:/root") + line("/tmp", "tmpfs", "tmpfs"),
       {{u"/", u"\\\\s\\root"}, {u"/tmp", u"", MountKind::kLocal}}},
      // Only a mount after a network mount hides it: autofs comes first.
      {line("/mnt/a", "autofs", "systemd-1") + line("/mnt/a", "cifs", "//s/x") +
           line("/mnt/ab", "tmpfs", "t"),
       {{u"/mnt/a", u"\\\\s\\x"}}},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_EQ(parse_mountinfo(text, u""), want) << text;
  }
}

TEST(SystemMountEdit, Posix) {
  const Text gvfs = u"/run/user/1000/gvfs/";
  const std::pair<Text, Text> cases[] = {
      {u"/mnt/nas/docs/a.txt", u"\\\\nas\\docs\\docs\\a.txt"},
      {u"/mnt/nas", u"\\\\nas\\docs"},
      {u"/mnt/nas/", u"\\\\nas\\docs"},
      {u"/mnt/nasty/a", u""},
      {u"/mnt/nfs/x/y", u"\\\\srv\\export\\x\\y"},
      {u"/mnt/nfs/projects/p/q", u"\\\\srv2\\vol\\projects\\p\\q"},  // the longest mount point wins
      {u"/mnt/nfs/scratch/t", u""},                                  // a tmpfs inside the export
      {u"/mnt/Team Share/b c.txt", u"\\\\nas\\Team Share\\b c.txt"},
      {u"/srv/reports/q1.pdf", u"\\\\nas\\docs\\docs\\2024\\q1.pdf"},
      {gvfs + u"smb-share:server=fs1,share=pub,user=bob/d/e.txt", u"\\\\fs1\\pub\\d\\e.txt"},
      {gvfs + u"smb-share:domain=W,server=fs1,share=my%20docs", u"\\\\fs1\\my docs"},
      {gvfs + u"smb-share:server=fs1/f", u""},  // no share
      {gvfs + u"sftp:host=h/f", u""},
      {gvfs, u""},
      {u"/home/u/remote/f", u""},  // sshfs
      {u"/etc/hosts", u""},
      {u"mnt/nas/a", u""},
      {u"X:\\a", u""},
  };
  for (const auto& [path, want] : cases) {
    EXPECT_EQ(system_mount_edit(kDesktop, path, PathFlavour::kPosix).value_or(u""), want) << to_utf8(path);
  }
  // Windows entries mean nothing to POSIX paths, and the later of two mounts
  // on the same point is the one seen.
  const Mounts stacked = {{u"X:", u"\\\\x"}, {u"/m/", u"\\\\old\\"}, {u"/m", u"\\\\new\\"}};
  EXPECT_EQ(system_mount_edit(stacked, u"/m/a", PathFlavour::kPosix), u"\\\\new\\a");
}

TEST(SystemMountEdit, Windows) {
  const Mounts mounts = {{u"X:", u"\\\\srv\\share"}, {u"Y:\\", u"\\\\y\\"}, {u"/mnt/nas", u"\\\\nas\\docs"}};
  const std::pair<Text, Text> cases[] = {
      {u"X:\\dir\\f", u"\\\\srv\\share\\dir\\f"},
      {u"x:\\dir\\f", u"\\\\srv\\share\\dir\\f"},  // drive letters have no case
      {u"X:/dir/f", u"\\\\srv\\share\\dir\\f"},
      {u"X:", u"\\\\srv\\share"},
      {u"X:\\", u"\\\\srv\\share"},
      {u"Y:\\a", u"\\\\y\\a"},
      {u"C:\\a", u""},
      {u"X:dir", u""},  // relative to the drive's current folder: not a full path
      {u"XY:\\a", u""},
      {u"\\\\srv\\share\\dir", u""},  // already mapped
      {u"/mnt/nas/a", u""},
  };
  for (const auto& [path, want] : cases) {
    EXPECT_EQ(system_mount_edit(mounts, path, PathFlavour::kWindows).value_or(u""), want) << to_utf8(path);
  }
}

TEST(MountRowEdit, BoundariesAndSeparators) {
  const std::tuple<Text, Text, Text, Text> cases[] = {
      // mount point, network path, path, result ("" for no match)
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/mnt/nas/docs/a.txt", u"\\\\nas\\share\\docs\\a.txt"},
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/mnt/nas", u"\\\\nas\\share\\"},  // the mount point alone
      {u"/mnt/nas", u"\\\\nas\\share", u"/mnt/nas/", u"\\\\nas\\share"},
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/mnt/nasty/a", u""},
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/MNT/nas/a", u""},
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/mnt", u""},
      {u"/mnt/nas/", u"\\\\nas\\share", u"/mnt/nas/docs/a.txt", u"\\\\nas\\share\\docs\\a.txt"},
      {u"/mnt/nas//", u"\\\\nas\\share\\\\", u"/mnt/nas//a", u"\\\\nas\\share\\a"},
      {u"/mnt/web", u"smb://nas/share/", u"/mnt/web/docs/a.txt", u"smb://nas/share/docs/a.txt"},
      {u"/mnt/web", u"smb://nas/share", u"/mnt/web/a\\b", u"smb://nas/share/a\\b"},
      {u"/", u"\\\\root", u"/etc/x", u"\\\\root\\etc\\x"},
      {u"/", u"\\\\root", u"etc/x", u""},
  };
  for (const auto& [point, network, path, want] : cases) {
    EXPECT_EQ(mount_row_edit(point, network, path, PathFlavour::kPosix).value_or(u""), want) << to_utf8(path);
  }
  EXPECT_EQ(mount_row_edit(u"/mnt/nas", u"\\\\nas\\", u"/mnt/nas/a", PathFlavour::kWindows), std::nullopt);
}

TEST(DriveChgEdit, RowKindsInTableOrder) {
  const DriveTable table = table_of({{u"/mnt/nas/docs", u"\\\\docs\\"},
                                     {u"/mnt/nas", u"\\\\nas\\share\\"},
                                     {u"X", u"\\\\x\\"},
                                     {u"*", u"*"},
                                     {u"/mnt", u"\\\\late\\"}});
  const FixedNetworkMounts system({{u"/mnt/nfs", u"\\\\srv\\export"}, {u"X:", u"\\\\win\\x"}});
  const std::tuple<Text, const NetworkMounts*, Text> cases[] = {
      {u"/mnt/nas/docs/a", &system, u"\\\\docs\\a"},  // the first row that matches wins
      {u" /mnt/nas/b ", &system, u"\\\\nas\\share\\b"},
      {u"/mnt/nas/X:\\c", &system, u"\\\\nas\\share\\X:\\c"},
      {u"X:\\d", &system, u"\\\\x\\d"},
      {u"/mnt/nfs/e", &system, u"\\\\srv\\export\\e"},
      {u"/mnt/nfs/e", nullptr, u"\\\\late\\nfs\\e"},  // no system: "*,*" maps nothing
      {u"/mnt/other/f", &system, u"\\\\late\\other\\f"},
      {u"  /home/g  ", &system, u"/home/g"},
  };
  for (const auto& [path, mounts, want] : cases) {
    EXPECT_EQ(DRIVE_CHG_edit(table, path, mounts, PathFlavour::kPosix), want) << to_utf8(path);
  }
  // On Windows the mount-point rows match nothing, and "*,*" asks for drives.
  EXPECT_EQ(DRIVE_CHG_edit(table, u"/mnt/nas/b", &system, PathFlavour::kWindows), u"/mnt/nas/b");
  EXPECT_EQ(DRIVE_CHG_edit(table_of({{u"*", u"*"}}), u"x:\\d", &system, PathFlavour::kWindows),
            u"\\\\win\\x\\d");
  // "*" with any other path is an ordinary drive-letter row.
  EXPECT_EQ(DRIVE_CHG_edit(table_of({{u"*", u"\\\\star\\"}}), u"/mnt/nfs/e", &system), u"/mnt/nfs/e");
  EXPECT_EQ(DRIVE_CHG_edit(table_of({{u"*", u"\\\\star\\"}}), u"*:\\e", &system), u"\\\\star\\e");
}

TEST(DriveChgEdit, AsksTheSystemOnlyWhenItCanMatter) {
  const DriveTable system_row = table_of({{u"*", u"*"}, {u"*", u"*"}});
  const std::tuple<DriveTable, Text, int> cases[] = {
      {table_of({{u"X", u"\\\\x\\"}}), u"/mnt/nfs/a", 0},                   // no "*,*" row
      {table_of({{u"/mnt", u"\\\\m\\"}, {u"*", u"*"}}), u"/mnt/nfs/a", 0},  // an earlier row matched
      {system_row, u"C:\\a", 0},                                            // no POSIX path
      {system_row, u"\\\\nas\\docs\\a", 0},                                 // mapped at its drop
      {system_row, u"/mnt/nfs/a", 1},
      {system_row, u"/home/a", 1},  // asked once, though two rows ask
  };
  for (const auto& [table, path, asked] : cases) {
    const CountingMounts mounts(Mounts{{u"/mnt/nfs", u"\\\\srv\\export"}});
    DRIVE_CHG_edit(table, path, &mounts, PathFlavour::kPosix);
    EXPECT_EQ(mounts.asked, asked) << to_utf8(path);
  }
}

// Under Check_drive, at drop and at copy; the text mapped at its drop comes
// through the copy unchanged, and a drop or a selection asks the system once.
TEST(EditClip, MapsNetworkPathsOnceWithTheDriveSwitch) {
  if (kNativePathFlavour != PathFlavour::kPosix) {
    GTEST_SKIP() << "the edit maps in the system's own flavour; these paths and rows are POSIX ones";
  }
  const DriveTable table = table_of({{u"/mnt/nas", u"\\\\nas\\share\\"}, {u"*", u"*"}});
  const CountingMounts mounts(Mounts{{u"/mnt/nfs", u"\\\\srv\\export"}});
  Text on = u"\"/mnt/nfs/a b.txt\"";
  Text off = on;
  EXPECT_EQ(EDIT_CLIP(on, 0, 0, table, OptionStates{1, 1, 0}, &mounts), u"<\\\\srv\\export\\a b.txt>");
  EXPECT_EQ(EDIT_CLIP(off, 0, 0, table, OptionStates{0, 0, 0}, &mounts), u"/mnt/nfs/a b.txt");
  EXPECT_EQ(mounts.asked, 1);

  for (const Text dropped : {u"/mnt/nas/a", u"/mnt/nfs/b", u"/srv/c"}) {
    const Text mapped = DRIVE_CHG_edit(table, dropped, &mounts);
    Text copied = mapped;
    EXPECT_EQ(EDIT_CLIP(copied, 0, 0, table, OptionStates{1, 0, 0}, &mounts), mapped) << to_utf8(dropped);
  }

  mounts.asked = 0;
  const NetworkMountsOnce drop(&mounts);
  EXPECT_EQ(DRIVE_CHG_edit(table, u"/mnt/nfs/a", drop), u"\\\\srv\\export\\a");
  EXPECT_EQ(DRIVE_CHG_edit(table, u"/mnt/nfs/b", drop), u"\\\\srv\\export\\b");
  EXPECT_EQ(mounts.asked, 1);

  mounts.asked = 0;
  const std::vector<SelectedEntry> selected = {{0, u"/mnt/nfs/a"}, {1, u"/mnt/nas/b"}, {2, u"/mnt/nfs/c"}};
  EXPECT_EQ(clip_text_for_selection(selected, 3, table, OptionStates{1, 0, 0}, &mounts),
            u"\\\\srv\\export\\a\r\n\\\\nas\\share\\b\r\n\\\\srv\\export\\c");
  EXPECT_EQ(mounts.asked, 1);
}

// Fifty mixed rows and a mountinfo of 10,000 lines: the path tries every row.
TEST(DriveChgEdit, FiftyRowsAndTenThousandMounts) {
  const DriveTable table = samples::fifty_mixed_rows();
  const std::string mountinfo = samples::many_mounts_mountinfo(10'000);
  const Mounts parsed = parse_mountinfo(mountinfo, u"/run/user/1000");
  EXPECT_EQ(parsed.size(), 100u);
  const FixedNetworkMounts mounts(parsed);
  EXPECT_EQ(DRIVE_CHG_edit(table, u"/mnt/share9999/a/b.txt", &mounts, PathFlavour::kPosix),
            u"\\\\nas\\share9999\\a\\b.txt");
  EXPECT_EQ(DRIVE_CHG_edit(table, u"/var/lib/docker/overlay2/5/merged/x", &mounts, PathFlavour::kPosix),
            u"/var/lib/docker/overlay2/5/merged/x");
}

}  // namespace
}  // namespace kestrova
