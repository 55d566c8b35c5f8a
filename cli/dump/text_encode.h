// The way back from the tool's UTF-8 forms of stored texts (see
// cli/text_escape.h) to the stored bytes and units: what undump writes for a
// text someone may have edited.
#ifndef TOBREL_CLI_DUMP_TEXT_ENCODE_H_
#define TOBREL_CLI_DUMP_TEXT_ENCODE_H_

#include <string>

namespace tobrel {
namespace cli {

// The code page 932 bytes of UTF-8 text. Refuses (false, with the reason in
// `error`) malformed UTF-8 and any character that code page 932 cannot hold
// exactly, so that the bytes always read back as the text given; U+FFFD,
// which the tool shows for bytes outside a defined character, has no code
// either.
bool utf8ToCp932(const std::string& utf8, std::string& out, std::string& error);

// The UTF-16 units of UTF-8 text; false with the reason for malformed UTF-8.
bool utf8ToUtf16(const std::string& utf8, std::u16string& out, std::string& error);

// The bytes of hexadecimal pairs ("0AFF"; case does not matter); false for
// an odd count or a character that is not a hexadecimal digit.
bool parseHexBytes(const std::string& hex, std::string& out);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_TEXT_ENCODE_H_
