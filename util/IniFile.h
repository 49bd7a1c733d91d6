#pragma once
// INI text as Windows' profile functions read it, edited one line at a time so that a file shared
// with other programs keeps every byte that is not ours.
//
// Reading: sections and keys match case-insensitively (ASCII); blanks around names, around '='
// and at the ends of values are dropped; lines whose first non-blank is ';' are comments; the
// value is the rest of the line, literally (';' and '\' included). LF or CRLF line ends, a UTF-8
// BOM at the start skipped. The first matching key of the first matching section is the one.
// A key with blanks is also found under the spelling older releases wrote, with %20 for each
// blank ("About%20ZenivorTop"), when its own spelling is not there.

#include <optional>
#include <string>
#include <string_view>

namespace zenivor::ini {

// What this program reads as an INI file and may rewrite: valid UTF-8 without NUL bytes.
bool IsText(std::string_view bytes);

// The value of key in section, if the text has one.
std::optional<std::string> Lookup(std::string_view text, std::string_view section, std::string_view key);

// The text with key in section set to value:
// - a key already there has its line replaced by "key=value" (its line end kept); the text
//   comes back unchanged when the value is already the one stored under the key's own spelling;
// - a key found only under its %20 spelling has that line rewritten with the key as given;
// - a missing key goes on a new line after the last key line of its section (right after the
//   section's header when it has none), ahead of any blank or comment lines that follow;
// - a missing section goes at the end of the text with the key, after a line end of its own
//   when the text does not end with one.
// New line ends follow the text's first line: CRLF when it ends so, LF otherwise.
// Nothing when the section, key or value could not be read back as given: not text, a line
// break in it, blanks at its ends, a section with ']' or a key with '=' or starting with '[' or
// ';', or an empty name.
std::optional<std::string> WithValue(std::string_view text, std::string_view section, std::string_view key,
                                     std::string_view value);

}  // namespace zenivor::ini
