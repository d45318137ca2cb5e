// Mount tables and drive tables for the tests, the benchmark and the
// bad-input test: a real mountinfo excerpt, and a large table with its own
// worst case.
#pragma once

#include <string>
#include <string_view>

#include "clip/clip.h"

namespace kestrova::samples {

// /proc/self/mountinfo of a desktop (runtime folder /run/user/1000): ext4
// root, kernel and tmpfs mounts, GVFS, a cifs share at /mnt/nas, an nfs4
// export at /mnt/nfs with a tmpfs and an nfs3 export nested in it, sshfs in
// the home folder, a share whose name holds a space, and a bind mount of a
// folder inside the cifs share.
inline constexpr std::string_view kDesktopMountinfo =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev "
    "rw,size=4028216k,nr_inodes=1007054,mode=755\n"
    "26 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=813272k,mode=755\n"
    "31 22 8:1 / /boot/efi rw,relatime shared:31 - vfat /dev/sda1 rw,fmask=0077,dmask=0077,codepage=437\n"
    "95 26 0:47 / /run/user/1000 rw,nosuid,nodev,relatime shared:410 - tmpfs tmpfs "
    "rw,size=813268k,mode=700,uid=1000\n"
    "97 95 0:49 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:425 - fuse.gvfsd-fuse gvfsd-fuse "
    "rw,user_id=1000,group_id=1000\n"
    "120 22 0:52 / /mnt/nas rw,relatime shared:440 - cifs //nas/docs rw,vers=3.1.1,cache=strict,username=u,"
    "uid=1000,forceuid,gid=1000,forcegid,addr=192.168.1.10,file_mode=0755,dir_mode=0755,soft,nounix,"
    "serverino\n"
    "125 22 0:55 / /mnt/nfs rw,relatime shared:450 - nfs4 srv:/export "
    "rw,vers=4.2,rsize=1048576,wsize=1048576,"
    "namlen=255,hard,proto=tcp,timeo=600,retrans=2,sec=sys,clientaddr=192.168.1.20,local_lock=none,addr=192."
    "168.1.11\n"
    "130 22 0:57 / /home/u/remote rw,nosuid,nodev,relatime shared:460 - fuse.sshfs u@host:/home/u "
    "rw,user_id=1000,group_id=1000\n"
    "135 22 0:59 / /mnt/Team\\040Share rw,relatime shared:470 - cifs //nas/Team\\040Share "
    "rw,vers=3.0,addr=192.168.1.10\n"
    "140 125 0:61 / /mnt/nfs/scratch rw,relatime shared:480 - tmpfs tmpfs rw,size=1024k\n"
    "145 125 0:63 / /mnt/nfs/projects rw,relatime shared:490 - nfs srv2:/vol/projects/ "
    "rw,vers=3,addr=192.168.1.12\n"
    "150 22 0:52 /docs/2024 /srv/reports rw,relatime shared:440 - smb3 //nas/docs rw,vers=3.1.1\n";

// A mountinfo of `lines` lines, as on a host running many containers:
// overlay mounts, and every hundredth line a cifs share //nas/shareN at
// /mnt/shareN.
inline std::string many_mounts_mountinfo(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const std::string n = std::to_string(i);
    text.append(n).append(" 22 0:").append(n);
    if (i % 100 == 99) {
      text.append(" / /mnt/share").append(n).append(" rw,relatime shared:").append(n);
      text.append(" - cifs //nas/share")
          .append(n)
          .append(" rw,vers=3.1.1,cache=strict,username=u,uid=1000\n");
    } else {
      text.append(" / /var/lib/docker/overlay2/").append(n).append("/merged rw,relatime - overlay overlay ");
      text.append("rw,lowerdir=/var/lib/docker/overlay2/l/A").append(n);
      text.append(",upperdir=/var/lib/docker/overlay2/").append(n).append("/diff\n");
    }
  }
  return text;
}

// Fifty rows: mount-point rows and drive-letter rows that all miss
// /mnt/shareN paths, then "*,*" last, so that such a path tries every row.
inline DriveTable fifty_mixed_rows() {
  DriveTable table;
  for (int i = 0; i < DriveTable::kMaxRows - 1; ++i) {
    const Text n = from_utf8(std::to_string(i));
    if (i % 2 == 0) {
      table.add_row(u"/media/disk" + n, u"\\\\disk" + n + u"\\");
    } else {
      table.add_row(n, u"\\\\letter" + n + u"\\");
    }
  }
  table.add_row(u"*", u"*");
  return table;
}

}  // namespace kestrova::samples
