#include "TobrelTools/registry/regtree.h"

#include <cstdint>
#include <cstring>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/CRegistry.h"
#include "TobrelTools/registry/internal/dump_line.h"
#include "TobrelTools/registry/internal/read_typed.h"
#include "TobrelTools/registry/regval.h"

TOBREL_MODULE_ID("regtree.cpp", "2026.12.05");

namespace {

// A handle travels as its low 32 bits; reading it back sign-extends, as the
// predefined roots are defined, so HKEY_LOCAL_MACHINE (0x80000002) comes back
// as the same pointer-width value.
std::uint32_t handleBits(HKEY key) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
}

HKEY handleFromBits(std::uint32_t bits) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(bits)));
}

}  // namespace

regtree::regtree() : rootKey(0) {}

regtree::regtree(HKEY root, const char* subkey) : rootKey(root), subKey(subkey ? subkey : "") {}

regtree::regtree(const regtree& other)
    : Persistable(other), rootKey(other.rootKey), subKey(other.subKey), topKey(other.topKey) {}

regtree& regtree::operator=(const regtree& other) {
  rootKey = other.rootKey;
  subKey = other.subKey;
  topKey.copyIn(other.topKey);
  return *this;
}

regtree::~regtree() { topKey.clear(); }

unsigned short regtree::isA() const { return regtree_id; }
unsigned short regtree::getClassId() { return regtree_id; }

void regtree::setTop(HKEY root, const std::tstring& subkey) {
  rootKey = root;
  subKey = subkey;
}

HKEY regtree::getKey() const { return rootKey; }
const std::tstring& regtree::getSubKey() const { return subKey; }
regkey_t& regtree::getTopkey() { return topKey; }
const regkey_t& regtree::getTopkey() const { return topKey; }

void regtree::load(HKEY parent, std::tstring& name, regkey_t& key) {
  CRegistry reg(parent, name.c_str());
  regkey_t scratchKey;
  for (unsigned long i = 0; reg.enumKey(i, scratchKey); ++i) {
    regkey_t* child = new regkey_t(scratchKey);
    key.addElements(child);
    load(reg.getKey(), child->getName(), *child);
  }
  regval_t scratchValue;
  for (unsigned long i = 0; reg.enumValue(i, scratchValue); ++i) {
    key.addElements(new regval_t(scratchValue));
  }
}

void regtree::load() {
  topKey.setName(subKey);
  load(rootKey, subKey, topKey);
}

void regtree::restore() {
  CRegistry root(rootKey, "");
  topKey.setName(subKey);
  topKey.restore(root);
}

void regtree::remove() {
  topKey.setName(subKey);
  load(rootKey, subKey, topKey);
  CRegistry root(rootKey, "");
  topKey.remove(root);
  topKey.clear();
  root.deleteKey(subKey);
}

std::tstring regtree::toString() {
  std::tstring out;
  out.append("--- Registry Tree ---\n");
  unsigned int handle = handleBits(rootKey);
  std::tstring line;
  const std::size_t fixedLength = 25;  // "HKEY: 12345678, SUBKEY: " and "\n"
  if (fixedLength + std::strlen(subKey.c_str()) <= tobrel::kFormatLimit) {
    line.format("HKEY: %08x, SUBKEY: %s\n", handle, subKey.c_str());
    out.append(line.data(), line.size());
  } else {
    // Too long for format: the same line from its pieces, never cut.
    line.format("HKEY: %08x, SUBKEY: ", handle);
    out.append(line.data(), line.size());
    out.append(subKey.c_str());
    out.append("\n");
  }
  std::tstring top = topKey.toString();
  out.append(top.data(), top.size());
  return out;
}

void regtree::saveContents(vostream& os) const {
  os << 1;
  os << static_cast<unsigned long>(handleBits(rootKey));
  os << subKey;
  topKey.save(os);
}

void regtree::restoreContents(vistream& is) {
  int leading = 0;
  is >> leading;
  unsigned long bits = 0;
  is >> bits;
  if (!is.good()) return;
  rootKey = handleFromBits(static_cast<std::uint32_t>(bits));
  is >> subKey;
  Persistable* top = &topKey;
  Persistable::restore(is, top);
}

Persistable* regtree_create() { return new regtree; }

vostream& operator<<(vostream& os, const regtree& obj) {
  obj.save(os);
  return os;
}

vostream& operator<<(vostream& os, const regtree* obj) {
  return os << static_cast<const Persistable*>(obj);
}

vistream& operator>>(vistream& is, regtree& obj) {
  return is >> static_cast<Persistable&>(obj);
}

vistream& operator>>(vistream& is, regtree*& obj) {
  return tobrel::readTyped(is, obj, "regtree");
}
