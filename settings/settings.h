// The settings file: where it lies, its default content, loading it at start
// (with a backup copy of every line read) and rebuilding it from that backup
// at close with the current option states.
#pragma once

#include <cstdint>

#include "clip/clip.h"
#include "settings/host.h"

namespace kestrova {

inline constexpr TextView kRedirectFileName = u"ini.ini";
inline constexpr TextView kSettingsFileName = u"kestrova.ini";
inline constexpr TextView kBackupFileName = u"kestrova.BAK";

// Exit status after one of the loader's own settings errors.
inline constexpr int kSettingsErrorStatus = 2;

// The message of a malformed drive row, exactly as shown to the user; the
// offending line follows it.
inline constexpr TextView kBadRowMessage = u"DRIVE-CHGパラメタ指定誤り";

// The folder separator used to join a redirect folder and a file name.
#ifdef _WIN32
inline constexpr TextView kFolderJoin = u"\\";
#else
inline constexpr TextView kFolderJoin = u"/";
#endif

struct SettingsFiles {
  Text File_name_ini_ini;
  Text File_name_info;
  Text File_name_bak;
};

// The options and the drive table as the settings file had them.
struct LoadedOptions {
  std::int16_t DRIVE_CHG_SET = 0;
  std::int16_t CRLF_SET = 0;
  std::int16_t TAG_SET = 0;
  DriveTable drive_table;
  // The settings file's lines as read, so that the close can tell whether
  // someone else wrote the file meanwhile.
  std::vector<std::string> lines;
};

// Settles the three file names. Without a redirect file "ini.ini" they are
// the plain relative names; with one, its first line, trimmed and not
// otherwise checked, is the folder that both files are joined to with
// `join` (a folder ending in a separator gets a second one). Throws
// FileError when the redirect file cannot be read or has no line at all.
SettingsFiles FIND_option_file(SettingsHost& host, TextView join = kFolderJoin);

// Creates the settings file with its five default lines when no ordinary
// file of that name exists. An existing file, even an empty one, is left
// alone. Throws FileError.
void MAKE_default_option(SettingsHost& host, const SettingsFiles& files);

// The five default lines, as text.
const std::vector<Text>& default_settings_lines();

// Reads the settings file, writes every line read into the backup, and
// returns the options and the drive table. Lines after an end-marker line
// ("@...") are copied to the backup but not interpreted.
// On a 51st drive row, or one whose letter or path is empty, the backup
// receives the lines read up to and including that row, the message is
// shown, and ProgramEnded(kSettingsErrorStatus) is thrown.
// Throws FileError when the settings file cannot be read or the backup not
// written; the settings file itself is never written here.
LoadedOptions get_option(SettingsHost& host, const SettingsFiles& files);

// Rebuilds the settings file from the backup: every line is written back
// byte for byte, except the option lines met before any end marker, which
// are written anew from `checks`. Option lines not met are added, in the
// order TAG-SET, CRLF-SET, DRIVE-CHG-SET: just before the end-marker line
// when there is one, else at the end. Throws FileError; the settings file is
// then unchanged.
// Given what start-up loaded (`at_start`), the rebuild from the backup only
// happens while the file still holds the lines read then. When another copy
// of the program or the user has written it since, what they wrote stays:
// only the options whose box differs from its loaded state are written into
// the file as it now is, the same way; with no such box the file is left
// alone.
void WRITE_back_option(SettingsHost& host, const SettingsFiles& files, const OptionSource& checks,
                       const LoadedOptions* at_start = nullptr);

}  // namespace kestrova
