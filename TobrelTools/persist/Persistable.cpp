#include "TobrelTools/persist/Persistable.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/internal/nesting.h"
#include "TobrelTools/stream/internal/char_runs.h"

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

// The framing of a record goes through one of two adapters. Most streams
// are exactly fvostream or fvistream, whose operators are known: the values
// go straight to the C library (see char_runs.h). Any other stream (a class
// derived from the file streams included) gets its virtual operators called
// as they are.
class AnyOut {
 public:
  explicit AnyOut(vostream& os) : os_(os) {}
  template <typename T>
  void put(T v) { os_ << v; }
  void objectHead(unsigned short id) {
    put(':');
    put(id);
    put('{');
  }
  void reference(int index) {
    put('@');
    put(index);
  }

 private:
  vostream& os_;
};

// The values of the framing (char, unsigned short, int) are written as
// they are in memory, which is what fvostream's operators do for them.
class FileOut {
 public:
  explicit FileOut(fvostream& os) : os_(os) {}
  template <typename T>
  void put(T v) {
    static_assert(sizeof(T) <= 4 && !std::is_same<T, bool>::value, "a framing value");
    // The file is asked for each time: a class's contents may have
    // reopened the stream.
    tobrel::putValue(os_, os_.fvostream::file(), &v, sizeof v);
  }
  // The head of a record in one copy into the file's buffer when it has
  // room (the common case), value by value otherwise.
  void objectHead(unsigned short id) {
    unsigned char head[4] = {':'};
    std::memcpy(head + 1, &id, sizeof id);
    head[3] = '{';
    if (putRun(head, sizeof head)) return;
    put(':');
    put(id);
    put('{');
  }
  void reference(int index) {
    unsigned char record[5] = {'@'};
    std::memcpy(record + 1, &index, sizeof index);
    if (putRun(record, sizeof record)) return;
    put('@');
    put(index);
  }

 private:
  bool putRun(const void* p, std::size_t n) {
    FILE* f = os_.fvostream::file();
    return f && tobrel::putInBuffer(p, n, f);
  }

  fvostream& os_;
};

class AnyIn {
 public:
  explicit AnyIn(vistream& is) : is_(is) {}
  template <typename T>
  void get(T& v) { is_ >> v; }
  bool good() { return is_.good(); }
  const unsigned char* peek(std::size_t) { return nullptr; }
  void skip(std::size_t) {}

 private:
  vistream& is_;
};

class FileIn {
 public:
  explicit FileIn(fvistream& is) : is_(is) {}
  template <typename T>
  void get(T& v) {
    static_assert(sizeof(T) <= 4 && !std::is_same<T, bool>::value, "a framing value");
    tobrel::getValue(is_, is_.fvistream::file(), &v, sizeof v);
  }
  bool good() { return is_.fvistream::good(); }
  // The next n bytes when the file's buffer holds them, else null; skip
  // takes k of them as k reads of a char would.
  const unsigned char* peek(std::size_t n) {
    FILE* f = is_.fvistream::file();
    return f ? tobrel::peekBuffer(f, n) : nullptr;
  }
  void skip(std::size_t k) { tobrel::skipBuffered(is_.fvistream::file(), k); }

 private:
  fvistream& is_;
};

// Reads a record's head as far as it goes: the leading byte c, then for
// '@' the index, for ':' the class id and the byte meant to be '{' (for
// any other c nothing more). Each value is read as in.get would, the
// sentry told after each whether the stream is still good; false when it
// is not (the record is left there). On a good stream whose buffer holds
// the head, the same bytes are taken from the buffer in one step.
template <class In>
bool readHead(In& in, badis& sentry, char& c, int& index, unsigned short& id, char& brace) {
  if (const unsigned char* head = in.peek(5)) {
    sentry.ok(true);
    c = static_cast<char>(head[0]);
    if (c == '@') {
      std::memcpy(&index, head + 1, sizeof index);
      in.skip(1 + sizeof index);
    } else if (c == ':') {
      std::memcpy(&id, head + 1, sizeof id);
      brace = static_cast<char>(head[1 + sizeof id]);
      in.skip(2 + sizeof id);
    } else {
      in.skip(1);
    }
    return true;
  }
  in.get(c);
  sentry.ok(in.good());
  if (!in.good()) return false;
  if (c == '@') {
    in.get(index);
  } else if (c == ':') {
    in.get(id);
    sentry.ok(in.good());
    if (!in.good()) return false;
    in.get(brace);
  } else {
    return true;
  }
  sentry.ok(in.good());
  return in.good();
}

