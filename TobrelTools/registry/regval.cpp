#include "TobrelTools/registry/regval.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/CRegistry.h"
#include "TobrelTools/registry/internal/dump_line.h"
#include "TobrelTools/registry/internal/read_typed.h"

TOBREL_MODULE_ID("regval.cpp", "2026.12.05");

namespace {

// Data read from a stream arrives in steps of this many bytes: a damaged
// size costs at most one step beyond the bytes the stream really holds.
const int kReadChunk = 64 * 1024;

bool isTextType(unsigned long type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

const char* typeLine(unsigned long type) {
  switch (type) {
    case REG_BINARY: return "REG_BINARY\n";
    case REG_DWORD: return "REG_DWORD\n";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ\n";
    case REG_MULTI_SZ: return "REG_MULTI_SZ\n";
    case REG_SZ: return "REG_SZ\n";
    default: return "REG_NONE\n";
  }
}

}  // namespace

regval_t::regval_t() : type(0), data(0), dataSize(0) {}

regval_t::regval_t(const regval_t& other) : regelm(other), type(0), data(0), dataSize(0) {
  copyIn(other);
}

regval_t& regval_t::operator=(const regval_t& other) {
  copyIn(other);
  return *this;
}

regval_t::~regval_t() { releaseData(); }

unsigned short regval_t::isA() const { return regval_t_id; }
unsigned short regval_t::getClassId() { return regval_t_id; }

void regval_t::releaseData() {
  delete[] data;
  data = 0;
  dataSize = 0;
}

void regval_t::copyIn(const regval_t& other) {
  if (this == &other) return;
  name = other.name;
  releaseData();
  if (other.data) {
    data = new unsigned char[other.dataSize];
    if (other.dataSize > 0) std::memcpy(data, other.data, other.dataSize);
    dataSize = other.dataSize;
  }
  type = other.type;
}

std::tstring& regval_t::getName() { return name; }
const std::tstring& regval_t::getName() const { return name; }
void regval_t::setName(const std::tstring& newName) { name = newName; }

unsigned long regval_t::getType() const { return type; }
void regval_t::setType(unsigned long newType) { type = newType; }
void* regval_t::getData() const { return data; }
int regval_t::getDataSize() const { return dataSize; }

void regval_t::setData(const void* bytes, int size, unsigned long newType) {
  if (!bytes) {
    releaseData();
    return;
  }
  if (size < 0) {
    releaseData();
    throw new InternalException("regval_t::setData: negative size " + std::to_string(size));
  }
  // Copy before releasing, so that the element's own data may be passed in.
  unsigned char* block = new unsigned char[size];
  if (size > 0) std::memcpy(block, bytes, size);
  releaseData();
  data = block;
  dataSize = size;
  type = newType;
}

void regval_t::setData(const std::tstring& text, unsigned long newType) {
  if (text.empty()) {
    releaseData();
    return;
  }
  std::size_t length = text.size();
  unsigned char* block = new unsigned char[length + 1]();
  std::memcpy(block, text.data(), length);
  releaseData();
  data = block;
  dataSize = static_cast<int>(length + 1);
  type = newType;
}

void regval_t::clear() {
  name.erase();
  releaseData();
  type = 0;
}

regelm* regval_t::spawn() { return new regval_t(*this); }
void regval_t::deleteMe() { delete this; }

void regval_t::restore(CRegistry& parent) { parent.set(*this); }
void regval_t::remove(CRegistry& parent) { parent.deleteValue(getName()); }

std::tstring regval_t::toString() {
  std::tstring out;
  out.append("--- Registry Value ---\n");
  tobrel::appendTextLine(out, "Name: %s\n", name.c_str());
  out.append("Type: ");
  out.append(typeLine(type));
  out.append("Data: ");
  if (isTextType(type)) {
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t length = 0;
    if (data) {
      const void* nul = std::memchr(data, 0, dataSize);
      length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : dataSize;
    }
    tobrel::appendTextLine(out, "%s\n", text ? text : "", length);
  } else {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(static_cast<std::size_t>(dataSize) * 3 + 1);
    for (int i = 0; i < dataSize; ++i) {
      hex.push_back(digits[data[i] >> 4]);
      hex.push_back(digits[data[i] & 15]);
      hex.push_back(' ');
    }
    hex.push_back('\n');
    out.append(hex.data(), hex.size());
  }
  return out;
}

void regval_t::saveContents(vostream& os) const {
  os << 1;
  os << name;
  os << type;
  os << dataSize;
  for (int i = 0; i < dataSize; ++i) os << static_cast<char>(data[i]);
}

void regval_t::restoreContents(vistream& is) {
  clear();
  int leading = 0;
  is >> leading;
  is >> name;
  is >> type;
  int size = 0;
  is >> size;
  if (!is.good()) return;
  if (size < 0) tobrel::failRead(is, "regval_t: negative data size " + std::to_string(size));
  std::vector<unsigned char> bytes;
  while (static_cast<int>(bytes.size()) < size) {
    int step = std::min(kReadChunk, size - static_cast<int>(bytes.size()));
    std::size_t start = bytes.size();
    bytes.resize(start + step);
    for (int i = 0; i < step; ++i) {
      char c = 0;
      is >> c;
      bytes[start + i] = static_cast<unsigned char>(c);
    }
    if (!is.good()) return;  // cut short: no data; the framing reports it
  }
  data = new unsigned char[size];
  if (size > 0) std::memcpy(data, bytes.data(), size);
  dataSize = size;
}

Persistable* regval_t_create() { return new regval_t; }

vostream& operator<<(vostream& os, const regval_t& obj) {
  obj.save(os);
  return os;
}

vostream& operator<<(vostream& os, const regval_t* obj) {
  return os << static_cast<const Persistable*>(obj);
}

vistream& operator>>(vistream& is, regval_t& obj) {
  return is >> static_cast<Persistable&>(obj);
}

vistream& operator>>(vistream& is, regval_t*& obj) {
  return tobrel::readTyped(is, obj, "regval_t");
}
