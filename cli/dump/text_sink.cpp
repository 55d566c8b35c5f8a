#include <cinttypes>
#include <cstdio>

#include "TobrelTools/export.h"
#include "cli/dump/field_value.h"
#include "cli/dump/render.h"
#include "cli/text_escape.h"
#include "cli/writer.h"

TOBREL_MODULE_ID("text_sink.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

class TextSink : public DumpSink {
 public:
  TextSink(Writer& out, bool offsets) : out_(out), offsets_(offsets), depth_(0), stopped_(false) {}

  void beginFile(const std::string& path, std::uint64_t size) override {
    out_.put(path).format(": %" PRIu64 " bytes\n", size);
  }

  void beginObject(const char* label, const ObjectInfo& object) override {
    line(object.offset, label);
    head(object);
    out_.put(" {\n");
    ++depth_;
  }

  void endObject(std::uint64_t offset) override {
    --depth_;
    line(offset, nullptr);
    out_.put("}\n");
  }

  void reference(const char* label, const ReferenceInfo& ref) override {
    line(ref.offset, label);
    out_.format("reference to #%" PRId32 " %s (0x%04X)\n", ref.index,
                ref.targetClassName ? ref.targetClassName : "?", ref.targetClassId);
  }

  void text(const char* label, const ObjectInfo& object, const TextInfo& text) override {
    line(object.offset, label);
    head(object);
    if (text.wide) out_.put(" wide");
    out_.put(' ');
    if (text.wide) out_.put(quoteWide(text.units));
    else out_.put(quoteText(text.bytes));
    if (text.count < 0) out_.format(" (stored length %" PRId32 ")", text.count);
    out_.put('\n');
  }

  void leadingWord(std::uint64_t offset, std::int32_t value) override {
    line(offset, "leading word");
    out_.format("%" PRId32 "\n", value);
  }

  void rootKey(std::uint64_t offset, std::uint32_t handle) override {
    line(offset, "root key");
    out_.format("0x%08" PRIX32, handle);
    if (const char* name = rootKeyName(handle)) out_.put(' ').put(name);
    out_.put('\n');
  }

  void lastWrite(std::uint64_t offset, std::uint32_t low, std::uint32_t high) override {
    line(offset, "last write");
    if (low == 0 && high == 0) {
      out_.put("0 (none)\n");
      return;
    }
    std::string utc = filetimeUtc(low, high);
    if (!utc.empty()) out_.put(utc).put(' ');
    out_.format("(0x%08" PRIX32 "%08" PRIX32 ")\n", high, low);
  }

  void valueType(std::uint64_t offset, std::uint32_t type) override {
    line(offset, "type");
    const char* name = regTypeName(type);
    out_.format("%" PRIu32 " %s\n", type, name ? name : "(unknown type)");
  }

  void valueData(std::uint64_t offset, std::uint32_t type, const std::string& data) override {
    line(offset, "data");
    out_.format("%" PRIu64 " byte%s", static_cast<std::uint64_t>(data.size()), data.size() == 1 ? "" : "s");
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
    if (data.empty()) {
      // nothing more to show
    } else if (isTextType(type)) {
      out_.put(' ').put(quoteText(data));
    } else if ((type == 4 || type == 5) && data.size() == 4) {
      std::uint32_t v = type == 4 ? (p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24)
                                  : (p[3] | p[2] << 8 | p[1] << 16 | static_cast<std::uint32_t>(p[0]) << 24);
      out_.format(" 0x%08" PRIX32 " (%" PRIu32 ")", v, v);
    } else if (type == 11 && data.size() == 8) {
      std::uint64_t v = 0;
      for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
      out_.format(" 0x%016" PRIX64 " (%" PRIu64 ")", v, v);
    } else {
      out_.put(' ').put(hexBytes(data.data(), data.size(), ' '));
    }
    out_.put('\n');
  }

  void beginElements(std::uint64_t offset, std::int32_t count) override {
    line(offset, "elements");
    out_.format("%" PRId32 "\n", count);
  }

  void endElements() override {}

  void beginFields() override {}
  void endFields() override {}

  void field(std::uint64_t offset, const char* name, Primitive type, std::uint64_t bits) override {
    line(offset, name);
    out_.put(fieldJson(type, bits).dump()).put(" (").put(primitiveName(type)).put(")\n");
  }

  void beginRepeat(std::uint64_t offset, const char* name, std::int64_t count) override {
    line(offset, name);
    out_.format("%" PRId64 " item%s\n", count, count == 1 ? "" : "s");
    ++depth_;
  }

  void beginItem(std::uint64_t offset, std::int64_t index) override {
    line(offset, nullptr);
    out_.format("[%" PRId64 "]\n", index);
    ++depth_;
  }

  void endItem() override { --depth_; }
  void endRepeat() override { --depth_; }

  void error(std::uint64_t offset, const std::string& message) override {
    stopped_ = true;
    out_.format("stopped at offset %" PRIu64 " (0x%" PRIX64 "): ", offset, offset).put(message).put('\n');
  }

  void endFile(std::uint64_t records, std::uint64_t objects, std::uint64_t references,
               std::uint64_t bytes) override {
    if (stopped_) return;  // the stop line says where it ended
    out_.format("end at offset %" PRIu64 ": %" PRIu64 " record%s, %" PRIu64 " object%s, %" PRIu64
                " reference%s\n",
                bytes, records, records == 1 ? "" : "s", objects, objects == 1 ? "" : "s", references,
                references == 1 ? "" : "s");
  }

 private:
  // Starts a line: the offset column when asked for, the indentation, and
  // the member's label.
  void line(std::uint64_t offset, const char* label) {
    if (offsets_) out_.format("%08" PRIX64 "  ", offset);
    for (int i = 0; i < depth_; ++i) out_.put("  ", 2);
    if (label) out_.put(label).put(": ", 2);
  }

  void head(const ObjectInfo& object) {
    out_.format("#%" PRIu32 " %s (0x%04X", object.index, object.className, object.classId);
    if (object.idIgnored) out_.put(", read as the member's class");
    out_.put(')');
  }

  Writer& out_;
  bool offsets_;
  int depth_;
  bool stopped_;
};

}  // namespace

std::unique_ptr<DumpSink> makeTextSink(Writer& out, bool offsets) {
  return std::unique_ptr<DumpSink>(new TextSink(out, offsets));
}

}  // namespace cli
}  // namespace tobrel
