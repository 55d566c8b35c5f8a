#include "TobrelTools/persist/Persistable.h"

#include "TobrelTools/export.h"
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/nesting.h"

TOBREL_MODULE_ID("Persistable.cpp", "2026.12.05");

namespace {

// Guards the input stream of one restore call: unless the call cleared it
// for good, the fail bit is set when the call ends, by return or by throw.
class badis {
 public:
  explicit badis(vistream& is) : is_(is), ok_(false) {}
  virtual ~badis() {
    if (!ok_) is_.clear(is_.rdstate() | vios::failbit);
  }
  badis(const badis&) = delete;
  badis& operator=(const badis&) = delete;

  void ok(bool value) { ok_ = value; }

 private:
  vistream& is_;
  bool ok_;
};

// The frame of the calling function, on the thread's real stack even when a
// sanitizer moves locals elsewhere.
#define TOBREL_FRAME() static_cast<const char*>(__builtin_frame_address(0))

[[noreturn]] void fail(const char* message) { throw new InternalException(message); }

}  // namespace

Persistable::~Persistable() {}

unsigned short Persistable::isA() const { return Persistable_id; }

void Persistable::restoreContents(vistream&) {}

void Persistable::saveContents(vostream&) const {}

unsigned short Persistable::getClassId() { return Persistable_id; }

Persistable* Persistable_create() { return new Persistable(); }

void Persistable::save(vostream& os) const {
  // The object is touched right after the lookup: start fetching it now, so
  // that the two memory accesses of a large graph overlap.
  __builtin_prefetch(this);
  const int index = DupChecker::getInstance()->add(this);
  if (index >= 0) {
    os << '@' << index;
    return;
  }
  tobrel::NestingState& nesting = tobrel::nestingState();
  tobrel::NestingLevel level(nesting, nesting.save, TOBREL_FRAME());
  if (!level.fits(1)) {
    os.clear(os.rdstate() | vios::failbit);
    fail("nesting too deep to save.");
  }
  os << ':' << isA() << '{';
  saveContents(os);
  os << '}';
}

void Persistable::restore(vistream& is, Persistable*& obj) {
  badis sentry(is);
  if (!is.good()) return;
  char c = 0;
  is >> c;
  sentry.ok(is.good());
  if (!is.good()) return;

  if (c == '@') {
    int index = 0;
    is >> index;
    sentry.ok(is.good());
    if (!is.good()) return;
    DupChecker* checker = DupChecker::getInstance();
    if (static_cast<unsigned int>(index) >= checker->entries()) fail("unmatch serialized object.");
    if (obj != nullptr) fail("ileagal reference object.");
    obj = checker->get(index);
    return;
  }
  if (c != ':') {
    sentry.ok(false);
    fail("Invalid format: can't find referencer.");
  }

  unsigned short id = 0;
  is >> id;
  sentry.ok(is.good());
  if (!is.good()) return;
  char brace = 0;
  is >> brace;
  sentry.ok(is.good());
  if (!is.good()) return;
  if (brace != '{') {
    sentry.ok(false);
    fail("Invalid format: can't find opening brace.");
  }

  tobrel::NestingState& nesting = tobrel::nestingState();
  tobrel::NestingLevel level(nesting, nesting.restore, TOBREL_FRAME());
  if (!level.fits(0)) {
    sentry.ok(false);
    fail("Invalid format: nesting too deep.");
  }

  if (obj == nullptr) {
    obj = ClassFactory::getInstance()->create(id);
    if (obj == nullptr) fail("can't find creator");
  }
  DupChecker::getInstance()->add(obj);
  obj->restoreContents(is);
  char close = 0;
  is >> close;
  if (close != '}') fail("Invalid format: can't find closing brace.");
}

void Persistable::readyToSerialize() { DupChecker::getInstance()->clear(); }

void Persistable::clearInstance() { DupChecker::destroyInstance(); }

vostream& operator<<(vostream& os, const Persistable& obj) {
  obj.save(os);
  return os;
}

vostream& operator<<(vostream& os, const Persistable* obj) {
  if (obj == nullptr) {
    os.clear(os.rdstate() | vios::failbit);
    throw new InternalException("can't save a null object.");
  }
  obj->save(os);
  return os;
}

vistream& operator>>(vistream& is, Persistable*& obj) {
  Persistable* local = nullptr;
  try {
    Persistable::restore(is, local);
  } catch (...) {
    // A back-reference is only stored on success, so whatever local holds
    // here was created by this call, and nobody else owns it: the caller's
    // pointer stays as it was, and a parent receives the object on success.
    delete local;
    throw;
  }
  obj = local;
  return is;
}

vistream& operator>>(vistream& is, Persistable& obj) {
  Persistable* target = &obj;
  Persistable::restore(is, target);
  return is;
}
