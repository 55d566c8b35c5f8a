// The renderings of a decoded stream file: indented text for people, JSON
// for programs and Graphviz for a picture, all written through a buffered
// Writer.
#ifndef TOBREL_CLI_DUMP_RENDER_H_
#define TOBREL_CLI_DUMP_RENDER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "cli/dump/sink.h"

namespace tobrel {
namespace cli {

class Writer;

// Text: one line per field, records nested by indentation; with `offsets`
// every line starts with the file offset of what it shows.
std::unique_ptr<DumpSink> makeTextSink(Writer& out, bool offsets);

// JSON: one document {"file", "size", "records": [...], "summary", and
// "error" when the decoding stopped}.
std::unique_ptr<DumpSink> makeJsonSink(Writer& out);

// Graphviz: one node per object record (class, index, its contents in
// short), a solid edge from each record to the records nested in it, a
// dashed blue edge for each reference, the file as the root. A file of more
// than `collapseAbove` objects has each run of more than four same-class
// siblings drawn as its first two, one node for the rest (and all below
// them), and its last; the title says so.
std::unique_ptr<DumpSink> makeDotSink(Writer& out, std::size_t collapseAbove);
const std::size_t kDotCollapseAbove = 500;

// Shared by the renderings.
const char* regTypeName(std::uint32_t type);                 // "REG_SZ", or null
const char* rootKeyName(std::uint32_t handle);               // "HKEY_CURRENT_USER", or null
// A key's last write time as "yyyy-mm-dd hh:mm:ss UTC"; empty for 0 or a
// time past the year 9999.
std::string filetimeUtc(std::uint32_t low, std::uint32_t high);
// True for the value types whose data is text (REG_SZ, REG_EXPAND_SZ,
// REG_LINK, REG_MULTI_SZ).
bool isTextType(std::uint32_t type);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_RENDER_H_
