#include "cli/dump/schema.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TobrelTools/export.h"
#include "cli/dump/decoder.h"
#include "cli/dump/json.h"

TOBREL_MODULE_ID("schema.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

const char* const kPrimitiveNames[] = {"char",          "double",         "float",        "int",
                                       "long",          "short",          "bool",         "unsigned char",
                                       "unsigned short", "unsigned int", "unsigned long", "__int64"};
const std::size_t kWidths[] = {1, 8, 4, 4, 4, 2, 1, 1, 2, 4, 4, 8};

[[noreturn]] void refuse(const std::string& where, const std::string& reason) {
  throw std::runtime_error(where + ": " + reason);
}

// The fields of the lists being read, innermost last, to resolve the names
// of counts and conditions to earlier fields.
typedef std::vector<const std::vector<SchemaField>*> Scopes;

// A count must be an integer field; a condition may also be a bool (a link
// is there when the field is not 0).
FieldRef resolve(const Scopes& scopes, const std::string& name, const std::string& where, bool condition) {
  for (std::size_t up = 0; up < scopes.size(); ++up) {
    const std::vector<SchemaField>& list = *scopes[scopes.size() - 1 - up];
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].name != name) continue;
      const SchemaField& f = list[i];
      bool integer = f.kind == SchemaField::kPrimitive && f.type != Primitive::kDouble &&
                     f.type != Primitive::kFloat && (condition || f.type != Primitive::kBool);
      if (!integer) refuse(where, "'" + name + "' is not " + (condition ? "a bool or integer field" : "an integer field"));
      FieldRef ref;
      ref.up = static_cast<int>(up);
      ref.index = static_cast<int>(i);
      return ref;
    }
  }
  refuse(where, "no earlier field '" + name + "'");
}

const std::string& stringField(const Json& j, const char* key, const std::string& where) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_string()) refuse(where + "/" + key, "expected a string");
  return it->get_ref<const std::string&>();
}

class Reader {
 public:
  explicit Reader(const std::map<std::string, unsigned short>& ids) : ids_(ids) {}

  void fields(const Json& list, const std::string& where, std::vector<SchemaField>& out, Scopes& scopes) {
    if (!list.is_array()) refuse(where, "expected an array of fields");
    scopes.push_back(&out);
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string at = where + "/" + std::to_string(i);
      const Json& j = list[i];
      if (!j.is_object()) refuse(at, "expected a field (an object)");
      SchemaField f;
      f.name = stringField(j, "name", at);
      for (const SchemaField& earlier : out) {
        if (earlier.name == f.name) refuse(at + "/name", "'" + f.name + "' is declared twice");
      }
      if (j.contains("type")) {
        f.kind = SchemaField::kPrimitive;
        const std::string& type = stringField(j, "type", at);
        if (!primitiveByName(type, f.type)) refuse(at + "/type", "not one of the twelve primitive types: " + type);
      } else if (j.contains("object")) {
        f.kind = SchemaField::kObject;
        const std::string& cls = stringField(j, "object", at);
        auto id = ids_.find(cls);
        if (id == ids_.end()) refuse(at + "/object", "no class named '" + cls + "' (library or schema)");
        f.memberClass = id->second;
      } else if (j.contains("link")) {
        f.kind = SchemaField::kLink;
        if (!j["link"].is_boolean() || !j["link"].get<bool>()) refuse(at + "/link", "expected true");
        if (j.contains("if")) f.condition = resolve(scopes, stringField(j, "if", at), at + "/if", true);
      } else if (j.contains("repeat")) {
        f.kind = SchemaField::kRepeat;
        f.count = resolve(scopes, stringField(j, "repeat", at), at + "/repeat", false);
        auto contents = j.find("contents");
        if (contents == j.end()) refuse(at + "/contents", "missing");
        fields(*contents, at + "/contents", f.contents, scopes);
        // Every item then takes at least one byte, so a hostile count can
        // never make the decoder loop without reading.
        bool reads = false;
        for (const SchemaField& c : f.contents) reads = reads || c.kind != SchemaField::kRepeat;
        if (!reads) refuse(at + "/contents", "a repeated item needs a field that is not a repetition");
      } else {
        refuse(at, "a field needs \"type\", \"object\", \"link\" or \"repeat\"");
      }
      out.push_back(std::move(f));
    }
    scopes.pop_back();
  }

 private:
  const std::map<std::string, unsigned short>& ids_;
};

}  // namespace

bool primitiveByName(const std::string& name, Primitive& out) {
  for (std::size_t i = 0; i < 12; ++i) {
    if (name == kPrimitiveNames[i]) {
      out = static_cast<Primitive>(i);
      return true;
    }
  }
  return false;
}

const char* primitiveName(Primitive p) { return kPrimitiveNames[static_cast<int>(p)]; }
std::size_t primitiveWidth(Primitive p) { return kWidths[static_cast<int>(p)]; }

Schema Schema::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open for reading");
  std::ostringstream text;
  text << in.rdbuf();
  try {
    return parse(text.str());
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

Schema Schema::parse(const std::string& jsonText) {
  Json doc;
  try {
    doc = Json::parse(jsonText);
  } catch (const Json::parse_error& e) {
    throw std::runtime_error(std::string("invalid JSON: ") + e.what());
  }
  if (!doc.is_object() || !doc.contains("classes") || !doc["classes"].is_array()) {
    refuse("/classes", "expected an array of classes");
  }
  const Json& list = doc["classes"];
  // Names first, so that classes may hold members of classes declared later.
  std::map<std::string, unsigned short> ids;
  for (unsigned short id : {0x8001, 0x0070, 0xF033, 0xF034, 0xF035, 0xF036}) ids[knownClassName(id)] = id;
  Schema schema;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = "/classes/" + std::to_string(i);
    const Json& c = list[i];
    if (!c.is_object()) refuse(at, "expected a class (an object)");
    auto id = c.find("id");
    if (id == c.end() || !id->is_number_unsigned() || id->get<std::uint64_t>() > 0xFFFF) {
      refuse(at + "/id", "expected a class id (0-65535)");
    }
    SchemaClass cls;
    cls.id = static_cast<unsigned short>(id->get<std::uint64_t>());
    cls.name = stringField(c, "name", at);
    if (knownClassName(cls.id)) refuse(at + "/id", "the library's own class " + std::string(knownClassName(cls.id)));
    if (schema.classes_.count(cls.id)) refuse(at + "/id", "declared twice");
    if (!ids.emplace(cls.name, cls.id).second) refuse(at + "/name", "'" + cls.name + "' is declared twice");
    schema.classes_[cls.id] = std::move(cls);
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = "/classes/" + std::to_string(i);
    SchemaClass& cls = schema.classes_[static_cast<unsigned short>(list[i]["id"].get<std::uint64_t>())];
    auto contents = list[i].find("contents");
    if (contents == list[i].end()) refuse(at + "/contents", "missing");
    Scopes scopes;
    Reader(ids).fields(*contents, at + "/contents", cls.contents, scopes);
  }
  return schema;
}

const SchemaClass* Schema::find(unsigned short id) const {
  auto it = classes_.find(id);
  return it == classes_.end() ? nullptr : &it->second;
}

const SchemaClass* Schema::findByName(const std::string& name) const {
  for (const auto& entry : classes_) {
    if (entry.second.name == name) return &entry.second;
  }
  return nullptr;
}

}  // namespace cli
}  // namespace tobrel
