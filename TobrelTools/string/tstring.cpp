// std::tstring: construction, assignment, the wide and system-string views
// with their caches, and the content record.
#include "TobrelTools/string/tstring.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/stream/internal/char_runs.h"

TOBREL_MODULE_ID("tstring.cpp", "2026.12.05");

namespace std {

// The one instantiation of the base string, exported from here.
template class basic_string<char, char_traits<char>, dll_allocator<char>>;

namespace {

// Content records are read in steps of at most this many elements, so that
// a hostile count costs memory only as fast as the stream delivers bytes.
const std::size_t kReadStep = 64 * 1024;
// The first step is small (most texts are short), and steps grow with what
// has arrived, up to kReadStep.
inline std::size_t nextStep(std::size_t done) { return std::min(kReadStep, std::max<std::size_t>(4096, done)); }

// Within a step the stream's state is looked at every this many elements, so
// that a stream that has ended costs little more than its own bytes.
const std::size_t kCheckEvery = 512;

// Texts converted from wide text up to this many bytes use a buffer on the
// stack.
const std::size_t kLocalBuffer = 512;

// The number of units before the zero unit. After the first units up to an
// 8-byte boundary it reads whole aligned 8-byte words, as the C library's
// strlen does: such a word never crosses into another page, but it may
// reach past the end of the caller's array, which the address sanitizer
// would report although nothing is wrong.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((no_sanitize_address))
#endif
std::size_t wideLength(const unsigned short* s) {
  const unsigned short* p = s;
  while ((reinterpret_cast<std::uintptr_t>(p) & 7) != 0) {
    if (*p == 0) return static_cast<std::size_t>(p - s);
    ++p;
  }
  for (;; p += 4) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (((word - 0x0001000100010001ull) & ~word & 0x8000800080008000ull) != 0) break;  // a zero unit in it
  }
  while (*p != 0) ++p;
  return static_cast<std::size_t>(p - s);
}

// The C library's system-string calls take the platform's OLECHAR, which is
// wchar_t on Windows; the string class keeps to 16-bit unsigned short.
inline unsigned short* allocSysString(const unsigned short* w) {
#if defined(_WIN32)
  return reinterpret_cast<unsigned short*>(SysAllocString(reinterpret_cast<const OLECHAR*>(w)));
#else
  return SysAllocString(w);
#endif
}

inline void freeSysString(unsigned short* b) {
#if defined(_WIN32)
  SysFreeString(reinterpret_cast<BSTR>(b));
#else
  SysFreeString(b);
#endif
}

}  // namespace

tstring::tstring() : wideStr(0), sysStr(0) {}

tstring::tstring(const char* s) : base_type(s ? s : ""), wideStr(0), sysStr(0) {}

tstring::tstring(const unsigned short* w) : wideStr(0), sysStr(0) { trx_app(w); }

tstring::tstring(const wide_type& w) : wideStr(0), sysStr(0) { trx_app(w.c_str()); }

tstring::tstring(const std::string& s) : base_type(s.c_str()), wideStr(0), sysStr(0) {}

tstring::tstring(const base_type& s) : base_type(s), wideStr(0), sysStr(0) {}

tstring::tstring(const tstring& t) : Persistable(t), base_type(t), wideStr(0), sysStr(0) {}

tstring::tstring(tstring&& t) noexcept : Persistable(t), base_type(std::move(static_cast<base_type&>(t))), wideStr(0), sysStr(0) {}

tstring::~tstring() { FreeStr(); }

tstring& tstring::operator=(const tstring& t) {
  base_type::operator=(t);
  return *this;
}

tstring& tstring::operator=(tstring&& t) noexcept {
  base_type::operator=(std::move(static_cast<base_type&>(t)));
  return *this;
}

const tstring& tstring::operator=(const char* s) {
  // assign, not clear-then-append, so that s may point into the text itself.
  if (s)
    base_type::assign(s);
  else
    base_type::clear();
  return *this;
}

const tstring& tstring::operator=(const unsigned short* w) {
  base_type::clear();
  trx_app(w);
  return *this;
}

tstring& tstring::bstr(unsigned short* const w) {
  operator=(static_cast<const unsigned short*>(w));
  return *this;
}

