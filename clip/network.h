// Network paths for mounts and network drives: the two drive-table rows that
// go beyond drive letters (a mount-point row, and the row "*,*" that asks the
// system), the one interface through which the system is asked, and the pure
// functions that read Linux's mount table and rewrite a path.
//
// How a path is joined to a network path, for both row kinds: the rest of the
// path behind the mount point (or the drive "X:") loses its leading
// separators; when nothing is left the result is the network path exactly as
// given, else it is the network path without its trailing separators ("\" and
// "/"), one separator, and the rest with every "/" written as that separator.
// The separator is "\" for the system's network paths, and for a row's path
// "\" when that path holds a "\", "/" otherwise. On POSIX systems a "\" in the
// rest is part of a file name and stays as it is.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace kestrova {

// How the paths of a system look: POSIX paths begin with "/", Windows paths
// with a drive "X:". Passed explicitly so that either form can be tested on
// any system; the program itself uses kNativePathFlavour.
enum class PathFlavour { kPosix, kWindows };
#ifdef _WIN32
inline constexpr PathFlavour kNativePathFlavour = PathFlavour::kWindows;
#else
inline constexpr PathFlavour kNativePathFlavour = PathFlavour::kPosix;
#endif

enum class MountKind {
  // `remote` is the network path behind `local`.
  kShare,
  // `local` is GVFS's FUSE folder ($XDG_RUNTIME_DIR/gvfs): each folder in it
  // named smb-share:server=S,share=SH[,...] (keys in any order, values
  // percent-encoded: share=my%20docs) is the share \\S\SH; other folders
  // (sftp, smb-server browsing) are not network paths. No `remote`.
  kGvfs,
  // A mount that is no network share (tmpfs, sshfs, ...) at or below a
  // network mount point: the paths below it are not on the network share,
  // even though they lie below its mount point. No `remote`.
  kLocal,
};

// One mount or network drive as the system knows it.
// - POSIX: `local` is an absolute mount point, "/mnt/nas" (a trailing "/" is
//   ignored); `remote` the UNC path, "\\nas\share" or "\\nas\share\sub".
// - Windows: `local` is a drive, "X:" ("X:\" is taken as "X:"); `remote` the
//   UNC path of its connection, "\\srv\share". Only kShare is used there.
// An entry whose `local` does not have the system's form, or a kShare entry
// with an empty `remote`, maps nothing.
struct NetworkMount {
  Text local;
  Text remote;
  MountKind kind = MountKind::kShare;

  bool operator==(const NetworkMount&) const = default;
};

// What the system currently knows about network mounts (Linux: from
// /proc/self/mountinfo, through parse_mountinfo) or drive connections
// (Windows: every drive letter that WNetGetConnectionW reports as connected,
// with the UNC path it reports). Implemented by the platform code of each
// front end. The list is asked for afresh each time, since mounts come and go
// while the program runs; it is in the system's order (on Linux the order of
// mountinfo: a later mount on the same point hides an earlier one). When the
// system cannot tell (the file cannot be read, the call fails), the answer is
// an empty list: nothing is mapped, nothing is thrown.
class NetworkMounts {
 public:
  virtual ~NetworkMounts() = default;
  virtual std::vector<NetworkMount> network_mounts() const = 0;
};

// The system's answer for one operation: `source` is asked at the first call
// of answer(), and that list is given to every later call without a copy, so
// that one drop or one click of many paths reads the system once. A null
// source answers an empty list. Keep one only as long as the operation:
// mounts come and go.
class NetworkMountsOnce {
 public:
  explicit NetworkMountsOnce(const NetworkMounts* source) : source_(source) {}
  const std::vector<NetworkMount>& answer() const;

 private:
  const NetworkMounts* source_;
  mutable std::optional<std::vector<NetworkMount>> answer_;
};

// The network mounts in the text of a Linux /proc/<pid>/mountinfo file, in
// the file's order. Mount points, roots and sources are decoded from the
// octal escapes the kernel writes (\040 for a space) and then from UTF-8.
// - cifs and smb3 with source //server/share[/sub] give \\server\share[\sub];
//   nfs and nfs4 with source server:/export give \\server\export. A mount of
//   a folder inside the share (a bind mount: root field other than "/") adds
//   that folder. A source of another form gives a kLocal entry.
// - fuse.gvfsd-fuse mounted exactly at runtime_dir + "/gvfs" gives a kGvfs
//   entry; runtime_dir is the desktop's runtime folder ($XDG_RUNTIME_DIR,
//   read by the caller). An empty runtime_dir gives no kGvfs entry.
// - Any other mount gives a kLocal entry when it lies at or below the mount
//   point of a network mount listed before it, and nothing otherwise.
// Malformed lines are skipped. Linear in the size of the text (times the
// number of different lengths among the network mount points, a handful).
std::vector<NetworkMount> parse_mountinfo(std::string_view mountinfo, TextView runtime_dir);

// A mount-point row (its letter text begins with "/"): when `path` is
// `mount_point` itself or lies below it at a "/" boundary (a trailing "/" on
// `mount_point` is ignored; "/" alone contains every absolute path), the
// path joined to `network_path` (see the top of this file). Exact,
// case-sensitive comparison. Nothing for a Windows flavour, or when the path
// is not below the mount point.
std::optional<Text> mount_row_edit(TextView mount_point, TextView network_path, TextView path,
                                   PathFlavour flavour = kNativePathFlavour);

// The system's answer for `path`, joined with "\" (see the top of this file):
// - POSIX: of the entries whose `local` contains the path (as in
//   mount_row_edit; in a kGvfs entry the smb-share folder counts as part of
//   the mount point), the one with the longest mount point wins, the later
//   one on a tie; nothing when that is a kLocal entry, a GVFS folder that is
//   no SMB share, or no entry contains the path.
// - Windows: a path "X:", "X:\..." or "X:/..." takes the first kShare entry
//   for its drive. Drive letters compare without case ("x:\a" is on drive X:,
//   as Windows itself sees it), unlike the table's drive-letter rows, whose
//   keys are the user's own text.
std::optional<Text> system_mount_edit(const std::vector<NetworkMount>& mounts, TextView path,
                                      PathFlavour flavour = kNativePathFlavour);

// Whether system_mount_edit could map `path` at all (an absolute POSIX path,
// a path on a Windows drive): the system need not be asked for other texts.
bool may_lie_on_a_mount(TextView path, PathFlavour flavour = kNativePathFlavour);

}  // namespace kestrova
