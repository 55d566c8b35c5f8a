#include "cli/dump/decoder.h"

#include <cstdio>

#include "TobrelTools/export.h"
#include "TobrelTools/stream/fistream.h"
#include "cli/dump/field_value.h"
#include "cli/progress.h"

TOBREL_MODULE_ID("decoder.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

const unsigned short kPersistable = 0x8001;
const unsigned short kTstring = 0x0070;
const unsigned short kRegkey = 0xF033;
const unsigned short kRegtree = 0xF034;
const unsigned short kRegval = 0xF035;
const unsigned short kRegelm = 0xF036;

std::string hex4(unsigned short id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

}  // namespace

const char* knownClassName(unsigned short classId) {
  switch (classId) {
    case kPersistable: return "Persistable";
    case kTstring: return "tstring";
    case kRegkey: return "regkey_t";
    case kRegtree: return "regtree";
    case kRegval: return "regval_t";
    case kRegelm: return "regelm";
  }
  return nullptr;
}

DumpDecoder::DumpDecoder(fvistream& in, DumpSink& sink, const Schema* schema)
    : in_(in), sink_(sink), schema_(schema), offset_(0), fileSize_(0), records_(0), references_(0),
      progress_(nullptr), ticks_(0) {}

const char* DumpDecoder::className(unsigned short classId) const {
  if (const char* name = knownClassName(classId)) return name;
  const SchemaClass* cls = schema_ ? schema_->find(classId) : nullptr;
  return cls ? cls->name.c_str() : nullptr;
}

void DumpDecoder::setProgress(Progress* progress, std::uint64_t fileSize) {
  progress_ = progress;
  fileSize_ = fileSize;
}

bool DumpDecoder::run(const std::string& path, std::uint64_t fileSize) {
  fileSize_ = fileSize;
  sink_.beginFile(path, fileSize);
  bool ok = true;
  try {
    while (record(nullptr, 0, 0, true)) ++records_;
  } catch (const Stop& stop) {
    sink_.error(stop.offset, stop.message);
    stopMessage_ = "offset " + std::to_string(stop.offset) + ": " + stop.message;
    ok = false;
  }
  if (progress_) progress_->finish();
  sink_.endFile(records_, objects_.size(), references_, offset_);
  return ok;
}

void DumpDecoder::tick() {
  if (!progress_ || (++ticks_ & 0x3FF) != 0 || !progress_->due()) return;
  char line[128];
  double percent = fileSize_ ? 100.0 * static_cast<double>(offset_) / static_cast<double>(fileSize_) : 0;
  std::snprintf(line, sizeof line, "dump: %3.0f%% (%s of %s, %llu objects)", percent,
                humanBytes(offset_).c_str(), humanBytes(fileSize_).c_str(),
                static_cast<unsigned long long>(objects_.size()));
  progress_->update(line);
}

bool DumpDecoder::record(const char* label, unsigned short member, int depth, bool topLevel,
                         std::int32_t element) {
  tick();
  if (depth > kMaxDepth) {
    throw Stop{offset_, "Invalid format: nesting too deep. (more than " + std::to_string(kMaxDepth) + " levels)"};
  }
  const std::uint64_t start = offset_;
  char c = 0;
  if (topLevel) {
    // A clean end of the file may only come between top-level records.
    in_ >> c;
    if (!in_.good()) {
      if (in_.eof()) return false;
      throw Stop{start, "read error"};
    }
    ++offset_;
  } else {
    c = readChar("the first byte of a record");
  }

  if (c == '@') {
    std::int32_t index = readI32("the index of a reference record");
    if (member != 0) throw Stop{start, "ileagal reference object."};
    if (element >= 0) {
      throw Stop{start, "regkey_t: element " + std::to_string(element) +
                            " is a back-reference, not an element of its own"};
    }
    if (static_cast<std::uint32_t>(index) >= objects_.size()) {
      throw Stop{start, "unmatch serialized object. (reference to object #" + std::to_string(index) +
                            ", but only " + std::to_string(objects_.size()) + " recorded)"};
    }
    unsigned short target = objects_[static_cast<std::uint32_t>(index)];
    ++references_;
    sink_.reference(label, ReferenceInfo{start, index, target, className(target)});
    return true;
  }
  if (c != ':') {
    char what[80];
    std::snprintf(what, sizeof what, " (byte 0x%02X)", static_cast<unsigned char>(c));
    throw Stop{start, std::string("Invalid format: can't find referencer.") + what};
  }
  unsigned short classId = readU16("the class id of a record");
  const std::uint64_t braceAt = offset_;
  char brace = readChar("the opening brace of a record");
  if (brace != '{') throw Stop{braceAt, "Invalid format: can't find opening brace."};

  // A member held by value is read into the existing object: its class
  // decides how the contents are read, not the stored id.
  unsigned short decodeAs = member != 0 ? member : classId;
  const char* name = className(decodeAs);
  if (!name) {
    throw Stop{start, "unknown class id " + hex4(classId) +
                          ": can't find creator; record contents carry no length, so nothing "
                          "after it can be decoded (a schema file given with --schema can declare it)"};
  }
  ObjectInfo info{start, static_cast<std::uint32_t>(objects_.size()), classId, name,
                  member != 0 && member != classId};
  objects_.push_back(decodeAs);
  contents(decodeAs, info, label, depth);

  const std::uint64_t closeAt = offset_;
  std::string what = std::string("the closing brace of ") + name + " #" + std::to_string(info.index);
  char close = readChar(what.c_str());
  if (close != '}') {
    std::string why = "Invalid format: can't find closing brace.";
    if (!knownClassName(decodeAs)) {
      why += std::string(" (the contents of ") + name + " #" + std::to_string(info.index) +
             " as the schema declares them end here, but the record goes on: the schema does not match the file)";
    }
    throw Stop{closeAt, why};
  }
  if (decodeAs != kTstring) sink_.endObject(closeAt);
  // A key's list holds keys and values only; the reader refuses anything
  // else once it has read it.
  if (element >= 0 && decodeAs != kRegkey && decodeAs != kRegval) {
    throw Stop{start, "regkey_t: element " + std::to_string(element) + " has class id " + hex4(classId) +
                          ", not a registry key or value"};
  }
  return true;
}

void DumpDecoder::contents(unsigned short classId, const ObjectInfo& info, const char* label, int depth) {
  if (classId == kTstring) {
    textContents(label, info);
    return;
  }
  sink_.beginObject(label, info);
  if (!knownClassName(classId)) {
    std::vector<std::vector<std::int64_t>> frames;
    const SchemaClass& cls = *schema_->find(classId);
    sink_.beginFields();
    schemaFields(cls, cls.contents, frames, depth);
    sink_.endFields();
    return;
  }
  switch (classId) {
    case kRegkey: keyContents(depth); break;
    case kRegval: valueContents(depth); break;
    case kRegtree: treeContents(depth); break;
    default: break;  // Persistable and regelm have no contents
  }
}

void DumpDecoder::textContents(const char* label, const ObjectInfo& info) {
  TextInfo text{0, false, 0, std::string(), std::u16string()};
  text.flag = readI32("the encoding flag of a tstring");
  text.count = readI32("the length of a tstring");
  text.wide = text.flag != 0;
  // A length of 0 or less is the empty text; nothing more belongs to it.
  for (std::int32_t i = 0; i < text.count; ++i) {
    if (text.wide) {
      text.units += static_cast<char16_t>(readU16("the text of a wide tstring"));
    } else {
      text.bytes += readChar("the text of a tstring");
    }
  }
  sink_.text(label, info, text);
}

void DumpDecoder::keyContents(int depth) {
  std::uint64_t at = offset_;
  sink_.leadingWord(at, readI32("the leading word of a regkey_t"));
  record("class", kTstring, depth + 1, false);
  record("name", kTstring, depth + 1, false);
  at = offset_;
  std::uint32_t low = readU32("the last write time of a regkey_t");
  std::uint32_t high = readU32("the last write time of a regkey_t");
  sink_.lastWrite(at, low, high);
  at = offset_;
  std::int32_t count = readI32("the element count of a regkey_t");
  if (count < 0) throw Stop{at, "regkey_t: negative element count " + std::to_string(count)};
  sink_.beginElements(at, count);
  for (std::int32_t i = 0; i < count; ++i) record(nullptr, 0, depth + 1, false, i);
  sink_.endElements();
}

void DumpDecoder::valueContents(int depth) {
  std::uint64_t at = offset_;
  sink_.leadingWord(at, readI32("the leading word of a regval_t"));
  record("name", kTstring, depth + 1, false);
  at = offset_;
  std::uint32_t type = readU32("the type of a regval_t");
  sink_.valueType(at, type);
  at = offset_;
  std::int32_t size = readI32("the data size of a regval_t");
  if (size < 0) throw Stop{at, "regval_t: negative data size " + std::to_string(size)};
  std::string data;
  for (std::int32_t i = 0; i < size; ++i) data += readChar("the data of a regval_t");
  sink_.valueData(at, type, data);
}

void DumpDecoder::treeContents(int depth) {
  std::uint64_t at = offset_;
  sink_.leadingWord(at, readI32("the leading word of a regtree"));
  at = offset_;
  sink_.rootKey(at, readU32("the root key of a regtree"));
  record("subkey", kTstring, depth + 1, false);
  record("top key", kRegkey, depth + 1, false);
}

std::int64_t DumpDecoder::earlier(const std::vector<std::vector<std::int64_t>>& frames, const FieldRef& ref) const {
  return frames[frames.size() - 1 - static_cast<std::size_t>(ref.up)][static_cast<std::size_t>(ref.index)];
}

void DumpDecoder::schemaFields(const SchemaClass& cls, const std::vector<SchemaField>& list,
                               std::vector<std::vector<std::int64_t>>& frames, int depth) {
  frames.emplace_back(list.size(), 0);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const SchemaField& f = list[i];
    const std::uint64_t at = offset_;
    switch (f.kind) {
      case SchemaField::kPrimitive: {
        const std::string what = cls.name + "::" + f.name;
        const std::size_t width = primitiveWidth(f.type);
        std::uint64_t bits = 0;
        for (std::size_t b = 0; b < width; ++b) {
          bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(readChar(what.c_str()))) << (8 * b);
        }
        frames.back()[i] = fieldInteger(f.type, bits);
        sink_.field(at, f.name.c_str(), f.type, bits);
        break;
      }
      case SchemaField::kObject:
        record(f.name.c_str(), f.memberClass, depth + 1, false);
        break;
      case SchemaField::kLink:
        if (f.condition.up < 0 || earlier(frames, f.condition) != 0) record(f.name.c_str(), 0, depth + 1, false);
        break;
      case SchemaField::kRepeat: {
        const std::int64_t count = earlier(frames, f.count);
        if (count < 0) {
          throw Stop{at, cls.name + "::" + f.name + ": negative count " + std::to_string(count)};
        }
        sink_.beginRepeat(at, f.name.c_str(), count);
        for (std::int64_t k = 0; k < count; ++k) {
          sink_.beginItem(offset_, k);
          schemaFields(cls, f.contents, frames, depth);
          sink_.endItem();
        }
        sink_.endRepeat();
        break;
      }
    }
  }
  frames.pop_back();
}