tstring::operator char*() { return getC(); }
tstring::operator char*() const { return const_cast<char*>(c_str()); }
tstring::operator const char*() { return c_str(); }
tstring::operator const char*() const { return c_str(); }

tstring::operator unsigned short*() { return getW(); }
tstring::operator unsigned short*() const { return const_cast<tstring*>(this)->getW(); }
tstring::operator const unsigned short*() { return getW(); }
tstring::operator const unsigned short*() const { return const_cast<tstring*>(this)->getW(); }

unsigned short* tstring::bstr() { return makeSysStr(true); }
unsigned short* tstring::bstr() const { return const_cast<tstring*>(this)->makeSysStr(true); }
unsigned short* tstring::getSysStr() { return makeSysStr(true); }
unsigned short* tstring::copySysStr() { return makeSysStr(false); }

unsigned short* tstring::getW() { return xtr_ts(c_str()); }

char* tstring::getC() { return data(); }

unsigned short* tstring::makeSysStr(bool keep) {
  unsigned short* w = xtr_ts(c_str());   // releases both caches first
  unsigned short* b = allocSysString(w);
  if (!b) throw std::bad_alloc();
  if (keep) sysStr = b;
  return b;
}

unsigned short* tstring::xtr_ts(const char* s) {
  if (!s) return 0;
  FreeStr();
  tobrel::selectJapaneseLocale();
  // Every character takes at least one byte, so the text's length in bytes
  // bounds its length in units: the block is sized by it and the text is
  // read once, without a measuring pass. Japanese text leaves part of the
  // block unused, and only until the next conversion request; the pages of
  // a large block that are never written are never touched either.
  const std::size_t bytes = std::strlen(s);
  // 2 (bytes + 1) bytes, asked of the factory as an int.
  if (bytes > (static_cast<std::size_t>(INT_MAX) - 2) / 2) throw std::bad_alloc();
  unsigned short* w = static_cast<unsigned short*>(AllocFactory::getInstance()->instance(static_cast<int>(2 * bytes + 2)));
  if (!w) throw std::bad_alloc();
  const std::size_t n = tobrel::cp932ToWide(w, s, bytes + 1);
  w[n] = 0;
  wideStr = w;
  return w;
}

void tstring::trx_app(const unsigned short* w) {
  if (!w) return;
  tobrel::selectJapaneseLocale();
  const std::size_t units = wideLength(w);
  if (units == 0) return;
  // A unit takes at most two bytes: the units are converted once, into a
  // temporary buffer of that size (on the stack for short texts), and the
  // text grows once, by exactly what they gave.
  if (units > (static_cast<std::size_t>(-1) - 1) / 2) throw std::bad_alloc();
  const std::size_t cap = 2 * units + 1;
  char local[kLocalBuffer];
  std::unique_ptr<char[]> heap;
  char* buf = local;
  if (cap > sizeof local) {
    heap.reset(new char[cap]);
    buf = heap.get();
  }
  std::size_t m = tobrel::wideToCp932Convert(buf, cap, w, units);
  // Only U+0000 becomes a NUL byte, so the result is m bytes without a NUL;
  // cutting at a NUL anyway keeps "up to its first NUL" true on every host.
  if (const void* nul = std::memchr(buf, 0, m)) m = static_cast<std::size_t>(static_cast<const char*>(nul) - buf);
  base_type::append(buf, m);
}

void tstring::FreeStr() {
  if (wideStr) {
    AllocFactory::getInstance()->erase(wideStr);
    wideStr = 0;
  }
  if (sysStr) {
    freeSysString(sysStr);
    sysStr = 0;
  }
}

unsigned short tstring::getClassId() { return tstring_id; }

unsigned short tstring::isA() const { return tstring_id; }

