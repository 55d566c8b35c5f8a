// Application classes for dump, undump and --dot: a schema file declares,
// per class id, a class name and the contents its saveContents writes, so
// that files made of an application's own classes decode as the library's
// do. docs/dump-schema.md describes the file.
//
// A field is one of
//   a primitive of the streams' twelve types (fixed width, little-endian);
//   an object record read into a member of a given class (held by value);
//   a link: the pointer form, an object record or a reference to an earlier
//     object, optionally present only when an earlier bool (or integer)
//     field is not 0;
//   a repetition of fields, as many times as an earlier integer field says.
#ifndef TOBREL_CLI_DUMP_SCHEMA_H_
#define TOBREL_CLI_DUMP_SCHEMA_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tobrel {
namespace cli {

enum class Primitive { kChar, kDouble, kFloat, kInt, kLong, kShort, kBool, kUChar, kUShort, kUInt, kULong, kInt64 };

// "int", "unsigned short", "__int64" ...; false for any other name.
bool primitiveByName(const std::string& name, Primitive& out);
const char* primitiveName(Primitive p);
std::size_t primitiveWidth(Primitive p);

// An earlier field whose value another field uses: `up` lists out from the
// list of the field that uses it (0 its own list), `index` in that list.
struct FieldRef {
  int up = -1;  // -1: none
  int index = 0;
};

struct SchemaField {
  enum Kind { kPrimitive, kObject, kLink, kRepeat };
  Kind kind = kPrimitive;
  std::string name;
  Primitive type = Primitive::kInt;  // kPrimitive
  unsigned short memberClass = 0;    // kObject: the member's class
  FieldRef condition;                // kLink: the flag that says it is there
  FieldRef count;                    // kRepeat: the count
  std::vector<SchemaField> contents; // kRepeat: one item
};

struct SchemaClass {
  unsigned short id = 0;
  std::string name;
  std::vector<SchemaField> contents;
};

class Schema {
 public:
  // Reads and checks a schema file; throws std::runtime_error with the
  // JSON location and the reason.
  static Schema load(const std::string& path);
  static Schema parse(const std::string& jsonText);

  const SchemaClass* find(unsigned short id) const;
  const SchemaClass* findByName(const std::string& name) const;
  bool empty() const { return classes_.empty(); }

 private:
  std::map<unsigned short, SchemaClass> classes_;
};

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DUMP_SCHEMA_H_
