#include "settings/settings.h"

#include <array>
#include <optional>

namespace kestrova {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The three option keys, in the order in which missing ones are added.
struct OptionKey {
  TextView name;
  std::int16_t LoadedOptions::*flag;
  int (OptionSource::*check)() const;
};

constexpr std::array<OptionKey, 3> kOptionKeys{{
    {u"TAG-SET", &LoadedOptions::TAG_SET, &OptionSource::Check_TAG},
    {u"CRLF-SET", &LoadedOptions::CRLF_SET, &OptionSource::Check_CRLF},
    {u"DRIVE-CHG-SET", &LoadedOptions::DRIVE_CHG_SET, &OptionSource::Check_drive},
}};

constexpr TextView kDriveRowKey = u"DRIVE-CHG";
constexpr TextView kTooManyRowsMessage = u"DRIVE-CHGパラメタオーバー　max=";
constexpr TextView kYes = u"YES";

// A line as the loader and the rewrite see it. A comment (".") or blank line
// needs no mark of its own: no name begins with "." and none is empty.
struct ParsedLine {
  bool end_marker = false;
  Text trimmed;
  Text name;   // trimmed and upper-cased; empty without "="
  Text value;  // trimmed, up to the first " .." behind the "="
};

std::string_view without_bom(std::string_view raw, bool first_line) {
  if (first_line && raw.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    raw.remove_prefix(kUtf8Bom.size());
  }
  return raw;
}

ParsedLine parse_line(const SettingsHost& host, std::string_view raw, bool first_line) {
  ParsedLine line;
  line.trimmed = trim(host.decode(without_bom(raw, first_line)));
  if (line.trimmed.empty()) {
    return line;
  }
  line.end_marker = line.trimmed.front() == u'@';
  const Text working = line.trimmed + u" ..";
  std::size_t pos = 1;
  Text equals = u"=";
  Text note = u" ..";
  line.name = upper_ascii(trim(Text_pick(working, equals, pos)));
  line.value = trim(Text_pick(working, note, pos));
  return line;
}

const OptionKey* find_option_key(const Text& name) {
  for (const auto& key : kOptionKeys) {
    if (name == key.name) {
      return &key;
    }
  }
  return nullptr;
}

Text option_line(const OptionKey& key, const OptionSource& checks) {
  return Text(key.name) + u"=" + ((checks.*key.check)() == 1 ? u"YES" : u"NO");
}

// Shows a settings error and ends the program. The backup keeps the lines
// read so far, up to the offending one, as a record of what stopped the load.
[[noreturn]] void stop_loading(SettingsHost& host, const SettingsFiles& files,
                               const std::vector<std::string>& backup, const Text& message) {
  host.write_lines(files.File_name_bak, backup);
  host.show_message(message);
  throw ProgramEnded(kSettingsErrorStatus);
}

}  // namespace

const std::vector<Text>& default_settings_lines() {
  static const std::vector<Text> lines{
      u". 以下のようにネットワークドライブ（以下の例ではXドライブ）のパスを変更できる。DRIVE-CHG行は50個まで指定可能",
      u"DRIVE-CHG=X,\\\\realpath\\",
      u"DRIVE-CHG-SET=YES",
      u"CRLF-SET=YES",
      u"TAG-SET=YES",
  };
  return lines;
}

SettingsFiles FIND_option_file(SettingsHost& host, TextView join) {
  SettingsFiles files{Text(kRedirectFileName), Text(kSettingsFileName), Text(kBackupFileName)};
  if (!host.file_exists(files.File_name_ini_ini)) {
    return files;
  }
  const auto lines = host.read_lines(files.File_name_ini_ini);
  if (lines.empty()) {
    throw FileError("cannot read " + to_utf8(host.resolve(files.File_name_ini_ini)) +
                    ": the file is empty; its first line must name the settings folder");
  }
  const Text folder = trim(host.decode(without_bom(lines.front(), true)));
  files.File_name_info = folder + Text(join) + Text(kSettingsFileName);
  files.File_name_bak = folder + Text(join) + Text(kBackupFileName);
  return files;
}

void MAKE_default_option(SettingsHost& host, const SettingsFiles& files) {
  if (host.file_exists(files.File_name_info)) {
    return;
  }
  std::vector<std::string> lines;
  for (const auto& line : default_settings_lines()) {
    lines.push_back(host.encode(line));
  }
  host.write_lines(files.File_name_info, lines);
}

