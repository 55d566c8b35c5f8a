// Building the lines of the registry text dumps. A line with one text
// placeholder is produced by tstring::format when it fits format's 4095
// characters, and from its pieces otherwise, so that a long name or text is
// dumped whole; both give the same bytes.
#ifndef TOBRELTOOLS_REGISTRY_INTERNAL_DUMP_LINE_H_
#define TOBRELTOOLS_REGISTRY_INTERNAL_DUMP_LINE_H_

#include <cstddef>

#include "TobrelTools/string/tstring.h"

namespace tobrel {

// The longest line left to tstring::format: what its 4096-byte buffer
// holds with the NUL. Longer lines are put together here.
const std::size_t kFormatLimit = 4095;

// Appends fmt with its one "%s" replaced by the length bytes at text (which
// hold no NUL). fmt has no other conversion.
void appendTextLine(std::tstring& out, const char* fmt, const char* text, std::size_t length);

// The same for a NUL-terminated text.
void appendTextLine(std::tstring& out, const char* fmt, const char* text);

}  // namespace tobrel

#endif  // TOBRELTOOLS_REGISTRY_INTERNAL_DUMP_LINE_H_
