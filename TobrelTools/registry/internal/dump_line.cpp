#include "TobrelTools/registry/internal/dump_line.h"
#include "TobrelTools/export.h"

#include <cstring>
#include <string>

TOBREL_MODULE_ID("dump_line.cpp", "2026.12.05");

namespace tobrel {

void appendTextLine(std::tstring& out, const char* fmt, const char* text, std::size_t length) {
  const char* slot = std::strstr(fmt, "%s");
  std::size_t fmtLength = std::strlen(fmt);
  if (fmtLength - 2 + length <= kFormatLimit) {
    std::string arg(text, length);  // format needs the text NUL-terminated
    std::tstring line;
    line.format(fmt, arg.c_str());
    out.append(line.data(), line.size());
    return;
  }
  out.append(fmt, static_cast<std::size_t>(slot - fmt));
  out.append(text, length);
  out.append(slot + 2);
}

void appendTextLine(std::tstring& out, const char* fmt, const char* text) {
  appendTextLine(out, fmt, text, std::strlen(text));
}

}  // namespace tobrel