LoadedOptions get_option(SettingsHost& host, const SettingsFiles& files) {
  LoadedOptions loaded;
  const auto lines = host.read_lines(files.File_name_info);
  std::vector<std::string> backup;
  backup.reserve(lines.size());
  bool interpreting = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    backup.push_back(lines[i]);
    if (!interpreting) {
      continue;
    }
    const ParsedLine line = parse_line(host, lines[i], i == 0);
    if (line.name == kDriveRowKey) {
      if (loaded.drive_table.DRIVE_CHG_cnt >= DriveTable::kMaxRows) {
        stop_loading(host, files, backup,
                     Text(kTooManyRowsMessage) + from_utf8(std::to_string(DriveTable::kMaxRows)));
      }
      const Text row = line.value + u",";
      std::size_t pos = 1;
      Text comma = u",";
      Text letter = Text_pick(row, comma, pos);
      Text path = letter.empty() ? Text() : Text_pick(row, comma, pos);
      if (letter.empty() || path.empty()) {
        stop_loading(host, files, backup, Text(kBadRowMessage) + line.trimmed);
      }
      loaded.drive_table.add_row(std::move(letter), std::move(path));
    } else if (const OptionKey* key = find_option_key(line.name)) {
      loaded.*key->flag = line.value == kYes ? 1 : 0;
    }
    if (line.end_marker) {
      interpreting = false;
    }
  }
  host.write_lines(files.File_name_bak, backup);
  loaded.lines = std::move(backup);
  return loaded;
}

namespace {

using KeyMask = std::array<bool, kOptionKeys.size()>;

// `lines` with the option lines of the keys in `rewrite` written anew from
// `checks`, and those of them not met added.
std::vector<std::string> rebuilt(const SettingsHost& host, const std::vector<std::string>& lines,
                                 const OptionSource& checks, const KeyMask& rewrite) {
  std::vector<std::string> out;
  out.reserve(lines.size() + kOptionKeys.size());
  std::array<bool, kOptionKeys.size()> met{};
  std::optional<std::size_t> end_marker_at;
  const bool has_bom = !lines.empty() && lines.front().size() != without_bom(lines.front(), true).size();

  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (end_marker_at) {
      out.push_back(lines[i]);
      continue;
    }
    const ParsedLine line = parse_line(host, lines[i], i == 0);
    const OptionKey* key = find_option_key(line.name);
    const std::size_t k = key == nullptr ? 0 : static_cast<std::size_t>(key - kOptionKeys.data());
    if (key == nullptr || !rewrite[k]) {
      out.push_back(lines[i]);
    } else {
      met[k] = true;
      out.push_back((i == 0 && has_bom ? std::string(kUtf8Bom) : std::string()) +
                    host.encode(option_line(*key, checks)));
    }
    if (line.end_marker) {
      end_marker_at = out.size() - 1;
    }
  }

  std::vector<std::string> missing;
  for (std::size_t k = 0; k < kOptionKeys.size(); ++k) {
    if (rewrite[k] && !met[k]) {
      missing.push_back(host.encode(option_line(kOptionKeys[k], checks)));
    }
  }
  if (end_marker_at) {
    // Lines behind the end marker are never read, so missing option lines go
    // in front of it, where the next start will find them.
    if (*end_marker_at == 0 && has_bom && !missing.empty()) {
      out.front().erase(0, kUtf8Bom.size());
      missing.front().insert(0, kUtf8Bom);
    }
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(*end_marker_at), missing.begin(),
               missing.end());
  } else {
    out.insert(out.end(), missing.begin(), missing.end());
  }
  return out;
}

}  // namespace

void WRITE_back_option(SettingsHost& host, const SettingsFiles& files, const OptionSource& checks,
                       const LoadedOptions* at_start) {
  KeyMask rewrite;
  rewrite.fill(true);
  if (at_start != nullptr) {
    const std::vector<std::string> now = host.file_exists(files.File_name_info)
                                             ? host.read_lines(files.File_name_info)
                                             : std::vector<std::string>{};
    if (now != at_start->lines) {
      // Rebuilt from the backup, the file would lose what was written since;
      // this copy adds only what its own user changed.
      bool any = false;
      for (std::size_t k = 0; k < kOptionKeys.size(); ++k) {
        rewrite[k] = ((checks.*kOptionKeys[k].check)() == 1) != (at_start->*kOptionKeys[k].flag == 1);
        any = any || rewrite[k];
      }
      if (any) {
        host.write_lines(files.File_name_info, rebuilt(host, now, checks, rewrite));
      }
      return;
    }
  }
  host.write_lines(files.File_name_info,
                   rebuilt(host, host.read_lines(files.File_name_bak), checks, rewrite));
}

}  // namespace kestrova
