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

// The text as the contents of a JSON string (without the quotes), appended
// to `out`. Bytes outside a defined character become U+FFFD; the result is
// true when nothing was replaced, that is when the JSON text stands for the
// bytes exactly.
bool appendJsonText(const char* data, std::size_t size, std::string& out);

// Any UTF-8 text (names, messages) as the contents of a JSON string.
void appendJsonEscaped(const std::string& utf8, std::string& out);

// The bytes as hexadecimal pairs, upper case, separated by `separator` (none
// when it is 0).
std::string hexBytes(const void* data, std::size_t size, char separator);

// The same two forms for a text stored as 16-bit units (UTF-16). Units that
// are not a character (a lone surrogate) and control characters are escaped
// as \uXXXX in both forms.
std::string quoteWide(const std::u16string& units);
void appendJsonWide(const std::u16string& units, std::string& out);

// UTF-8 form of one code point.
void appendUtf8(char32_t cp, std::string& out);

// The Unicode character of one code page 932 character of 1 or 2 bytes that
// is outside ASCII, or 0 when code page 932 defines none. Uses the library's
// own conversion.
char32_t cp932ToUnicode(const unsigned char* bytes, std::size_t size);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_TEXT_ESCAPE_H_