char DumpDecoder::readChar(const char* what) {
  char v = 0;
  if (!(in_ >> v).good()) readFailed(what, offset_, 1);
  offset_ += 1;
  return v;
}

unsigned short DumpDecoder::readU16(const char* what) {
  unsigned short v = 0;
  if (!(in_ >> v).good()) readFailed(what, offset_, 2);
  offset_ += 2;
  return v;
}

std::int32_t DumpDecoder::readI32(const char* what) {
  int v = 0;
  if (!(in_ >> v).good()) readFailed(what, offset_, 4);
  offset_ += 4;
  return v;
}

std::uint32_t DumpDecoder::readU32(const char* what) {
  unsigned int v = 0;
  if (!(in_ >> v).good()) readFailed(what, offset_, 4);
  offset_ += 4;
  return v;
}

void DumpDecoder::readFailed(const char* what, std::uint64_t at, std::size_t width) {
  if (!in_.eof()) throw Stop{at, std::string("read error reading ") + what};
  std::string message = std::string("unexpected end of file reading ") + what;
  if (fileSize_ >= at && width > 1) {
    message += " (" + std::to_string(width) + " bytes needed, " + std::to_string(fileSize_ - at) +
               " left)";
  }
  throw Stop{at, message};
}

}  // namespace cli
}  // namespace tobrel
