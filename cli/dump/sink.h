// What the stream file decoder reports, in file order, and the interface of
// the two renderings (text and JSON) that turn the reports into output.
#ifndef TOBREL_CLI_DUMP_SINK_H_
#define TOBREL_CLI_DUMP_SINK_H_

#include <cstdint>
#include <string>

#include "cli/dump/schema.h"

namespace tobrel {
namespace cli {

// An object record: ':' class-id '{' contents '}'.
struct ObjectInfo {
  std::uint64_t offset;   // of the ':'
  std::uint32_t index;    // its index among the objects of the file (what '@' refers to)
  unsigned short classId; // as stored in the record
  const char* className;  // of the class whose contents were decoded
  // True when the record is read into an existing member, so that its
  // stored class id is not used; `className` then names the member's class.
  bool idIgnored;
};

// A reference record: '@' index.
struct ReferenceInfo {
  std::uint64_t offset;
  std::int32_t index;
  unsigned short targetClassId;
  const char* targetClassName;
};

// A decoded text (a tstring's contents).
struct TextInfo {
  std::int32_t flag;     // the stored encoding flag: 0 bytes, anything else units
  bool wide;             // stored as 16-bit units (the library writes bytes)
  std::int32_t count;    // the stored length: bytes, or units when wide
  std::string bytes;     // narrow: the bytes
  std::u16string units;  // wide: the units
};

// Receives the decoded structure. Every record opened with beginObject is
// closed with endObject, except after error(), which ends the report.
// `label` is the member the record stands for ("name", "subkey"), or null
// for a top-level record or an element of a key's list.
class DumpSink {
 public:
  virtual ~DumpSink() {}
  virtual void beginFile(const std::string& path, std::uint64_t size) = 0;
  virtual void beginObject(const char* label, const ObjectInfo& object) = 0;
  virtual void endObject(std::uint64_t offset) = 0;  // offset of the '}'
  virtual void reference(const char* label, const ReferenceInfo& ref) = 0;
  // A whole tstring record, reported at once.
  virtual void text(const char* label, const ObjectInfo& object, const TextInfo& text) = 0;
  // The fields inside a record.
  virtual void leadingWord(std::uint64_t offset, std::int32_t value) = 0;
  virtual void rootKey(std::uint64_t offset, std::uint32_t handle) = 0;
  virtual void lastWrite(std::uint64_t offset, std::uint32_t low, std::uint32_t high) = 0;
  virtual void valueType(std::uint64_t offset, std::uint32_t type) = 0;
  virtual void valueData(std::uint64_t offset, std::uint32_t type, const std::string& data) = 0;
  // A key's element count; the elements follow as records without a label,
  // then endElements.
  virtual void beginElements(std::uint64_t offset, std::int32_t count) = 0;
  virtual void endElements() = 0;
  // The contents of an application class declared in a schema: its fields
  // between beginFields and endFields, a repetition's items between
  // beginRepeat and endRepeat, each between beginItem and endItem. Nested
  // records come as records labelled with their field's name.
  virtual void beginFields() = 0;
  virtual void endFields() = 0;
  virtual void field(std::uint64_t offset, const char* name, Primitive type, std::uint64_t bits) = 0;
  virtual void beginRepeat(std::uint64_t offset, const char* name, std::int64_t count) = 0;
  virtual void beginItem(std::uint64_t offset, std::int64_t index) = 0;
  virtual void endItem() = 0;
  virtual void endRepeat() = 0;
  // The decoding stopped at `offset`; nothing follows but endFile.
  virtual void error(std::uint64_t offset, const std::string& message) = 0;
  // The end: how many top-level records, objects and references were read.
  virtual void endFile(std::uint64_t records, std::uint64_t objects, std::uint64_t references,
                       std::uint64_t bytes) = 0;
};

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_SINK_H_
