// The stream file decoder behind `tobrel dump`: walks the object and
// reference records of a stream file, decodes the contents of the library's
// own classes, and reports everything to a DumpSink.
//
// It follows the reader's rules: objects get their indices in the order in
// which their records begin (members and list elements included), a
// reference resolves to an earlier index, and members held by value (a
// key's name, a tree's top key) are decoded as their member's class whatever
// class id the record carries. The whole file is taken as one serialization
// pass: the records after the first continue its indices, as a reader that
// reads them one after another without starting a new pass sees them.
//
// Record contents carry no length, so a class id that the decoder does not
// know ends the decoding; so does any damage. A schema (cli/dump/schema.h)
// makes application classes known; a record that does not match its
// class's declaration stops the decoding like damage. The report then ends with
// DumpSink::error, giving the offset and the reason (the library's own
// message where the library would fail for the same reason).
#ifndef TOBREL_CLI_DUMP_DECODER_H_
#define TOBREL_CLI_DUMP_DECODER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/dump/schema.h"
#include "cli/dump/sink.h"

class fvistream;

namespace tobrel {
namespace cli {

class Progress;

// The name of one of the library's persistable classes, or null.
const char* knownClassName(unsigned short classId);

class DumpDecoder {
 public:
  // Records nested deeper than this stop the decoding (a damaged or hostile
  // file must not exhaust the stack). Registry keys nest at most 512 deep.
  static const int kMaxDepth = 1024;

  // `schema` (may be null) must outlive the decoder.
  DumpDecoder(fvistream& in, DumpSink& sink, const Schema* schema = nullptr);

  // The name of a class of the library or of the schema, or null.
  const char* className(unsigned short classId) const;

  // Shows a progress line while decoding a file of `fileSize` bytes.
  void setProgress(Progress* progress, std::uint64_t fileSize);

  // Decodes the whole file; false when the decoding stopped at an error
  // (already reported to the sink).
  bool run(const std::string& path, std::uint64_t fileSize);

  // After run() returned false: "offset N: reason".
  const std::string& stopMessage() const { return stopMessage_; }

 private:
  struct Stop {
    std::uint64_t offset;
    std::string message;
  };

  // Reads one record; `member` is the class of the member the record is read
  // into, 0 when it is read into a new object (top level, list element).
  // `element` is the record's position in a key's list, -1 elsewhere.
  // Returns false only at a clean end of file before a top-level record.
  bool record(const char* label, unsigned short member, int depth, bool topLevel, std::int32_t element = -1);
  void contents(unsigned short classId, const ObjectInfo& info, const char* label, int depth);
  void textContents(const char* label, const ObjectInfo& info);
  void keyContents(int depth);
  void valueContents(int depth);
  void treeContents(int depth);
  // The fields of an application class; `frames` holds the values of the
  // lists being read, for the counts and conditions of later fields.
  void schemaFields(const SchemaClass& cls, const std::vector<SchemaField>& list,
                    std::vector<std::vector<std::int64_t>>& frames, int depth);
  std::int64_t earlier(const std::vector<std::vector<std::int64_t>>& frames, const FieldRef& ref) const;

  char readChar(const char* what);
  unsigned short readU16(const char* what);
  std::int32_t readI32(const char* what);
  std::uint32_t readU32(const char* what);
  [[noreturn]] void readFailed(const char* what, std::uint64_t at, std::size_t width);
  void tick();

  fvistream& in_;
  DumpSink& sink_;
  const Schema* schema_;
  std::uint64_t offset_;
  std::uint64_t fileSize_;
  std::vector<unsigned short> objects_;  // class of each recorded object, by index
  std::uint64_t records_;
  std::uint64_t references_;
  Progress* progress_;
  std::uint64_t ticks_;
  std::string stopMessage_;
};

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_DECODER_H_
