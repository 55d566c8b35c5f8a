#include <cinttypes>
#include <cstring>
#include <vector>

#include "TobrelTools/export.h"
#include "cli/dump/field_value.h"
#include "cli/dump/json.h"
#include "cli/dump/render.h"
#include "cli/dump/text_encode.h"
#include "cli/text_escape.h"
#include "cli/writer.h"

TOBREL_MODULE_ID("json_sink.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

// The JSON keys of the members that the decoder labels.
const char* memberKey(const char* label) {
  if (!label) return nullptr;
  if (std::strcmp(label, "class") == 0) return "keyClass";
  if (std::strcmp(label, "top key") == 0) return "topKey";
  return label;  // "name", "subkey"
}

// Writes the document as the decoder walks the file, so that memory stays
// flat however large the file is. `open_` holds the containers not yet
// closed, so that a stop in the middle of a record still ends in a complete
// document.
class JsonSink : public DumpSink {
 public:
  explicit JsonSink(Writer& out) : out_(out), first_(true) {}

  void beginFile(const std::string& path, std::uint64_t size) override {
    open('{');
    key("file");
    string(path);
    key("size");
    out_.format("%" PRIu64, size);
    key("records");
    open('[');
  }

  void beginObject(const char* label, const ObjectInfo& object) override {
    slot(label);
    open('{');
    head(object);
  }

  void endObject(std::uint64_t offset) override {
    (void)offset;
    close();
  }

  void reference(const char* label, const ReferenceInfo& ref) override {
    slot(label);
    out_.format("{\"offset\":%" PRIu64 ",\"reference\":%" PRId32 ",\"classId\":%u,\"className\":", ref.offset,
                ref.index, ref.targetClassId);
    if (ref.targetClassName) string(ref.targetClassName);
    else out_.put("null");
    out_.put('}');
  }

  void text(const char* label, const ObjectInfo& object, const TextInfo& text) override {
    slot(label);
    open('{');
    head(object);
    if (text.flag != 0 && text.flag != 1) {
      key("flag");
      out_.format("%" PRId32, text.flag);
    }
    key("wide");
    out_.put(text.wide ? "true" : "false");
    key("length");
    out_.format("%" PRId32, text.count);
    key("text");
    // The text alone must give back the stored bytes or units; where it
    // cannot (bytes outside a character, a character with two codes, a lone
    // surrogate), they follow in hexadecimal.
    bool exact = true;
    if (text.wide) {
      string(utf16ToUtf8(text.units, &exact));
      if (!exact) {
        key("units");
        out_.put('"');
        for (char16_t unit : text.units) out_.format("%04X", static_cast<unsigned>(unit));
        out_.put('"');
      }
    } else {
      const std::string utf8 = cp932ToUtf8(text.bytes.data(), text.bytes.size(), &exact);
      string(utf8);
      if (exact) {
        std::string error;
        exact = utf8ToCp932(utf8, scratch_, error) && scratch_ == text.bytes;
      }
      if (!exact) {
        key("bytes");
        out_.put('"').put(hexBytes(text.bytes.data(), text.bytes.size(), 0)).put('"');
      }
    }
    close();
  }

  void leadingWord(std::uint64_t, std::int32_t value) override {
    key("leadingWord");
    out_.format("%" PRId32, value);
  }

  void rootKey(std::uint64_t, std::uint32_t handle) override {
    key("rootKey");
    out_.format("%" PRIu32, handle);
    key("rootKeyName");
    if (const char* name = rootKeyName(handle)) string(name);
    else out_.put("null");
  }

  void lastWrite(std::uint64_t, std::uint32_t low, std::uint32_t high) override {
    key("lastWrite");
    out_.format("{\"low\":%" PRIu32 ",\"high\":%" PRIu32 ",\"utc\":", low, high);
    std::string utc = filetimeUtc(low, high);
    if (utc.empty()) out_.put("null");
    else string(utc);
    out_.put('}');
  }

  void valueType(std::uint64_t, std::uint32_t type) override {
    key("valueType");
    out_.format("%" PRIu32, type);
    key("valueTypeName");
    if (const char* name = regTypeName(type)) string(name);
    else out_.put("null");
  }

  void valueData(std::uint64_t, std::uint32_t type, const std::string& data) override {
    key("size");
    out_.format("%" PRIu64, static_cast<std::uint64_t>(data.size()));
    key("data");
    out_.put('"').put(hexBytes(data.data(), data.size(), 0)).put('"');
    if (isTextType(type)) {
      key("text");
      string(cp932ToUtf8(data.data(), data.size(), nullptr));
    }
  }

  void beginElements(std::uint64_t, std::int32_t count) override {
    key("count");
    out_.format("%" PRId32, count);
    key("elements");
    open('[');
  }

  void endElements() override { close(); }

  void beginFields() override {
    key("fields");
    open('{');
  }

  void endFields() override { close(); }

  void field(std::uint64_t, const char* name, Primitive type, std::uint64_t bits) override {
    fieldKey(name);
    out_.put(fieldJson(type, bits).dump());
  }

  void beginRepeat(std::uint64_t, const char* name, std::int64_t) override {
    fieldKey(name);
    open('[');
  }

  void beginItem(std::uint64_t, std::int64_t) override {
    comma();
    open('{');
  }

  void endItem() override { close(); }
  void endRepeat() override { close(); }

  void error(std::uint64_t offset, const std::string& message) override {
    while (open_.size() > 2) close();  // back to the records array
    close();
    key("error");
    out_.format("{\"offset\":%" PRIu64 ",\"message\":", offset);
    string(message);
    out_.put('}');
  }

  void endFile(std::uint64_t records, std::uint64_t objects, std::uint64_t references,
               std::uint64_t bytes) override {
    if (open_.size() == 2) close();  // the records array, unless error() closed it
    key("summary");
    out_.format("{\"records\":%" PRIu64 ",\"objects\":%" PRIu64 ",\"references\":%" PRIu64
                ",\"bytes\":%" PRIu64 "}",
                records, objects, references, bytes);
    close();
    out_.put('\n');
  }

 private:
  void comma() {
    if (!first_) out_.put(',');
    first_ = false;
  }
  void key(const char* name) {
    comma();
    out_.put('"').put(name).put("\":", 2);
  }
  // A key that comes from a schema file, escaped as any text.
  void fieldKey(const char* name) {
    comma();
    out_.put(jsonQuoted(name)).put(':');
  }
  // Where a record goes: a member key, or the next element of an array.
  void slot(const char* label) {
    if (const char* k = memberKey(label)) fieldKey(k);
    else comma();
  }
  void open(char bracket) {
    out_.put(bracket);
    open_.push_back(bracket);
    first_ = true;
  }
  void close() {
    out_.put(open_.back() == '{' ? '}' : ']');
    open_.pop_back();
    first_ = false;
  }
  void string(const std::string& utf8) { out_.put(jsonQuoted(utf8)); }
  void head(const ObjectInfo& object) {
    key("offset");
    out_.format("%" PRIu64, object.offset);
    key("index");
    out_.format("%" PRIu32, object.index);
    key("classId");
    out_.format("%u", object.classId);
    key("className");
    string(object.className);
    if (object.idIgnored) {
      key("idIgnored");
      out_.put("true");
    }
  }

  Writer& out_;
  bool first_;
  std::vector<char> open_;
  std::string scratch_;
};

}  // namespace

std::unique_ptr<DumpSink> makeJsonSink(Writer& out) { return std::unique_ptr<DumpSink>(new JsonSink(out)); }

}  // namespace cli
}  // namespace tobrel
