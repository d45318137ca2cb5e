#include "clip/clip.h"

#include <algorithm>

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

Text DRIVE_CHG_edit(const DriveTable& table, const Text& text) {
  Text work = text;
  for (std::int32_t i = 0; i < table.DRIVE_CHG_cnt; ++i) {
    const Text key = table.DRIVE_letter[i] + u":\\";
    const auto p = work.find(key);
    if (p == Text::npos) {
      continue;
    }
    // The whole key goes, not just a letter's worth of it: a longer letter
    // text must not leave the rest of its key inside the mapped path.
    std::fill_n(work.begin() + static_cast<std::ptrdiff_t>(p), key.size(), u' ');
    return table.DRIVE_realpath[i] + trim(work);
  }
  return trim(work);
}

namespace {

bool on(int state) { return state == 1; }

}  // namespace

Text EDIT_CLIP(Text& clip_text, std::size_t cur_idx, std::size_t max_idx, const DriveTable& table,
               const OptionSource& options) {
  if (!clip_text.empty() && clip_text.front() == u'"') {
    clip_text.front() = u' ';
  }
  if (!clip_text.empty() && clip_text.back() == u'"') {
    clip_text.back() = u' ';
  }
  clip_text = trim(clip_text);
  if (table.DRIVE_CHG_cnt > 0 && on(options.Check_drive())) {
    clip_text = DRIVE_CHG_edit(table, clip_text);
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

Text clip_text_for_selection(const std::vector<SelectedEntry>& selected, std::size_t entry_count,
                             const DriveTable& table, const OptionSource& options) {
  Text clip;
  if (entry_count == 0) {
    return clip;
  }
  const std::size_t last = entry_count - 1;
  for (const auto& entry : selected) {
    Text text = entry.text;
    clip += EDIT_CLIP(text, entry.index, last, table, options);
  }
  return clip;
}

}  // namespace kestrova
