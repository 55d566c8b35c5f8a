#include "TobrelTools/registry/regkey.h"

#include <cstdio>
#include <string>
#include <typeinfo>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/CRegistry.h"
#include "TobrelTools/registry/internal/dump_line.h"
#include "TobrelTools/registry/internal/read_typed.h"

TOBREL_MODULE_ID("regkey.cpp", "2026.12.05");

regkey_t::regkey_t() : lastWriteTime{0, 0} {}

regkey_t::regkey_t(const regkey_t& other) : regelm(other), lastWriteTime{0, 0} {
  copyIn(other);
}

regkey_t& regkey_t::operator=(const regkey_t& other) {
  copyIn(other);
  return *this;
}

regkey_t::~regkey_t() { clearElements(); }

unsigned short regkey_t::isA() const { return regkey_t_id; }
unsigned short regkey_t::getClassId() { return regkey_t_id; }

void regkey_t::copyIn(const regkey_t& other) {
  if (this == &other) {
    clearElements();
    return;
  }
  name = other.name;
  className = other.className;
  lastWriteTime = other.lastWriteTime;
  clearElements();
}

std::tstring& regkey_t::getName() { return name; }
const std::tstring& regkey_t::getName() const { return name; }
void regkey_t::setName(const std::tstring& newName) { name = newName; }
const std::tstring& regkey_t::getClass() const { return className; }
void regkey_t::setClass(const std::tstring& cls) { className = cls; }
const filetime& regkey_t::getLastWriteTime() const { return lastWriteTime; }
void regkey_t::setLastWriteTime(const filetime& time) { lastWriteTime = time; }

std::vector<regelm*>& regkey_t::getElements() { return elements; }
const std::vector<regelm*>& regkey_t::getElements() const { return elements; }

void regkey_t::addElements(regelm* element) { elements.push_back(element); }

void regkey_t::setElements(const std::vector<regelm*>& source) {
  if (&source == &elements) {
    // Copying our own list: take the copies before the originals go.
    std::vector<regelm*> copies;
    for (regelm* e : source) {
      if (regelm* copy = e ? e->spawn() : 0) copies.push_back(copy);
    }
    clearElements();
    elements.swap(copies);
    return;
  }
  clearElements();
  for (regelm* e : source) {
    if (regelm* copy = e ? e->spawn() : 0) elements.push_back(copy);
  }
}

void regkey_t::clearElements() {
  // Detach the list first, so that an element's deleteMe that reaches back
  // into this key finds it empty rather than half destroyed.
  std::vector<regelm*> doomed;
  doomed.swap(elements);
  for (regelm* e : doomed) {
    if (e) e->deleteMe();
  }
}

void regkey_t::clear() {
  name.erase();
  className.erase();
  lastWriteTime.dwLowDateTime = 0;
  lastWriteTime.dwHighDateTime = 0;
  clearElements();
}

regelm* regkey_t::spawn() { return new regkey_t(*this); }
void regkey_t::deleteMe() { delete this; }

void regkey_t::restore(CRegistry& parent) {
  CRegistry self(parent.getKey(), 0);
  if (!self.create(*this, REG_OPTION_NON_VOLATILE)) return;
  for (regelm* e : elements) {
    if (e) e->restore(self);
  }
}

void regkey_t::remove(CRegistry& parent) {
  CRegistry self(parent.getKey(), getName().c_str());
  if (!self) return;
  std::vector<regelm*> keys;
  std::vector<regelm*> others;
  for (regelm* e : elements) {
    if (!e) continue;
    if (dynamic_cast<regkey_t*>(e)) {
      keys.push_back(e);
    } else {
      others.push_back(e);
    }
  }
  for (regelm* k : keys) {
    k->remove(self);
    self.deleteKey(k->getName());
  }
  for (regelm* o : others) o->remove(self);
  clearElements();
}

std::tstring regkey_t::toString() {
  std::tstring out;
  out.append("--- regkey ---\n");
  tobrel::appendTextLine(out, "Class Name: %s\n", className.c_str());
  tobrel::appendTextLine(out, "Name: \"%s\"\n", name.c_str());
  FILETIME time;
  time.dwLowDateTime = lastWriteTime.dwLowDateTime;
  time.dwHighDateTime = lastWriteTime.dwHighDateTime;
  WORD dosDate = 0;
  WORD dosTime = 0;
  if (FileTimeToDosDateTime(&time, &dosDate, &dosTime)) {
    std::tstring line;
    line.format("Last Write: %d/%d/%d %d:%d:%d\n", (dosDate >> 9) + 1980, (dosDate >> 5) & 15,
                dosDate & 31, dosTime >> 11, (dosTime >> 5) & 63, (dosTime & 31) * 2);
    out.append(line.data(), line.size());
  }
  for (regelm* e : elements) {
    if (!e) continue;
    std::tstring part = e->toString();
    out.append(part.data(), part.size());
  }
  return out;
}

void regkey_t::saveContents(vostream& os) const {
  os << 1;
  os << className;
  os << name;
  os << static_cast<unsigned long>(lastWriteTime.dwLowDateTime);
  os << static_cast<unsigned long>(lastWriteTime.dwHighDateTime);
  int count = 0;
  for (const regelm* e : elements) count += e ? 1 : 0;
  os << count;
  for (const regelm* e : elements) {
    if (e) e->save(os);
  }
}

void regkey_t::restoreContents(vistream& is) {
  int leading = 0;
  is >> leading;
  is >> className;
  is >> name;
  unsigned long low = 0;
  unsigned long high = 0;
  is >> low;
  is >> high;
  int count = 0;
  is >> count;
  if (!is.good()) return;
  lastWriteTime.dwLowDateTime = static_cast<std::uint32_t>(low);
  lastWriteTime.dwHighDateTime = static_cast<std::uint32_t>(high);
  if (count < 0) tobrel::failRead(is, "regkey_t: negative element count " + std::to_string(count));
  for (int i = 0; i < count; ++i) {
    unsigned int before = tobrel::recordedCount();
    Persistable* obj = 0;
    try {
      Persistable::restore(is, obj);
    } catch (...) {
      // An element whose own reading failed is not kept.
      if (tobrel::createdSince(before, obj)) delete obj;
      throw;
    }
    if (!obj) return;  // the stream failed: no more elements can follow
    if (!tobrel::createdSince(before, obj)) {
      tobrel::failRead(is, "regkey_t: element " + std::to_string(i) +
                               " is a back-reference, not an element of its own");
    }
    regelm* element = dynamic_cast<regelm*>(obj);
    if (!element || typeid(*element) == typeid(regelm)) {
      unsigned short id = obj->isA();
      delete obj;
      tobrel::failRead(is, "regkey_t: element " + std::to_string(i) + " has class id " +
                               tobrel::classIdText(id) + ", not a registry key or value");
    }
    elements.push_back(element);
  }
}

Persistable* regkey_t_create() { return new regkey_t; }

vostream& operator<<(vostream& os, const regkey_t& obj) {
  obj.save(os);
  return os;
}

vostream& operator<<(vostream& os, const regkey_t* obj) {
  return os << static_cast<const Persistable*>(obj);
}

vistream& operator>>(vistream& is, regkey_t& obj) {
  return is >> static_cast<Persistable&>(obj);
}

vistream& operator>>(vistream& is, regkey_t*& obj) {
  return tobrel::readTyped(is, obj, "regkey_t");
}
