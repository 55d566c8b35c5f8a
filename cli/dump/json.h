// The JSON library of the tool, for the documents that dump writes and
// undump reads: one library for both directions, so that what one writes
// the other takes as it was meant.
#ifndef TOBREL_CLI_DUMP_JSON_H_
#define TOBREL_CLI_DUMP_JSON_H_

#include <string>

#include <nlohmann/json.hpp>

namespace tobrel {
namespace cli {

using Json = nlohmann::json;

// A JSON string token (quotes included) for UTF-8 text; a byte sequence
// that is not UTF-8 (a file name, say) becomes U+FFFD rather than an
// invalid document.
inline std::string jsonQuoted(const std::string& utf8) {
  return Json(utf8).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_JSON_H_
