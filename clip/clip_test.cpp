#include "clip/clip.h"

#include <gtest/gtest.h>

#include "clip/network.h"
#include "tests/fixed_sources.h"

namespace kestrova {
namespace {

using Mounts = std::vector<NetworkMount>;
using testing::FixedNetworkMounts;
using testing::OptionStates;
using testing::table_of;

const DriveTable kDefault = table_of({{u"X", u"\\\\realpath\\"}});
const OptionStates kOff{0, 0, 0};

TEST(DriveTable, HoldsFiftyRows) {
  DriveTable table;
  int added = 0;
  while (added <= DriveTable::kMaxRows && table.add_row(u"L", u"P")) { ++added; }
  EXPECT_EQ(std::pair(added, table.DRIVE_CHG_cnt), std::pair(50, 50));
}

TEST(DriveChgEdit, Cases) {
  const std::tuple<DriveTable, Text, Text> cases[] = {
      {kDefault, u"X:\\docs\\a.txt", u"\\\\realpath\\docs\\a.txt"},
      {kDefault, u"  C:\\a  ", u"C:\\a"},                                                  // no match: trimmed
      {table_of({{u"x", u"\\\\lower\\"}}), u"X:\\a", u"X:\\a"},                           // case-sensitive
      {kDefault, u"X:\\a\\X:\\b", u"\\\\realpath\\a\\X:\\b"},                              // first occurrence only
      {kDefault, u"ab X:\\c", u"\\\\realpath\\ab    c"},                                   // inside: blanks stay
      {table_of({{u"X", u"\\\\x\\"}, {u"Y", u"\\\\y\\"}}), u"Y:\\a X:\\b", u"\\\\x\\Y:\\a    b"},  // first row wins
      {table_of({{u"NET", u"\\\\srv\\"}}), u"NET:\\share\\f", u"\\\\srv\\share\\f"},      // whole key blanked
  };
  for (const auto& [table, in, want] : cases) {
    EXPECT_EQ(DRIVE_CHG_edit(table, in), want) << to_utf8(in);
  }
}

TEST(EditClip, Cases) {
  struct Case { Text in; OptionStates options; std::size_t cur, max; Text want; };  // options: drive, tag, crlf
  const Case cases[] = {
      {u"\"C:\\My Files\\a.txt\"", kOff, 0, 0, u"C:\\My Files\\a.txt"},
      {u"C:\\a.txt", {0, 1, 1}, 0, 0, u"<C:\\a.txt>\r\n"},
      {u"X:\\a.txt", kOff, 0, 3, u"X:\\a.txt\r\n"},  // not the last entry: a break; mapping off
      {u"X:\\docs\\a.txt", {1, 1, 0}, 2, 2, u"<\\\\realpath\\docs\\a.txt>"},
      {u" \"C:\\a.txt\"", kOff, 1, 1, u"\"C:\\a.txt"},  // a space before the quote keeps it
      {u"\"\"", {0, 1, 0}, 0, 0, u"<>"},
      {u"\"\"C:\\a\"\"", kOff, 0, 0, u"\"C:\\a\""},  // one quote per end
      {u"", {1, 1, 1}, 0, 0, u"<>\r\n"},
  };
  for (const auto& c : cases) {
    Text text = c.in;
    EXPECT_EQ(EDIT_CLIP(text, c.cur, c.max, kDefault, c.options), c.want) << to_utf8(c.in);
    EXPECT_EQ(text, c.want) << "edited in place";
  }
}

// A desktop's mountinfo (runtime folder /run/user/1000): kernel and tmpfs
// mounts, GVFS, a cifs share, an nfs4 export with a tmpfs and an nfs3 export
// nested in it, a share whose name holds a space, and a bind mount of a
// folder inside the cifs share.
constexpr std::string_view kDesktopMountinfo =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "95 22 0:47 / /run/user/1000 rw,nosuid shared:410 - tmpfs tmpfs rw,mode=700,uid=1000\n"
    "97 95 0:49 / /run/user/1000/gvfs rw,nosuid shared:425 - fuse.gvfsd-fuse gvfsd-fuse rw,user_id=1000\n"
    "120 22 0:52 / /mnt/nas rw,relatime shared:440 - cifs //nas/docs rw,vers=3.1.1,addr=192.168.1.10\n"
    "125 22 0:55 / /mnt/nfs rw,relatime shared:450 - nfs4 srv:/export rw,vers=4.2,addr=192.168.1.11\n"
    "135 22 0:59 / /mnt/Team\\040Share rw,relatime shared:470 - cifs //nas/Team\\040Share rw,vers=3.0\n"
    "140 125 0:61 / /mnt/nfs/scratch rw,relatime shared:480 - tmpfs tmpfs rw,size=1024k\n"
    "145 125 0:63 / /mnt/nfs/projects rw,relatime shared:490 - nfs srv2:/vol/projects/ rw,vers=3\n"
    "150 22 0:52 /docs/2024 /srv/reports rw,relatime shared:440 - smb3 //nas/docs rw,vers=3.1.1\n";

const Mounts kDesktop = parse_mountinfo(kDesktopMountinfo, u"/run/user/1000");

// GVFS only at the caller's runtime folder, and only as GVFS: a mount
// stacked on it hides it as on any other mount point.
TEST(ParseMountinfo, GvfsAtTheRuntimeFolder) {
  EXPECT_EQ(parse_mountinfo(kDesktopMountinfo, u"/run/user/1000/").front().kind, MountKind::kGvfs);
  EXPECT_EQ(parse_mountinfo(kDesktopMountinfo, u"/run/user/1001").front().local, u"/mnt/nas");
  EXPECT_TRUE(parse_mountinfo("1 2 0:3 / /g/gvfs rw - tmpfs t rw\n", u"/g").empty());
  EXPECT_EQ(parse_mountinfo("1 2 0:3 / /g/gvfs rw - fuse.gvfsd-fuse g rw\n1 2 0:3 / /g/gvfs rw - tmpfs t rw\n", u"/g"),
            (Mounts{{u"/g/gvfs", u"", MountKind::kGvfs}, {u"/g/gvfs", u"", MountKind::kLocal}}));
}

TEST(ParseMountinfo, SourcesEscapesAndBadLines) {
  const auto line = [](const std::string& point, const std::string& type, const std::string& source) {
    return "40 22 0:50 / " + point + " rw shared:1 master:2 - " + type + " " + source + " rw\n";
  };
  const std::tuple<std::string, Mounts> cases[] = {
      {line("/mnt/a", "cifs", "//nas/share/sub/"), {{u"/mnt/a", u"\\\\nas\\share\\sub"}}},
      {line("/mnt/a", "nfs", "[fe80::1]:/export"), {{u"/mnt/a", u"\\\\[fe80::1]\\export"}}},
      {line("/mnt/a", "nfs4", "srv:/"), {{u"/mnt/a", u"\\\\srv"}}},
      {line("/mnt/a", "cifs", "//nas"), {{u"/mnt/a", u"", MountKind::kLocal}}},  // no share: maps nothing
      {line("/mnt/a", "cifs", "///x"), {{u"/mnt/a", u"", MountKind::kLocal}}},   // no server
      {line("/mnt/a", "cifs", "//nas//x"), {{u"/mnt/a", u"", MountKind::kLocal}}},
      {"40 22 0:50 / /mnt/a rw - cifs \n", {{u"/mnt/a", u"", MountKind::kLocal}}},  // an empty source
      {line("/mnt/a", "nfs", "srv"), {{u"/mnt/a", u"", MountKind::kLocal}}},
      {line("/mnt/a", "nfs", "a/b:/x"), {{u"/mnt/a", u"", MountKind::kLocal}}},
      {line("/mnt/a\\040b\\011c\\134d\\012e\\047", "cifs", "//s/x\\040y"),
       {{u"/mnt/a b\tc\\d\ne'", u"\\\\s\\x y"}}},
      {line("/mnt/\\9x\\04", "cifs", "//s/x"), {{u"/mnt/\\9x\\04", u"\\\\s\\x"}}},  // not escapes
      {line("relative", "cifs", "//s/x"), {}},
      {"garbage\n\n1 2 3 / /mnt/a rw - cifs\n40 22 0:50 / /mnt/a rw cifs //s/x rw", {}},
      // A "-" inside an optional field, or at either end of one, is no separator.
      {"40 22 0:50 / /mnt/a rw x-y:1 -z x- - cifs //s/x rw\n", {{u"/mnt/a", u"\\\\s\\x"}}},
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
      {u"/mnt/nfs/projects/p/q", u"\\\\srv2\\vol\\projects\\p\\q"},  // the longest mount point wins
      {u"/mnt/nfs/scratch/t", u""},                                  // a tmpfs inside the export
      {u"/mnt/Team Share/b c.txt", u"\\\\nas\\Team Share\\b c.txt"},
      {u"/srv/reports/q1.pdf", u"\\\\nas\\docs\\docs\\2024\\q1.pdf"},
      {gvfs + u"smb-share:domain=W,server=fs1,share=pub,user=bob/d/e.txt", u"\\\\fs1\\pub\\d\\e.txt"},
      {gvfs + u"smb-share:server=fs1,share=d%6Fc%6fs%4a%4A%09%4G%2", u"\\\\fs1\\docosJJ\t%4G%2"},  // hex in either case
      {gvfs + u"smb-share:server=x,share=cafe,server=fs1", u"\\\\fs1\\cafe"},  // the last one counts
      {gvfs + u"smb-share:server=fs1/f", u""},                                  // no share
      {gvfs + u"sftp:host=h/f", u""},
      {gvfs, u""},
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
  const Mounts mounts = {{u"X:", u"\\\\srv\\share"}, {u"Y:\\", u"\\\\y\\"}, {u"/mnt/nas", u"\\\\nas\\docs"},
                        {u"A:", u"\\\\a"}, {u"z:", u"\\\\z"}, {u"1:", u"\\\\one"}};
  const std::pair<Text, Text> cases[] = {
      {u"X:\\dir\\f", u"\\\\srv\\share\\dir\\f"},
      {u"x:\\dir\\f", u"\\\\srv\\share\\dir\\f"},  // drive letters have no case
      {u"X:/dir/f", u"\\\\srv\\share\\dir\\f"},
      {u"X:", u"\\\\srv\\share"},
      {u"Y:\\a", u"\\\\y\\a"},
      {u"A:\\f", u"\\\\a\\f"}, {u"a:\\f", u"\\\\a\\f"},  // the first and last letters
      {u"z:\\f", u"\\\\z\\f"}, {u"Z:\\f", u"\\\\z\\f"}, {u"1:\\f", u""},
      {u"C:\\a", u""},
      {u"X:dir", u""},  // relative to the drive's current folder: not a full path
      {u"XY:\\a", u""},
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
      {u"/mnt/nas", u"\\\\nas\\share\\", u"/mnt/nasty/a", u""},
      {u"/mnt/nas//", u"\\\\nas\\share\\\\", u"/mnt/nas//a", u"\\\\nas\\share\\a"},
      {u"/mnt/web", u"smb://nas/share/", u"/mnt/web/docs/a.txt", u"smb://nas/share/docs/a.txt"},
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
      {u"  /home/g  ", &system, u"/home/g"},
  };
  for (const auto& [path, mounts, want] : cases) {
    EXPECT_EQ(DRIVE_CHG_edit(table, path, mounts, PathFlavour::kPosix), want) << to_utf8(path);
  }
  // On Windows "*,*" asks for drives; "*" with any other path is an ordinary drive-letter row.
  EXPECT_EQ(DRIVE_CHG_edit(table_of({{u"*", u"*"}}), u"x:\\d", &system, PathFlavour::kWindows),
            u"\\\\win\\x\\d");
  EXPECT_EQ(DRIVE_CHG_edit(table_of({{u"*", u"\\\\star\\"}}), u"*:\\e", &system), u"\\\\star\\e");
}

// The system is asked only when a "*,*" row is reached with a path that may
// lie on a mount, and once for a whole drop or selection.
TEST(DriveChgEdit, AsksTheSystemOnlyWhenItCanMatter) {
  const DriveTable system_row = table_of({{u"*", u"*"}, {u"*", u"*"}});
  const std::tuple<DriveTable, Text, int> cases[] = {
      {table_of({{u"X", u"\\\\x\\"}}), u"/mnt/nfs/a", 0},                   // no "*,*" row
      {table_of({{u"/mnt", u"\\\\m\\"}, {u"*", u"*"}}), u"/mnt/nfs/a", 0},  // an earlier row matched
      {system_row, u"C:\\a", 0},                                            // no POSIX path
      {system_row, u"\\\\nas\\docs\\a", 0},                                 // mapped at its drop
      {system_row, u"/home/a", 1},                                          // once, though two rows ask
  };
  for (const auto& [table, path, asked] : cases) {
    const FixedNetworkMounts mounts(Mounts{{u"/mnt/nfs", u"\\\\srv\\export"}});
    DRIVE_CHG_edit(table, path, &mounts, PathFlavour::kPosix);
    EXPECT_EQ(mounts.asked, asked) << to_utf8(path);
  }
  if (kNativePathFlavour != PathFlavour::kPosix) {
    return;  // the edit maps in the system's own flavour; these are POSIX paths
  }
  const FixedNetworkMounts mounts(Mounts{{u"/mnt/nfs", u"\\\\srv\\export"}});
  const NetworkMountsOnce drop(&mounts);
  EXPECT_EQ(DRIVE_CHG_edit(system_row, u"/mnt/nfs/a", drop), u"\\\\srv\\export\\a");
  EXPECT_EQ(DRIVE_CHG_edit(system_row, u"/mnt/nfs/b", drop), u"\\\\srv\\export\\b");
  const std::vector<SelectedEntry> selected = {{0, u"/mnt/nfs/a"}, {1, u"/srv/b"}, {2, u"/mnt/nfs/c"}};
  EXPECT_EQ(clip_text_for_selection(selected, 3, system_row, OptionStates{1, 0, 0}, &mounts),
            u"\\\\srv\\export\\a\r\n/srv/b\r\n\\\\srv\\export\\c");
  EXPECT_EQ(mounts.asked, 2);
}

}  // namespace
}  // namespace kestrova