void tstring::saveContents(vostream& os) const {
  // A text never exceeds INT_MAX bytes (the allocator's limit), so the
  // count always fits the stream's 32-bit long.
  const std::size_t n = size();
  if (fvostream* file = tobrel::exactFileStream(os)) {
    // The record as fvostream's operators write it (two longs as 32-bit
    // little-endian values, then the bytes), in one transfer when short.
    const std::int32_t head[2] = {0, static_cast<std::int32_t>(n)};
    if (n <= kLocalBuffer) {
      char record[sizeof head + kLocalBuffer];
      std::memcpy(record, head, sizeof head);
      std::memcpy(record + sizeof head, data(), n);
      tobrel::putBytes(*file, record, sizeof head + n);
    } else {
      tobrel::putBytes(*file, head, sizeof head);
      tobrel::putBytes(*file, data(), n);
    }
    return;
  }
  os << 0L;
  os << static_cast<long>(n);
  tobrel::writeChars(os, data(), n);
}

void tstring::restoreContents(vistream& is) {
  base_type::clear();
  long flag = 0, count = 0;
  if (fvistream* file = tobrel::exactFileStream(is)) {
    // As fvistream's operator>>(long&): 32 bits, sign-extended, stored
    // only when they arrived.
    std::int32_t w = 0;
    if (tobrel::getValue(*file, file->fvistream::file(), &w, sizeof w)) flag = w;
    if (tobrel::getValue(*file, file->fvistream::file(), &w, sizeof w)) count = w;
  } else {
    is >> flag;
    is >> count;
  }
  if (count <= 0) return;
  try {
    if (flag != 0)
      restoreWide(is, static_cast<std::size_t>(count));
    else
      restoreNarrow(is, static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    base_type::clear();
    is.clear(is.rdstate() | vios::badbit);
  } catch (const std::length_error&) {
    base_type::clear();
    is.clear(is.rdstate() | vios::badbit);
  } catch (...) {
    base_type::clear();   // a throwing stream leaves no partial text behind
    throw;
  }
}

void tstring::restoreNarrow(vistream& is, std::size_t count) {
  if (count <= kLocalBuffer) {
    // Most texts are short: read on the stack, and the text made once, at
    // its size (up to the first NUL; a byte that did not arrive is a NUL).
    char local[kLocalBuffer];
    tobrel::readChars(is, local, count, kCheckEvery);
    const void* nul = std::memchr(local, 0, count);
    base_type::assign(local, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - local) : count);
    return;
  }
  // The bytes go straight into the text, which grows a step at a time; a
  // byte the stream does not deliver stays 0 and so ends the text.
  std::size_t done = 0;
  while (done < count && is.good()) {
    std::size_t step = std::min(nextStep(done), count - done);
    base_type::resize(done + step);
    tobrel::readChars(is, &(*this)[done], step, kCheckEvery);
    done += step;
  }
  std::size_t nul = base_type::find('\0');
  if (nul != npos) base_type::resize(nul);
  // A record cut short leaves room for bytes that never came: give it back.
  if (!is.good()) base_type::shrink_to_fit();
}

void tstring::restoreWide(vistream& is, std::size_t count) {
  std::vector<unsigned short> units;
  std::size_t done = 0;
  while (done < count && is.good()) {
    std::size_t step = std::min(nextStep(done), count - done);
    units.resize(done + step);
    unsigned short* p = &units[done];
    for (std::size_t i = 0; i < step && is.good();) {
      for (std::size_t blockEnd = std::min(step, i + kCheckEvery); i < blockEnd; ++i) {
        unsigned short u = 0;
        is >> u;
        p[i] = u;
      }
    }
    done += step;
  }
  units.push_back(0);
  trx_app(units.data());
}

vostream& operator<<(vostream& os, const tstring& t) {
  t.save(os);
  return os;
}

vostream& operator<<(vostream& os, const tstring* t) { return ::operator<<(os, static_cast<const Persistable*>(t)); }

vistream& operator>>(vistream& is, tstring& t) { return ::operator>>(is, static_cast<Persistable&>(t)); }

vistream& operator>>(vistream& is, tstring*& p) {
  Persistable* obj = 0;
  ::operator>>(is, obj);   // on an error p is left as it was
  // Stored as it is, without looking at the object's class: Persistable is
  // the first base of tstring (at offset 0), so for a tstring this is the
  // very pointer a downcast would give, and for an object of another class
  // no checked conversion is attempted on the caller's behalf.
  p = reinterpret_cast<tstring*>(obj);
  return is;
}

}  // namespace std

Persistable* tstring_create() { return new std::tstring(); }
