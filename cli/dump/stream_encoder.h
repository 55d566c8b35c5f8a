// Writes a stream file back from the JSON document that `tobrel dump --json`
// prints: the reverse of DumpDecoder with the JSON rendering. A document
// printed by dump gives back the dumped file byte for byte; an edited one
// gives the file that reads back as edited (docs/dump-json.md has the rules
// for what may be left out or changed).
//
// A document that describes no readable file is refused with the JSON
// location (a JSON pointer such as /records/0/elements/2/data) and the
// reason; nothing is written then.
#ifndef TOBREL_CLI_DUMP_STREAM_ENCODER_H_
#define TOBREL_CLI_DUMP_STREAM_ENCODER_H_

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

#include "cli/dump/json.h"
#include "cli/dump/schema.h"

namespace tobrel {
namespace cli {

// The refusal: `where` is a JSON pointer, or "line L, column C" for JSON
// that does not parse.
struct EncodeError : std::runtime_error {
  EncodeError(const std::string& where, const std::string& reason)
      : std::runtime_error(where + ": " + reason), where(where), reason(reason) {}
  std::string where;
  std::string reason;
};

class StreamEncoder {
 public:
  // `schema` (may be null) declares application classes; it must outlive
  // the encoder.
  explicit StreamEncoder(const Schema* schema = nullptr) : schema_(schema) {}

  // The file bytes for a parsed document; throws EncodeError.
  std::string encode(const Json& document);

  // Parses JSON text first; a syntax error is an EncodeError too.
  std::string encodeText(const std::string& jsonText);

 private:
  void record(const Json& j, const std::string& path, unsigned short member, int depth, std::int32_t element);
  void textContents(const Json& j, const std::string& path);
  void keyContents(const Json& j, const std::string& path, int depth);
  void valueContents(const Json& j, const std::string& path, int depth);
  void treeContents(const Json& j, const std::string& path, int depth);
  void schemaFields(const std::vector<SchemaField>& list, const Json& fields, const std::string& path,
                    std::vector<std::vector<std::int64_t>>& frames, int depth);
  const char* className(unsigned short classId) const;
  // A member held by value; `required` members may not be left out, others
  // default to an empty record of the member's class.
  void member(const Json& j, const std::string& path, const char* key, unsigned short classId, int depth,
              bool required);

  void put8(unsigned v) { out_ += static_cast<char>(v); }
  void put16(unsigned v) { put8(v & 0xFF); put8(v >> 8 & 0xFF); }
  void put32(std::uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); }

  const Schema* schema_;
  std::string out_;
  std::uint32_t objects_ = 0;
  std::map<std::uint32_t, std::uint32_t> labels_;  // "index" in the document -> index in the file
};

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_STREAM_ENCODER_H_
