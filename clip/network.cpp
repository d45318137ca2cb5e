#include "clip/network.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>

namespace kestrova {

namespace {

constexpr char16_t kBackslash = u'\\';

TextView without_trailing(TextView text, TextView chars) {
  const auto last = text.find_last_not_of(chars);
  return text.substr(0, last == TextView::npos ? 0 : last + 1);
}

TextView without_leading(TextView text, TextView chars) {
  const auto first = text.find_first_not_of(chars);
  return first == TextView::npos ? TextView() : text.substr(first);
}

// The rest of `path` behind `mount_point` (no trailing "/"; empty for the
// root) when the path is the mount point or lies below it: empty, or
// beginning with "/".
std::optional<TextView> below(TextView path, TextView mount_point) {
  if (!path.starts_with(mount_point)) {
    return std::nullopt;
  }
  const TextView rest = path.substr(mount_point.size());
  if (mount_point.empty() ? !rest.starts_with(u'/') : !(rest.empty() || rest.starts_with(u'/'))) {
    return std::nullopt;
  }
  return rest;
}

// See "How a path is joined" at the top of network.h. `leading` holds the
// separators the rest may begin with.
Text join(TextView network_path, TextView rest, char16_t separator, TextView leading) {
  rest = without_leading(rest, leading);
  if (rest.empty()) {
    return Text(network_path);
  }
  Text out(without_trailing(network_path, u"\\/"));
  out.reserve(out.size() + 1 + rest.size());
  out.push_back(separator);
  for (const char16_t c : rest) {
    out.push_back(c == u'/' ? separator : c);
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// "smb-share:server=S,share=SH[,...]" (keys in any order, values
// percent-encoded as GVFS writes them) gives \\S\SH.
std::optional<Text> gvfs_smb_share(TextView folder) {
  constexpr TextView kPrefix = u"smb-share:";
  if (!folder.starts_with(kPrefix)) {
    return std::nullopt;
  }
  std::string server;
  std::string share;
  const std::string keys = to_utf8(folder.substr(kPrefix.size())) + ",";
  std::size_t start = 0;
  for (auto comma = keys.find(','); comma != std::string::npos; comma = keys.find(',', start)) {
    const std::string_view pair = std::string_view(keys).substr(start, comma - start);
    start = comma + 1;
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos) {
      continue;
    }
    const std::string_view key = pair.substr(0, equals);
    std::string* value = key == "server" ? &server : key == "share" ? &share : nullptr;
    if (value == nullptr) {
      continue;
    }
    value->clear();
    const std::string_view encoded = pair.substr(equals + 1);
    for (std::size_t i = 0; i < encoded.size(); ++i) {
      const int high = i + 2 < encoded.size() && encoded[i] == '%' ? hex_digit(encoded[i + 1]) : -1;
      const int low = high < 0 ? -1 : hex_digit(encoded[i + 2]);
      if (low < 0) {
        value->push_back(encoded[i]);
        continue;
      }
      value->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    }
  }
  if (server.empty() || share.empty()) {
    return std::nullopt;
  }
  return u"\\\\" + from_utf8(server) + u"\\" + from_utf8(share);
}

// Octal escapes of mountinfo ("\040" for a space) back to their bytes, then
// UTF-8 decoded.
Text unescape(std::string_view field) {
  std::string bytes;
  bytes.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](std::size_t at, char high) { return field[at] >= '0' && field[at] <= high; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
        octal(i + 3, '7')) {
      bytes.push_back(
          static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      bytes.push_back(field[i]);
    }
  }
  return from_utf8(bytes);
}

Text backslashed(TextView text) {
  Text out(text);
  std::replace(out.begin(), out.end(), u'/', kBackslash);
  return out;
}

// //server/share[/sub] gives \\server\share[\sub]; nothing for other forms.
std::optional<Text> cifs_unc(TextView source) {
  Text unc = backslashed(without_trailing(source, u"/\\"));
  const auto share_at = unc.find(kBackslash, 2);
  if (!unc.starts_with(u"\\\\") || share_at == Text::npos || share_at == 2 || share_at + 1 == unc.size() ||
      unc[share_at + 1] == kBackslash) {
    return std::nullopt;
  }
  return unc;
}

// server:/export gives \\server\export; nothing for other forms.
std::optional<Text> nfs_unc(TextView source) {
  const auto colon = source.find(u":/");
  if (colon == TextView::npos || colon == 0 ||
      source.substr(0, colon).find_first_of(u"/\\") != TextView::npos) {
    return std::nullopt;
  }
  return u"\\\\" + Text(source.substr(0, colon)) +
         backslashed(without_trailing(source.substr(colon + 1), u"/"));
}

// The fields of one mountinfo line that matter here, still escaped.
struct MountLine {
  std::string_view root;
  std::string_view mount_point;
  std::string_view fstype;
  std::string_view source;
};

// Fills `fields` and returns true for a well-formed line; false otherwise.
bool split_mount_line(std::string_view line, MountLine& fields) {
  // ID, parent ID, major:minor, root, mount point, options, optional fields
  // ended by a "-" field, file system type, source, super options. No field
  // holds a space: the kernel escapes them.
  std::size_t start = 0;
  const auto next_field = [&]() -> std::optional<std::string_view> {
    if (start > line.size()) {
      return std::nullopt;
    }
    auto end = line.find(' ', start);
    end = end == std::string_view::npos ? line.size() : end;
    const std::string_view field = line.substr(start, end - start);
    start = end + 1;
    return field;
  };
  std::array<std::string_view, 6> head;  // up to the options
  for (auto& field : head) {
    const auto read = next_field();
    if (!read) {
      return false;
    }
    field = *read;
  }
  // The separator is the first " - " after the options: the optional fields
  // (shared:1, master:2, unbindable) rarely hold a "-".
  for (auto dash = line.find('-', start); dash != std::string_view::npos; dash = line.find('-', dash + 1)) {
    if (line[dash - 1] == ' ' && (dash + 1 == line.size() || line[dash + 1] == ' ')) {
      start = dash + 2;
      const auto fstype = next_field();
      const auto source = next_field();
      if (!fstype || !source) {
        return false;
      }
      fields = {head[3], head[4], *fstype, *source};
      return true;
    }
  }
  return false;
}

// The mount points of the network mounts met so far, still escaped as in the
// file (the kernel escapes the same bytes on every line, and never "/"), and
// whether a mount point lies at or below one of them. A mount point is looked
// up only at those of its "/" boundaries that lie at the length of some
// network mount point: few lengths, so a file of many thousand mounts is
// read in linear time.
class NetworkPoints {
 public:
  void add(std::string_view point) {
    points_.push_back(point);
    hashes_.insert(std::hash<std::string_view>()(point));
    const auto at = std::lower_bound(lengths_.begin(), lengths_.end(), point.size());
    if (at == lengths_.end() || *at != point.size()) {
      lengths_.insert(at, point.size());
    }
  }