// The calling thread's duplicate checker: the one kept for the running
// pass, or looked up.
inline DupChecker* checkerOf(tobrel::NestingState& state) {
  return state.checker ? state.checker : DupChecker::getInstance();
}

template <class Out>
void saveRecord(const Persistable& obj, vostream& os, Out out) {
  // The object is touched right after the lookup: start fetching it now, so
  // that the two memory accesses of a large graph overlap.
  __builtin_prefetch(&obj);
  tobrel::NestingState& state = tobrel::nestingState();
  DupChecker* checker = checkerOf(state);
  const int index = checker->add(&obj);
  if (index >= 0) {
    out.reference(index);
    return;
  }
  tobrel::NestingLevel level(state, state.save, TOBREL_FRAME());
  if (!level.fits(1)) {
    os.clear(os.rdstate() | vios::failbit);
    fail("nesting too deep to save.");
  }
  state.checker = checker;
  out.objectHead(obj.isA());
  obj.saveContents(os);
  out.put('}');
}

template <class In>
void restoreRecord(vistream& is, Persistable*& obj, In in) {
  badis sentry(is);
  if (!in.good()) return;
  char c = 0;
  int index = 0;
  unsigned short id = 0;
  char brace = 0;
  if (!readHead(in, sentry, c, index, id, brace)) return;

  tobrel::NestingState& state = tobrel::nestingState();
  if (c == '@') {
    DupChecker* checker = checkerOf(state);
    // get gives null for an index out of range, and for a recorded null.
    Persistable* const target = checker->get(index);
    if (!target && static_cast<unsigned int>(index) >= checker->entries()) fail("unmatch serialized object.");
    if (obj != nullptr) fail("ileagal reference object.");
    obj = target;
    return;
  }
  if (c != ':') {
    sentry.ok(false);
    fail("Invalid format: can't find referencer.");
  }
  if (brace != '{') {
    sentry.ok(false);
    fail("Invalid format: can't find opening brace.");
  }

  tobrel::NestingLevel level(state, state.restore, TOBREL_FRAME());
  if (!level.fits(0)) {
    sentry.ok(false);
    fail("Invalid format: nesting too deep.");
  }

  if (obj == nullptr) {
    if (!state.factory) state.factory = ClassFactory::getInstance();
    obj = state.factory->create(id);
    if (obj == nullptr) fail("can't find creator");
  }
  DupChecker* checker = checkerOf(state);
  checker->record(obj);
  state.checker = checker;
  obj->restoreContents(is);
  char close = 0;
  in.get(close);
  if (close != '}') fail("Invalid format: can't find closing brace.");
}

}  // namespace

Persistable::~Persistable() {}

unsigned short Persistable::isA() const { return Persistable_id; }

void Persistable::restoreContents(vistream&) {}

void Persistable::saveContents(vostream&) const {}

unsigned short Persistable::getClassId() { return Persistable_id; }

Persistable* Persistable_create() { return new Persistable(); }

void Persistable::save(vostream& os) const {
  if (fvostream* file = tobrel::exactFileStream(os))
    saveRecord(*this, os, FileOut(*file));
  else
    saveRecord(*this, os, AnyOut(os));
}

void Persistable::restore(vistream& is, Persistable*& obj) {
  if (fvistream* file = tobrel::exactFileStream(is))
    restoreRecord(is, obj, FileIn(*file));
  else
    restoreRecord(is, obj, AnyIn(is));
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
