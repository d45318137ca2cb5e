#include "clip/clip.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace kestrova {

bool DriveTable::add_row(Text letter, Text realpath) {
  if (DRIVE_CHG_cnt >= kMaxRows) {
    return false;
  }
  DRIVE_letter[DRIVE_CHG_cnt] = std::move(letter);
  DRIVE_realpath[DRIVE_CHG_cnt] = std::move(realpath);
  ++DRIVE_CHG_cnt;
  return true;
}

namespace {

bool is_mount_point_row(TextView letter) { return letter.starts_with(u'/'); }

bool is_system_row(TextView letter, TextView realpath) { return letter == u"*" && realpath == u"*"; }

}  // namespace

Text DRIVE_CHG_edit(const DriveTable& table, const Text& text, const NetworkMounts* mounts,
                    PathFlavour flavour) {
  return DRIVE_CHG_edit(table, text, NetworkMountsOnce(mounts), flavour);
}

Text DRIVE_CHG_edit(const DriveTable& table, const Text& text, const NetworkMountsOnce& mounts,
                    PathFlavour flavour) {
  // Trimmed only when a newer row needs it: a table of drive letters alone
  // costs what it always did.
  std::optional<Text> trimmed_text;
  const auto trimmed = [&]() -> const Text& {
    if (!trimmed_text) {
      trimmed_text = trim(text);
    }
    return *trimmed_text;
  };
  for (std::int32_t i = 0; i < table.DRIVE_CHG_cnt; ++i) {
    const Text& letter = table.DRIVE_letter[i];
    const Text& realpath = table.DRIVE_realpath[i];
    if (is_system_row(letter, realpath)) {
      if (!may_lie_on_a_mount(trimmed(), flavour)) {
        continue;
      }
      if (auto mapped = system_mount_edit(mounts.answer(), trimmed(), flavour)) {
        return std::move(*mapped);
      }
      continue;
    }
    if (is_mount_point_row(letter)) {
      if (auto mapped = mount_row_edit(letter, realpath, trimmed(), flavour)) {
        return std::move(*mapped);
      }
      continue;
    }
    const Text key = letter + u":\\";
    const auto p = text.find(key);
    if (p == Text::npos) {
      continue;
    }
    // The whole key goes, not just a letter's worth of it: a longer letter
    // text must not leave the rest of its key inside the mapped path.
    Text work = text;
    std::fill_n(work.begin() + static_cast<std::ptrdiff_t>(p), key.size(), u' ');
    return realpath + trim(work);
  }
  return trimmed_text ? std::move(*trimmed_text) : trim(text);
}

namespace {

bool on(int state) { return state == 1; }

Text edit_clip(Text& clip_text, std::size_t cur_idx, std::size_t max_idx, const DriveTable& table,
               const OptionSource& options, const NetworkMountsOnce& mounts) {
  if (!clip_text.empty() && clip_text.front() == u'"') {
    clip_text.front() = u' ';
  }
  if (!clip_text.empty() && clip_text.back() == u'"') {
    clip_text.back() = u' ';
  }
  clip_text = trim(clip_text);
  if (table.DRIVE_CHG_cnt > 0 && on(options.Check_drive())) {
    clip_text = DRIVE_CHG_edit(table, clip_text, mounts);
  }
  if (on(options.Check_TAG())) {
    clip_text.insert(clip_text.begin(), u'<');
    clip_text.push_back(u'>');
  }
  if (cur_idx != max_idx || on(options.Check_CRLF())) {
    clip_text.append(kCrLf);
  }
  return clip_text;
}

}  // namespace

Text EDIT_CLIP(Text& clip_text, std::size_t cur_idx, std::size_t max_idx, const DriveTable& table,
               const OptionSource& options, const NetworkMounts* mounts) {
  return edit_clip(clip_text, cur_idx, max_idx, table, options, NetworkMountsOnce(mounts));
}

Text clip_text_for_selection(const std::vector<SelectedEntry>& selected, std::size_t entry_count,
                             const DriveTable& table, const OptionSource& options,
                             const NetworkMounts* mounts) {
  Text clip;
  if (entry_count == 0) {
    return clip;
  }
  const std::size_t last = entry_count - 1;
  const NetworkMountsOnce once(mounts);
  for (const auto& entry : selected) {
    Text text = entry.text;
    clip += edit_clip(text, entry.index, last, table, options, once);
  }
  return clip;
}

}  // namespace kestrova