  bool empty() const { return points_.empty(); }

  bool at_or_below(std::string_view point) const {
    for (const std::size_t length : lengths_) {
      if (length > point.size()) {
        break;
      }
      // "/" itself is the root, the one mount point that ends in a "/".
      const bool boundary = length == point.size() || point[length] == '/' || length == 1;
      const std::string_view prefix = point.substr(0, length);
      if (boundary && hashes_.contains(std::hash<std::string_view>()(prefix)) &&
          std::find(points_.begin(), points_.end(), prefix) != points_.end()) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::string_view> points_;
  std::unordered_set<std::size_t> hashes_;
  std::vector<std::size_t> lengths_;  // ascending, each once
};

}  // namespace

const std::vector<NetworkMount>& NetworkMountsOnce::answer() const {
  if (!answer_) {
    answer_ = source_ == nullptr ? std::vector<NetworkMount>() : source_->network_mounts();
  }
  return *answer_;
}

std::vector<NetworkMount> parse_mountinfo(std::string_view mountinfo, TextView runtime_dir) {
  std::vector<NetworkMount> mounts;
  const Text gvfs_folder =
      runtime_dir.empty() ? Text() : Text(without_trailing(runtime_dir, u"/")) + u"/gvfs";
  NetworkPoints network_points;
  std::size_t start = 0;
  while (start < mountinfo.size()) {
    auto end = mountinfo.find('\n', start);
    if (end == std::string_view::npos) {
      end = mountinfo.size();
    }
    MountLine line;
    const bool read = split_mount_line(mountinfo.substr(start, end - start), line);
    start = end + 1;
    if (!read || !line.mount_point.starts_with('/')) {
      continue;
    }
    const std::string_view type = line.fstype;
    const bool cifs = type == "cifs" || type == "smb3";
    if (cifs || type == "nfs" || type == "nfs4") {
      network_points.add(line.mount_point);
      auto remote = cifs ? cifs_unc(unescape(line.source)) : nfs_unc(unescape(line.source));
      if (remote && line.root != "/") {
        *remote += backslashed(without_trailing(unescape(line.root), u"/"));
      }
      mounts.push_back({unescape(line.mount_point), remote.value_or(Text()),
                        remote ? MountKind::kShare : MountKind::kLocal});
      continue;
    }
    if (type == "fuse.gvfsd-fuse" && !gvfs_folder.empty()) {
      Text point = unescape(line.mount_point);
      if (point == gvfs_folder) {
        network_points.add(line.mount_point);
        mounts.push_back({std::move(point), Text(), MountKind::kGvfs});
        continue;
      }
    }
    if (network_points.empty()) {
      continue;
    }
    const bool shadows = network_points.at_or_below(line.mount_point);
    if (shadows) {
      mounts.push_back({unescape(line.mount_point), Text(), MountKind::kLocal});
    }
  }
  return mounts;
}

std::optional<Text> mount_row_edit(TextView mount_point, TextView network_path, TextView path,
                                   PathFlavour flavour) {
  if (flavour != PathFlavour::kPosix || !mount_point.starts_with(u'/')) {
    return std::nullopt;
  }
  const auto rest = below(path, without_trailing(mount_point, u"/"));
  if (!rest) {
    return std::nullopt;
  }
  const char16_t separator = network_path.find(kBackslash) == TextView::npos ? u'/' : kBackslash;
  return join(network_path, *rest, separator, u"/");
}

bool may_lie_on_a_mount(TextView path, PathFlavour flavour) {
  if (flavour == PathFlavour::kPosix) {
    return path.starts_with(u'/');
  }
  const auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
  return path.size() >= 2 && letter(path[0]) && path[1] == u':' &&
         (path.size() == 2 || path[2] == kBackslash || path[2] == u'/');
}

std::optional<Text> system_mount_edit(const std::vector<NetworkMount>& mounts, TextView path,
                                      PathFlavour flavour) {
  if (!may_lie_on_a_mount(path, flavour)) {
    return std::nullopt;
  }
  if (flavour == PathFlavour::kWindows) {
    const Text drive = upper_ascii(path.substr(0, 2));
    for (const auto& mount : mounts) {
      if (mount.kind == MountKind::kShare && !mount.remote.empty() &&
          upper_ascii(without_trailing(mount.local, u"\\/")) == drive) {
        return join(mount.remote, path.substr(2), kBackslash, u"\\/");
      }
    }
    return std::nullopt;
  }

  std::optional<std::size_t> best_length;
  Text best_remote;  // empty: the innermost mount is no network share
  TextView best_rest;
  for (const auto& mount : mounts) {
    if (!mount.local.starts_with(u'/')) {
      continue;
    }
    const TextView point = without_trailing(mount.local, u"/");
    auto rest = below(path, point);
    if (!rest) {
      continue;
    }
    std::size_t length = point.size();
    Text remote = mount.kind == MountKind::kShare ? mount.remote : Text();
    if (mount.kind == MountKind::kGvfs && !rest->empty()) {
      const TextView folder = rest->substr(1, rest->find(u'/', 1) - 1);
      length += 1 + folder.size();
      remote = gvfs_smb_share(folder).value_or(Text());
      rest = rest->substr(1 + folder.size());
    }
    if (!best_length || length >= *best_length) {
      best_length = length;
      best_remote = std::move(remote);
      best_rest = *rest;
    }
  }
  if (best_remote.empty()) {
    return std::nullopt;
  }
  return join(best_remote, best_rest, kBackslash, u"/");
}

}  // namespace kestrova
