// Text primitives of Kestrova: the text model, picking fields out of a line,
// searching backwards, and splitting a path into folder, base name and
// extension.
//
// Texts are sequences of UTF-16 code units. Positions are 1-based and counted
// in code units; every comparison is an exact comparison of code units (no
// case folding, no locale). Positions and lengths are std::size_t: there is
// no 16-bit ceiling anywhere, a text of any length works.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

using Text = std::u16string;
using TextView = std::u16string_view;

// The characters that end a folder in a path: the backslash on Windows, the
// slash on POSIX systems, where a backslash is an ordinary character of a
// file name (a\b.txt is one name).
inline constexpr TextView kWindowsPathSeparators = u"\\";
inline constexpr TextView kPosixPathSeparators = u"/";
#ifdef _WIN32
inline constexpr TextView kPathSeparators = kWindowsPathSeparators;
#else
inline constexpr TextView kPathSeparators = kPosixPathSeparators;
#endif

// Removes leading and trailing U+0020 only; tabs, line breaks and the
// ideographic space U+3000 stay.
Text trim(TextView text);

// Upper-cases the ASCII letters a-z and leaves every other code unit alone.
// Everything the settings file matches after upper-casing is ASCII.
Text upper_ascii(TextView text);

// Reads one field: the text of in_str from position pos up to (not
// including) the first occurrence of skey at or after pos, and moves pos
// behind the key by the key's trimmed length, so that repeated calls with the
// same pos walk through a line field by field.
// - A key that is empty or only spaces stands for one space: skey is then set
//   to u" " (the only time skey is written) and the advance is 1.
// - The key is searched as it stands, its own spaces included; the advance
//   does not count them (after " .." found at m, pos becomes m + 2).
// - When the key does not occur at or after pos (also for an empty in_str or
//   a pos beyond its end), the result is empty and pos is left unchanged.
// Throws std::invalid_argument when pos is 0.
Text Text_pick(TextView in_str, Text& skey, std::size_t& pos);

// The 1-based position where the last occurrence of srch_str in in_str
// starts (occurrences may overlap), or 0 when there is none. An empty
// srch_str matches at the last position of a non-empty in_str.
std::size_t B_Instr(TextView in_str, TextView srch_str);

// Splits a path at its last separator (any code unit of `separators`):
// out_file becomes the trimmed text after it, then out_path the text before
// it (untrimmed, separator excluded). A path without a separator leaves both
// outputs as the caller had them.
void Phase_PATH(TextView inp_path_file, Text& out_path, Text& out_file,
                TextView separators = kPathSeparators);

// Splits a file name, trimmed first, at its last dot: out_kaku is the text
// after the dot, out_file the text before it (not trimmed again, so a space
// before the dot stays). Without a dot out_file is the trimmed name and
// out_kaku is empty. Both outputs are always written.
void Phase_file_name(TextView inp_file, Text& out_file, Text& out_kaku);

// UTF-8 conversions for the boundary to files and the platform. On Linux a
// file name, an argument or a line of the settings file is bytes, and any
// bytes must come back as they were: decoding never loses anything. Each
// byte that is no part of valid UTF-8 becomes the lone surrogate
// U+DC80-U+DCFF (0xE9 -> U+DCE9), which encoding turns back into that byte,
// so to_utf8(from_utf8(b)) == b for every b. Such text shows as U+FFFD in
// the window, but copies and files get the bytes. Other lone surrogates
// (only a Windows name can hold them, and Windows never goes through UTF-8
// with it) are encoded as U+FFFD.
Text from_utf8(std::string_view bytes);
std::string to_utf8(TextView text);

}  // namespace kestrova
