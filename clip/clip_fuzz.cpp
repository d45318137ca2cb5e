// The clip edit on arbitrary texts and drive tables. Input: one control byte
// (bits 0-1 drive state, 2-3 tag state, 4-5 line-break state, each one of
// cleared, ticked, grayed or a stray -1; bit 6: the text is not the last
// entry; bit 7: the selection leaves out the list's last entry), then texts
// as fuzz_text reads them, split at line feeds: the clip text, then pairs of
// fields. A pair whose first field begins with "#" (a share), "%" (GVFS) or
// "!" (a local mount) is an entry of the system's mount table, its mount
// point the rest of that field and its network path the second field; any
// other pair is a drive table row of letter and network path, so "/..." and
// "*","*" give the two newer row kinds. The bytes after the control byte are
// also read as a mountinfo (runtime folder /run/user/1000), whose mounts
// follow the given ones in the table. Every edit runs in both path flavours.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "tests/fixed_sources.h"
#include "clip/clip.h"
#include "text/fuzz_input.h"

namespace {

using kestrova::DriveTable;
using kestrova::MountKind;
using kestrova::NetworkMount;
using kestrova::testing::OptionStates;
using kestrova::PathFlavour;
using kestrova::Text;
using kestrova::TextView;
using kestrova::fuzzing::require;
using kestrova::fuzzing::space_at_an_end;

int state_of(std::uint8_t bits) {
  constexpr int kStates[] = {0, 1, 2, -1};
  return kStates[bits & 3];
}

Text without_spaces(TextView text) {
  Text out;
  for (const char16_t c : text) {
    if (c != u' ') {
      out.push_back(c);
    }
  }
  return out;
}

// The system's mount table, counting how often it is asked.
struct CountingMounts final : kestrova::NetworkMounts {
  std::vector<NetworkMount> mounts;
  mutable int asked = 0;
  std::vector<NetworkMount> network_mounts() const override {
    ++asked;
    return mounts;
  }
};

TextView without_trailing(TextView text, TextView chars) {
  while (!text.empty() && chars.find(text.back()) != TextView::npos) {
    text.remove_suffix(1);
  }
  return text;
}

// The rest of `path` behind `point` when it lies there, as network.h says.
std::optional<TextView> rest_below(TextView path, TextView point) {
  point = without_trailing(point, u"/");
  if (!path.starts_with(point)) {
    return std::nullopt;
  }
  const TextView rest = path.substr(point.size());
  const bool boundary = point.empty() ? rest.starts_with(u'/') : rest.empty() || rest.front() == u'/';
  return boundary ? std::optional<TextView>(rest) : std::nullopt;
}

Text joined(TextView network_path, TextView rest, char16_t separator, TextView leading) {
  while (!rest.empty() && leading.find(rest.front()) != TextView::npos) {
    rest.remove_prefix(1);
  }
  if (rest.empty()) {
    return Text(network_path);
  }
  Text out = Text(without_trailing(network_path, u"\\/")) + separator;
  for (const char16_t c : rest) {
    out.push_back(c == u'/' ? separator : c);
  }
  return out;
}

// What the system maps `path` to, as network.h says, where that can be told
// without reading GVFS folder names (nothing to compare otherwise).
std::optional<std::optional<Text>> system_model(const std::vector<NetworkMount>& mounts, TextView path,
                                                PathFlavour flavour) {
  if (flavour == PathFlavour::kWindows) {
    for (const auto& mount : mounts) {
      const TextView drive = without_trailing(mount.local, u"\\/");
      if (mount.kind == MountKind::kShare && !mount.remote.empty() && drive.size() == 2 && path.size() >= 2 &&
          kestrova::upper_ascii(drive) == kestrova::upper_ascii(path.substr(0, 2)) &&
          kestrova::may_lie_on_a_mount(path, flavour)) {
        return joined(mount.remote, path.substr(2), u'\\', u"\\/");
      }
    }
    return std::optional<Text>();
  }
  const NetworkMount* best = nullptr;
  TextView best_rest;
  for (const auto& mount : mounts) {
    const auto rest = mount.local.starts_with(u'/') ? rest_below(path, mount.local) : std::nullopt;
    if (!rest) {
      continue;
    }
    if (mount.kind == MountKind::kGvfs) {
      return std::nullopt;
    }
    if (best == nullptr || path.size() - rest->size() >= path.size() - best_rest.size()) {
      best = &mount;
      best_rest = *rest;
    }
  }
  if (best == nullptr || best->kind != MountKind::kShare || best->remote.empty()) {
    return std::optional<Text>();
  }
  return joined(best->remote, best_rest, u'\\', u"/");
}

void check_drive_chg_edit(const DriveTable& table, const Text& text, const CountingMounts& mounts,
                          PathFlavour flavour) {
  mounts.asked = 0;
  const Text result = kestrova::DRIVE_CHG_edit(table, text, &mounts, flavour);
  const Text trimmed = kestrova::trim(text);
  int asks = 0;
  for (std::int32_t i = 0; i < table.DRIVE_CHG_cnt; ++i) {
    const Text& letter = table.DRIVE_letter[i];
    const Text& realpath = table.DRIVE_realpath[i];
    if (letter == u"*" && realpath == u"*") {
      if (!kestrova::may_lie_on_a_mount(trimmed, flavour)) {
        continue;
      }
      asks = 1;
      const auto mapped = kestrova::system_mount_edit(mounts.mounts, trimmed, flavour);
      if (const auto model = system_model(mounts.mounts, trimmed, flavour)) {
        require(mapped == *model, "the system's answer maps the path by the mount that contains it");
      }
      if (mapped) {
        require(result == *mapped, "a path the system maps takes the system's network path");
        require(mounts.asked == 1, "the system is asked once");
        return;
      }
      continue;
    }
    if (letter.starts_with(u'/')) {
      const auto rest = flavour == PathFlavour::kPosix ? rest_below(trimmed, letter) : std::nullopt;
      if (!rest) {
        continue;
      }
      const char16_t separator = realpath.find(u'\\') == Text::npos ? u'/' : u'\\';
      require(result == joined(realpath, *rest, separator, u"/"),
              "a path below a mount-point row is joined to the row's network path");
      require(mounts.asked == asks, "the system is asked only when a \"*,*\" row is reached");
      return;
    }
    const Text key = letter + u":\\";
    const auto at = text.find(key);
    if (at == Text::npos) {
      continue;
    }
    require(TextView(result).substr(0, realpath.size()) == realpath,
            "a mapped path starts with the first matching row's network path");
    const TextView rest = TextView(result).substr(realpath.size());
    require(!space_at_an_end(rest), "the text after the network path is trimmed");
    Text unkeyed = text;
    unkeyed.erase(at, key.size());
    require(without_spaces(rest) == without_spaces(unkeyed),
            "mapping drops the first key and nothing else but spaces");
    require(mounts.asked == asks, "the system is asked only when a \"*,*\" row is reached");
    return;
  }
  require(!space_at_an_end(result), "an unmapped text is trimmed");
  require(without_spaces(result) == without_spaces(text) && result.size() <= text.size(),
          "an unmapped text loses nothing but spaces");
  require(mounts.asked == asks, "the system is asked once, and only when a \"*,*\" row is reached");
}

void check_mountinfo(std::string_view mountinfo) {
  for (const auto& mount : kestrova::parse_mountinfo(mountinfo, u"/run/user/1000")) {
    require(mount.local.starts_with(u'/'), "a mount point is absolute");
    switch (mount.kind) {
      case MountKind::kShare:
        require(mount.remote.starts_with(u"\\\\") && mount.remote.find(u'/') == Text::npos,
                "a share's network path is a UNC path");
        break;
      case MountKind::kGvfs:
        require(mount.local == u"/run/user/1000/gvfs" && mount.remote.empty(),
                "GVFS lies in the runtime folder");
        break;
      case MountKind::kLocal:
        require(mount.remote.empty(), "a local mount has no network path");
        break;
    }
  }
}

// What EDIT_CLIP starts from: a double quote at the very start and one at the
// very end count as spaces.
Text unquoted(Text text) {
  if (!text.empty() && text.front() == u'"') {
    text.front() = u' ';
  }
  if (!text.empty() && text.back() == u'"') {
    text.back() = u' ';
  }
  return text;
}

void check_edit_clip(const Text& input, std::size_t cur, std::size_t max, const DriveTable& table,
                     const OptionStates& options, const CountingMounts& mounts) {
  Text edited = input;
  const Text result = kestrova::EDIT_CLIP(edited, cur, max, table, options, &mounts);
  require(edited == result, "EDIT_CLIP edits in place and returns the same text");

  TextView core = result;
  if (cur != max || options.crlf == 1) {
    require(core.ends_with(kestrova::kCrLf), "a line break where one is due");
    core.remove_suffix(kestrova::kCrLf.size());
  }
  if (options.tag == 1) {
    require(core.size() >= 2 && core.front() == u'<' && core.back() == u'>', "tags where they are due");
    core = core.substr(1, core.size() - 2);
  }

  const Text base = kestrova::trim(unquoted(input));
  if (table.DRIVE_CHG_cnt > 0 && options.drive == 1) {
    require(core == kestrova::DRIVE_CHG_edit(table, base, &mounts),
            "the drive mapping applies to the trimmed text");
    return;
  }
  require(!space_at_an_end(core), "without mapping the edited text is trimmed");
  require(core == base, "without mapping only the end quotes and the spaces go");
}

void check_selection(const std::vector<Text>& texts, std::size_t entry_count, const DriveTable& table,
                     const OptionStates& options, const CountingMounts& mounts) {
  std::vector<kestrova::SelectedEntry> selected;
  Text expected;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    selected.push_back({i, texts[i]});
    Text edited = texts[i];
    expected += kestrova::EDIT_CLIP(edited, i, entry_count - 1, table, options, &mounts);
  }
  mounts.asked = 0;
  require(kestrova::clip_text_for_selection(selected, entry_count, table, options, &mounts) == expected,
          "the clip text of a selection is its entries' edits in order");
  require(mounts.asked <= 1, "a selection asks the system at most once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::uint8_t control = data[0];
  const OptionStates options(state_of(control), state_of(control >> 2), state_of(control >> 4));
  const bool last_entry = (control & 0x40) == 0;
  const bool last_left_out = (control & 0x80) != 0;

  const auto fields = kestrova::fuzzing::split_fields(kestrova::fuzzing::fuzz_text(data + 1, size - 1));
  const Text& text = fields[0];
  DriveTable table;
  CountingMounts mounts;
  for (std::size_t i = 1; i + 1 < fields.size(); i += 2) {
    const TextView kinds = u"#%!";
    const auto kind = fields[i].empty() ? TextView::npos : kinds.find(fields[i].front());
    if (kind != TextView::npos) {
      mounts.mounts.push_back({fields[i].substr(1), fields[i + 1], static_cast<MountKind>(kind)});
    } else if (!table.add_row(fields[i], fields[i + 1])) {
      break;
    }
  }
  const std::string_view raw(reinterpret_cast<const char*>(data + 1), size - 1);
  check_mountinfo(raw);
  for (auto& mount : kestrova::parse_mountinfo(raw, u"/run/user/1000")) {
    mounts.mounts.push_back(std::move(mount));
  }

  for (const PathFlavour flavour : {PathFlavour::kPosix, PathFlavour::kWindows}) {
    check_drive_chg_edit(table, text, mounts, flavour);
    check_drive_chg_edit(table, kestrova::trim(text), mounts, flavour);
  }
  check_edit_clip(text, last_entry ? 7 : 6, 7, table, options, mounts);
  check_selection(fields, fields.size() + (last_left_out ? 1 : 0), table, options, mounts);
  return 0;
}
