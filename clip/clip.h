// Clip editing: the drive mapping table and the edit that every path passes
// on its way to the clipboard.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "clip/network.h"
#include "text/text.h"

namespace kestrova {

// The drive mapping table: rows of a drive letter text and the network path
// behind it, in the order of their lines in the settings file. Filled once
// by the settings loader and only read afterwards.
struct DriveTable {
  static constexpr std::int32_t kMaxRows = 50;

  // Number of rows loaded, 0 to kMaxRows.
  std::int32_t DRIVE_CHG_cnt = 0;
  // Slot i < DRIVE_CHG_cnt holds row i exactly as the settings file had it:
  // never empty, case kept, untrimmed. Later slots stay empty. There is one
  // slot more than rows because the loader refuses the 51st row before it
  // would store it.
  std::array<Text, kMaxRows + 1> DRIVE_letter;
  std::array<Text, kMaxRows + 1> DRIVE_realpath;

  // Appends a row. Returns false, changing nothing, when the table is full.
  bool add_row(Text letter, Text realpath);
};

// Maps `text` by the first row, in table order, that matches it. Beyond drive
// letters there are two row kinds (see network.h), both harmless to an older
// Kestrova, since their key ("/mnt/nas:\", "*:\") never occurs in a path:
// a mount-point row, whose letter text begins with "/", and the row "*,*"
// that asks the system. Rows are compared as the settings file has them,
// untrimmed.
// - a drive-letter row matches when its key, the letter followed by ":\",
//   occurs anywhere in `text`: that first occurrence of the key is blanked,
//   the text trimmed, and the row's network path put in front of it;
// - a mount-point row matches when the trimmed text is its mount point or
//   lies below it (mount_row_edit; never with a Windows flavour);
// - the row "*,*" matches when the system maps the trimmed text
//   (system_mount_edit over mounts->network_mounts()). The system is asked
//   only when the edit reaches such a row with a text that may lie on a
//   mount (may_lie_on_a_mount), and then once per call, or once for all the
//   calls that share a NetworkMountsOnce; a null `mounts` maps nothing.
// Without a matching row the result is the trimmed text. Throws only what
// `mounts` throws.
Text DRIVE_CHG_edit(const DriveTable& table, const Text& text, const NetworkMounts* mounts = nullptr,
                    PathFlavour flavour = kNativePathFlavour);
// The same, for each path of a drop: all of them share the one answer.
Text DRIVE_CHG_edit(const DriveTable& table, const Text& text, const NetworkMountsOnce& mounts,
                    PathFlavour flavour = kNativePathFlavour);

// Where the three live options come from. A state is on only when it is 1
// (ticked); 0 (cleared) and any other value are off. The states are asked
// for at every edit, so a change takes effect at the next.
class OptionSource {
 public:
  virtual ~OptionSource() = default;
  virtual int Check_drive() const = 0;
  virtual int Check_TAG() const = 0;
  virtual int Check_CRLF() const = 0;
};

inline constexpr TextView kCrLf = u"\r\n";

// Edits clip_text in place and returns the result (equal to clip_text
// afterwards), in this order:
//   1-3. one double quote at the very start and one at the very end become
//        spaces, then the text is trimmed;
//   4.   drive mapping (DRIVE_CHG_edit with `mounts`), when the table has
//        rows and Check_drive is 1;
//   5.   "<" and ">" around it, when Check_TAG is 1;
//   6.   CR LF, always when cur_idx differs from max_idx (not the last entry
//        of the caller's sequence), else only when Check_CRLF is 1.
// An empty text stays empty before the tags and the line break.
Text EDIT_CLIP(Text& clip_text, std::size_t cur_idx, std::size_t max_idx, const DriveTable& table,
               const OptionSource& options, const NetworkMounts* mounts = nullptr);

// One selected list entry: its index in the list and its text.
struct SelectedEntry {
  std::size_t index;
  Text text;
};

// The clipboard text for a click on the list: every selected entry, edited by
// EDIT_CLIP with its own index and the index of the list's last entry
// (entry_count - 1), joined in the order given, which is list order. Linear
// in the total size. `mounts` is asked at most once for the whole selection.
Text clip_text_for_selection(const std::vector<SelectedEntry>& selected, std::size_t entry_count,
                             const DriveTable& table, const OptionSource& options,
                             const NetworkMounts* mounts = nullptr);

}  // namespace kestrova
