#include "cli/dump/stream_encoder.h"

#include <cstdio>
#include <cstring>

#include "TobrelTools/export.h"
#include "cli/dump/decoder.h"
#include "cli/dump/field_value.h"
#include "cli/dump/render.h"
#include "cli/dump/text_encode.h"
#include "cli/text_escape.h"

TOBREL_MODULE_ID("stream_encoder.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

const unsigned short kTstring = 0x0070;
const unsigned short kRegkey = 0xF033;
const unsigned short kRegtree = 0xF034;
const unsigned short kRegval = 0xF035;

// The class ids of the library's classes by name, for records that give
// only a className.
unsigned short knownClassId(const std::string& name) {
  static const unsigned short ids[] = {0x8001, kTstring, kRegkey, kRegtree, kRegval, 0xF036};
  for (unsigned short id : ids) {
    if (name == knownClassName(id)) return id;
  }
  return 0;
}

std::string typeName(const Json& v) {
  if (v.is_number_float()) return "a fractional number";
  if (v.is_number()) return "a number";
  return std::string(std::strchr("aeiou", v.type_name()[0]) ? "an " : "a ") + v.type_name();
}

std::string child(const std::string& path, const char* key) { return path + "/" + key; }
std::string child(const std::string& path, std::size_t index) { return path + "/" + std::to_string(index); }

const Json* field(const Json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::int64_t integer(const Json& v, const std::string& path, std::int64_t min, std::int64_t max, const char* what) {
  if (!v.is_number_integer()) throw EncodeError(path, std::string("expected ") + what + ", found " + typeName(v));
  const bool fits = v.is_number_unsigned() ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                                           : v.get<std::int64_t>() >= min && v.get<std::int64_t>() <= max;
  if (!fits) throw EncodeError(path, std::string("expected ") + what + ", found " + v.dump());
  return v.get<std::int64_t>();
}

std::int32_t i32(const Json& v, const std::string& path) {
  return static_cast<std::int32_t>(integer(v, path, INT32_MIN, INT32_MAX, "a signed 32-bit integer"));
}
std::uint32_t u32(const Json& v, const std::string& path) {
  return static_cast<std::uint32_t>(integer(v, path, 0, UINT32_MAX, "an unsigned 32-bit integer"));
}

const std::string& text(const Json& v, const std::string& path) {
  if (!v.is_string()) throw EncodeError(path, "expected a string, found " + typeName(v));
  return v.get_ref<const std::string&>();
}

std::string hex(const Json& v, const std::string& path) {
  std::string bytes;
  if (!parseHexBytes(text(v, path), bytes)) throw EncodeError(path, "expected pairs of hexadecimal digits");
  return bytes;
}

std::string hex4(unsigned id) {
  char s[8];
  std::snprintf(s, sizeof s, "0x%04X", id);
  return s;
}

}  // namespace

std::string StreamEncoder::encodeText(const std::string& jsonText) {
  Json document;
  try {
    document = Json::parse(jsonText);
  } catch (const Json::parse_error& e) {
    // The parser's message reads "parse error at line L, column C: reason".
    std::string message = e.what(), where = "byte " + std::to_string(e.byte);
    std::size_t at = message.find("at line "), colon = message.find(": ", at);
    if (at != std::string::npos && colon != std::string::npos) {
      where = message.substr(at + 3, colon - at - 3);
      message.erase(0, colon + 2);
    }
    throw EncodeError(where, "invalid JSON: " + message);
  }
  return encode(document);
}

std::string StreamEncoder::encode(const Json& document) {
  out_.clear();
  objects_ = 0;
  labels_.clear();
  if (!document.is_object()) throw EncodeError("/", "expected the object that dump --json prints");
  if (const Json* error = field(document, "error")) {
    throw EncodeError("/error", "the dump stopped before the end of its file (" + error->dump() +
                                    "); a file that was not read whole cannot be written back");
  }
  const Json* records = field(document, "records");
  if (!records) throw EncodeError("/records", "missing");
  if (!records->is_array()) throw EncodeError("/records", "expected an array, found " + typeName(*records));
  for (std::size_t i = 0; i < records->size(); ++i) record((*records)[i], child("/records", i), 0, 0, -1);
  return std::move(out_);
}

void StreamEncoder::record(const Json& j, const std::string& path, unsigned short memberClass, int depth,
                           std::int32_t element) {
  if (!j.is_object()) throw EncodeError(path, "expected a record (an object), found " + typeName(j));
  if (depth > DumpDecoder::kMaxDepth) {
    throw EncodeError(path, "records nested more than " + std::to_string(DumpDecoder::kMaxDepth) +
                                " deep, which the reader refuses");
  }
  if (const Json* target = field(j, "reference")) {
    if (memberClass != 0) throw EncodeError(path, "a member held by value cannot be a reference");
    if (element >= 0) throw EncodeError(path, "an element of a key's list cannot be a reference");
    std::uint32_t label = u32(*target, child(path, "reference"));
    auto it = labels_.find(label);
    if (it == labels_.end()) {
      throw EncodeError(child(path, "reference"),
                        "reference to index " + std::to_string(label) + ", which no earlier record has");
    }
    put8('@');
    put32(it->second);
    return;
  }

  unsigned short classId = memberClass;
  if (const Json* id = field(j, "classId")) {
    classId = static_cast<unsigned short>(integer(*id, child(path, "classId"), 0, 0xFFFF, "a class id (0-65535)"));
  } else if (const Json* name = field(j, "className")) {
    const std::string& wanted = text(*name, child(path, "className"));
    classId = knownClassId(wanted);
    const SchemaClass* declared = schema_ ? schema_->findByName(wanted) : nullptr;
    if (declared) classId = declared->id;
    if (classId == 0) {
      throw EncodeError(child(path, "className"), "not a class of the library or the schema; give a classId");
    }
  } else if (classId == 0) {
    throw EncodeError(path, "a record needs a classId or a className");
  }
  const unsigned short decodeAs = memberClass != 0 ? memberClass : classId;
  if (!className(decodeAs)) {
    throw EncodeError(child(path, "classId"), "unknown class id " + hex4(decodeAs) +
                                                  ": its contents cannot be written (a schema file can declare it)");
  }
  if (element >= 0 && decodeAs != kRegkey && decodeAs != kRegval) {
    throw EncodeError(path, "an element of a key's list must be a registry key or value, not " +
                                std::string(className(decodeAs)));
  }
  if (const Json* index = field(j, "index")) {
    std::uint32_t label = u32(*index, child(path, "index"));
    if (!labels_.emplace(label, objects_).second) {
      throw EncodeError(child(path, "index"), "index " + std::to_string(label) + " is given to an earlier record too");
    }
  }
  ++objects_;

  put8(':');
  put16(classId);
  put8('{');
  switch (decodeAs) {
    case kTstring: textContents(j, path); break;
    case kRegkey: keyContents(j, path, depth); break;
    case kRegval: valueContents(j, path, depth); break;
    case kRegtree: treeContents(j, path, depth); break;
    default:
      if (!knownClassName(decodeAs)) {
        const Json* fields = field(j, "fields");
        if (!fields || !fields->is_object()) {
          throw EncodeError(child(path, "fields"), std::string("expected the fields of ") + className(decodeAs));
        }
        std::vector<std::vector<std::int64_t>> frames;
        schemaFields(schema_->find(decodeAs)->contents, *fields, child(path, "fields"), frames, depth);
      }
      break;  // Persistable and regelm have no contents
  }
  put8('}');
}

const char* StreamEncoder::className(unsigned short classId) const {
  if (const char* name = knownClassName(classId)) return name;
  const SchemaClass* cls = schema_ ? schema_->find(classId) : nullptr;
  return cls ? cls->name.c_str() : nullptr;
}

void StreamEncoder::schemaFields(const std::vector<SchemaField>& list, const Json& fields, const std::string& path,
                                 std::vector<std::vector<std::int64_t>>& frames, int depth) {
  frames.emplace_back(list.size(), 0);
  auto earlier = [&frames](const FieldRef& ref) {
    return frames[frames.size() - 1 - static_cast<std::size_t>(ref.up)][static_cast<std::size_t>(ref.index)];
  };
  for (std::size_t i = 0; i < list.size(); ++i) {
    const SchemaField& f = list[i];
    const std::string at = child(path, f.name.c_str());
    const Json* v = field(fields, f.name.c_str());
    const bool present = f.kind != SchemaField::kLink || f.condition.up < 0 || earlier(f.condition) != 0;
    if (!present) {
      if (v && !v->is_null()) throw EncodeError(at, "given, but the bool field that says it is there is false");
      continue;
    }
    if (!v) throw EncodeError(at, "missing");
    switch (f.kind) {
      case SchemaField::kPrimitive: {
        std::uint64_t bits = 0;
        std::string error;
        if (!fieldBits(f.type, *v, bits, error)) throw EncodeError(at, error);
        frames.back()[i] = fieldInteger(f.type, bits);
        for (std::size_t b = 0; b < primitiveWidth(f.type); ++b) put8(static_cast<unsigned>(bits >> (8 * b) & 0xFF));
        break;
      }
      case SchemaField::kObject: record(*v, at, f.memberClass, depth + 1, -1); break;
      case SchemaField::kLink: record(*v, at, 0, depth + 1, -1); break;
      case SchemaField::kRepeat: {
        if (!v->is_array()) throw EncodeError(at, "expected an array, found " + typeName(*v));
        const std::int64_t count = earlier(f.count);
        if (count < 0 || static_cast<std::uint64_t>(count) != v->size()) {
          throw EncodeError(at, std::to_string(v->size()) + " items, but its count field says " + std::to_string(count));
        }
        for (std::size_t k = 0; k < v->size(); ++k) {
          const Json& item = (*v)[k];
          if (!item.is_object()) throw EncodeError(child(at, k), "expected an item (an object), found " + typeName(item));
          schemaFields(f.contents, item, child(at, k), frames, depth);
        }
        break;
      }
    }
  }
  frames.pop_back();
}

void StreamEncoder::member(const Json& j, const std::string& path, const char* key, unsigned short classId,
                           int depth, bool required) {
  if (const Json* m = field(j, key)) {
    record(*m, child(path, key), classId, depth + 1, -1);
  } else if (required) {
    throw EncodeError(child(path, key), "missing");
  } else {
    record(Json::object(), child(path, key), classId, depth + 1, -1);
  }
}

void StreamEncoder::textContents(const Json& j, const std::string& path) {
  const Json* wideField = field(j, "wide");
  if (wideField && !wideField->is_boolean()) {
    throw EncodeError(child(path, "wide"), "expected true or false, found " + typeName(*wideField));
  }
  const Json* flagField = field(j, "flag");
  const std::int32_t flag = flagField ? i32(*flagField, child(path, "flag")) : (wideField && *wideField ? 1 : 0);
  const bool wide = flag != 0;
  std::string error;
  std::string bytes;  // narrow: the bytes; wide: the units, two bytes each
  if (wide) {
    if (const Json* units = field(j, "units")) {
      std::string raw = hex(*units, child(path, "units"));
      if (raw.size() % 2 != 0) throw EncodeError(child(path, "units"), "expected groups of four hexadecimal digits");
      for (std::size_t i = 0; i < raw.size(); i += 2) bytes.append({raw[i + 1], raw[i]});
    } else if (const Json* t = field(j, "text")) {
      std::u16string units;
      if (!utf8ToUtf16(text(*t, child(path, "text")), units, error)) throw EncodeError(child(path, "text"), error);
      for (char16_t unit : units) bytes.append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
    }
  } else {
    if (const Json* b = field(j, "bytes")) {
      bytes = hex(*b, child(path, "bytes"));
    } else if (const Json* t = field(j, "text")) {
      if (!utf8ToCp932(text(*t, child(path, "text")), bytes, error)) throw EncodeError(child(path, "text"), error);
    }
  }
  std::int64_t count = wide ? bytes.size() / 2 : bytes.size();
  if (count > INT32_MAX) throw EncodeError(child(path, "text"), "longer than a stream file can hold");
  // An empty text may be stored with a negative length; it is kept.
  if (const Json* length = field(j, "length")) {
    std::int32_t stored = i32(*length, child(path, "length"));
    if (count == 0 && stored < 0) count = stored;
  }
  put32(static_cast<std::uint32_t>(flag));
  put32(static_cast<std::uint32_t>(count));
  out_ += bytes;
}

void StreamEncoder::keyContents(const Json& j, const std::string& path, int depth) {
  const Json* leading = field(j, "leadingWord");
  put32(static_cast<std::uint32_t>(leading ? i32(*leading, child(path, "leadingWord")) : 1));
  member(j, path, "keyClass", kTstring, depth, false);
  member(j, path, "name", kTstring, depth, true);
  std::uint32_t low = 0, high = 0;
  if (const Json* time = field(j, "lastWrite")) {
    const std::string at = child(path, "lastWrite");
    if (!time->is_object()) throw EncodeError(at, "expected an object {\"low\", \"high\"}, found " + typeName(*time));
    if (const Json* v = field(*time, "low")) low = u32(*v, child(at, "low"));
    if (const Json* v = field(*time, "high")) high = u32(*v, child(at, "high"));
  }
  put32(low);
  put32(high);
  const Json* elements = field(j, "elements");
  const std::string at = child(path, "elements");
  if (elements && !elements->is_array()) throw EncodeError(at, "expected an array, found " + typeName(*elements));
  const std::size_t count = elements ? elements->size() : 0;
  put32(static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    record((*elements)[i], child(at, i), 0, depth + 1, static_cast<std::int32_t>(i));
  }
}

void StreamEncoder::valueContents(const Json& j, const std::string& path, int depth) {
  const Json* leading = field(j, "leadingWord");
  put32(static_cast<std::uint32_t>(leading ? i32(*leading, child(path, "leadingWord")) : 1));
  member(j, path, "name", kTstring, depth, true);
  std::uint32_t type = 0;
  if (const Json* t = field(j, "valueType")) {
    type = u32(*t, child(path, "valueType"));
  } else if (const Json* name = field(j, "valueTypeName")) {
    const std::string& wanted = text(*name, child(path, "valueTypeName"));
    while (regTypeName(type) && wanted != regTypeName(type)) ++type;
    if (!regTypeName(type)) throw EncodeError(child(path, "valueTypeName"), "not a registry value type: " + wanted);
  } else {
    throw EncodeError(child(path, "valueType"), "missing");
  }
  // The data as stored, unless the text was edited: a text that is not what
  // the data shows is taken instead, in code page 932.
  std::string data;
  const Json* hexData = field(j, "data");
  if (hexData) data = hex(*hexData, child(path, "data"));
  if (const Json* t = field(j, "text")) {
    const std::string& shown = text(*t, child(path, "text"));
    if (!hexData || shown != cp932ToUtf8(data.data(), data.size(), nullptr)) {
      std::string error;
      if (!utf8ToCp932(shown, data, error)) throw EncodeError(child(path, "text"), error);
    }
  } else if (!hexData) {
    throw EncodeError(child(path, "data"), "missing");
  }
  if (data.size() > INT32_MAX) throw EncodeError(child(path, "data"), "longer than a stream file can hold");
  put32(type);
  put32(static_cast<std::uint32_t>(data.size()));
  out_ += data;
}

void StreamEncoder::treeContents(const Json& j, const std::string& path, int depth) {
  const Json* leading = field(j, "leadingWord");
  put32(static_cast<std::uint32_t>(leading ? i32(*leading, child(path, "leadingWord")) : 1));
  std::uint32_t root = 0;
  if (const Json* r = field(j, "rootKey")) {
    root = u32(*r, child(path, "rootKey"));
  } else if (const Json* name = field(j, "rootKeyName")) {
    const std::string& wanted = text(*name, child(path, "rootKeyName"));
    for (root = 0x80000000u; rootKeyName(root) && wanted != rootKeyName(root); ++root) {
    }
    if (!rootKeyName(root)) throw EncodeError(child(path, "rootKeyName"), "not a root key: " + wanted);
  } else {
    throw EncodeError(child(path, "rootKey"), "missing");
  }
  put32(root);
  member(j, path, "subkey", kTstring, depth, false);
  member(j, path, "topKey", kRegkey, depth, true);
}

}  // namespace cli
}  // namespace tobrel
