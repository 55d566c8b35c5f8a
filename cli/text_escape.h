// How the bytes of a stored text (a tstring, the data of a text value) are
// shown by the tool. Stored texts are code page 932: ASCII, single-byte
// katakana (A1-DF) and double-byte characters (a lead byte 81-9F or E0-FC and
// a trail byte 40-7E or 80-FC). The tool writes UTF-8: every character that
// code page 932 defines is shown as itself; control bytes and bytes that do
// not form a defined character are escaped, so that the output shows every
// byte of the text without loss.
#ifndef TOBREL_CLI_TEXT_ESCAPE_H_
#define TOBREL_CLI_TEXT_ESCAPE_H_

#include <cstddef>
#include <string>

namespace tobrel {
namespace cli {

// The text in double quotes with C-style escapes: \\ \" \n \r \t \0 and \xNN
// for any other control byte, for DEL and for bytes outside a defined
// character.
std::string quoteText(const char* data, std::size_t size);
inline std::string quoteText(const std::string& s) { return quoteText(s.data(), s.size()); }

// A whole text for a terminal (the text dumps of 'reg show'): characters as
// UTF-8, line feeds and tabs as they are, other control bytes and bytes
// outside a defined character as \xNN, as quoteText shows them.
std::string displayText(const char* data, std::size_t size);
inline std::string displayText(const std::string& s) { return displayText(s.data(), s.size()); }

// The text in UTF-8, for JSON: every character as itself, control bytes
// included (the JSON writer escapes them), and U+FFFD for each byte outside
// a defined character. `exact` (when not null) is set to false when a byte
// was so replaced.
std::string cp932ToUtf8(const char* data, std::size_t size, bool* exact);

// The bytes as hexadecimal pairs, upper case, separated by `separator` (none
// when it is 0).
std::string hexBytes(const void* data, std::size_t size, char separator);

// A text stored as 16-bit units (UTF-16): quoted as quoteText quotes, with
// units that are not a character (a lone surrogate) and control characters
// escaped as \uXXXX.
std::string quoteWide(const std::u16string& units);

// The units in UTF-8, for JSON; a lone surrogate becomes U+FFFD and sets
// `exact` (when not null) to false.
std::string utf16ToUtf8(const std::u16string& units, bool* exact);

// UTF-8 form of one code point.
void appendUtf8(char32_t cp, std::string& out);

// The Unicode character of one code page 932 character of 1 or 2 bytes that
// is outside ASCII, or 0 when code page 932 defines none. Uses the library's
// own conversion.
char32_t cp932ToUnicode(const unsigned char* bytes, std::size_t size);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_TEXT_ESCAPE_H_
