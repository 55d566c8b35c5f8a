// std::tstring core: what each constructor keeps of NUL bytes, the lifetime
// of the wide copy and the system string, and the content record in both
// directions, including damaged records.
#include "TobrelTools/string/tstring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/memory_stream.h"
#include "tests/test_util.h"

namespace {

using std::tstring;
using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;
typedef std::vector<unsigned char> Bytes;

std::string text(const tstring& t) { return std::string(t.data(), t.size()); }

std::basic_string<unsigned short> units(const unsigned short* w) {
  return w ? std::basic_string<unsigned short>(w) : std::basic_string<unsigned short>();
}

// Bytes the heap holds for the program right now, where the C library can
// tell (glibc's heap; not under a sanitizer's allocator, which reports 0).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOBREL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TOBREL_TEST_ASAN 1
#endif

std::size_t liveHeapBytes() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33) && !defined(TOBREL_TEST_ASAN)
  struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
#else
  return 0;
#endif
}

// A tstring that lets the tests call the protected conversion helpers.
struct Probe : tstring {
  using tstring::tstring;
  using tstring::operator=;
  using tstring::FreeStr;
  using tstring::getW;
  using tstring::trx_app;
  using tstring::xtr_ts;
};

Bytes save(const tstring& t) {
  Persistable::readyToSerialize();
  MemoryOStream os;
  os << t;
  return os.bytes();
}

// An object record of class tstring around the given content bytes.
Bytes record(const Bytes& contents) {
  Bytes out = {0x3A, 0x70, 0x00, 0x7B};
  out.insert(out.end(), contents.begin(), contents.end());
  out.push_back(0x7D);
  return out;
}

Bytes le32(long v) {
  unsigned long u = static_cast<unsigned long>(v);
  return Bytes{static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u >> 16),
               static_cast<unsigned char>(u >> 24)};
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---------------------------------------------------------------- construction

TEST(TstringConstruct, NullPointersGiveTheEmptyText) {
  EXPECT_TRUE(tstring(static_cast<const char*>(0)).empty());
  EXPECT_TRUE(tstring(static_cast<const unsigned short*>(0)).empty());
  tstring a("old"), b("old"), c("old");
  a = static_cast<const char*>(0);
  b = static_cast<const unsigned short*>(0);
  EXPECT_TRUE(a.empty() && b.empty() && c.bstr(static_cast<unsigned short*>(0)).empty());
}

// What each source keeps of NUL bytes; wide text (converted to code page
// 932, assigned or through bstr) replaces the text rather than appending.
TEST(TstringConstruct, EachSourceKeepsWhatItShouldOfNulBytes) {
  const std::string withNul("ab\0cd", 5);
  tstring all(tstring::base_type(withNul.data(), 5));
  EXPECT_EQ("ab", text(tstring(withNul)));                     // std::string: up to the NUL
  EXPECT_EQ(withNul, text(all));                               // base: all bytes
  EXPECT_EQ(withNul, text(tstring(all)));                      // copy: all bytes
  tstring assigned("x");
  assigned = all;
  EXPECT_EQ(withNul, text(assigned));
  const unsigned short w[] = {'a', 0x3042, 0, 'z'};
  EXPECT_EQ("a\x82\xA0", text(tstring(std::basic_string<unsigned short>(w, 4))));   // wide: up to the zero unit
  tstring a("keep");
  a = w;
  EXPECT_EQ("a\x82\xA0", text(a));
  EXPECT_EQ("a\x82\xA0", text(tstring("x").bstr(const_cast<unsigned short*>(w))));
}

// Texts of every length from 0 to 40 units, starting at each position of an
// 8-byte word, with units after the terminator that must not be taken: the
// wide text ends at its zero unit exactly, and the wide view of the result
// gives the same units back. Units near the zero (0x0001, 0x4E00) and with
// the high bit (0x8000, 0xFFFF) lie next to the terminator, where a text's
// end is searched a word at a time.
TEST(TstringConstruct, WideTextEndsAtItsZeroUnitAtAnyLengthAndPlace) {
  const unsigned short pattern[] = {0x3042, 'a', 0x0001, 0x65E5, 0x4E00, 0xFF71, 'Z', 0x30A2};
  const unsigned short after[] = {0x8000, 0xFFFF, 'q', 0x0001};
  for (std::size_t offset = 0; offset < 4; ++offset) {
    for (std::size_t length = 0; length <= 40; ++length) {
      std::vector<unsigned short> buf(offset + length + 1 + 4, 0x7777);
      std::basic_string<unsigned short> expected;
      for (std::size_t i = 0; i < length; ++i) expected += pattern[i % 8];
      std::copy(expected.begin(), expected.end(), buf.begin() + offset);
      buf[offset + length] = 0;
      std::copy(after, after + 4, buf.begin() + offset + length + 1);
      tstring t(&buf[offset]);
      // Each unit of the pattern is one or two bytes of code page 932.
      ASSERT_GE(t.size(), length) << offset << " " << length;
      ASSERT_LE(t.size(), 2 * length) << offset << " " << length;
      ASSERT_EQ(units(t), expected) << offset << " " << length;
    }
  }
}

TEST(TstringConstruct, AssigningTextFromInsideItself) {
  tstring t("hello world");
  t = t.c_str() + 6;
  EXPECT_EQ("world", text(t));
  Probe p("abc");
  p = p.getW();                                                  // the wide copy outlives the text change
  EXPECT_EQ("abc", text(p));
}

TEST(TstringConstruct, MoveTakesTheTextOnly) {
  tstring a("moved text");
  const unsigned short* w = a;
  tstring b(std::move(a));
  EXPECT_EQ('m', w[0]);                                          // a still owns its wide copy
  tstring c;
  c = std::move(b);
  EXPECT_EQ("moved text", text(c));
}

// ---------------------------------------------------------------- views and caches

// The wide view is a private copy (also of the empty text, also through a
// const object); a system string holds the text with its length.
TEST(TstringViews, WideViewsAndSystemStrings) {
  tstring empty;
  const unsigned short* e = empty;
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(0, e[0]);
  EXPECT_EQ(0u, SysStringLen(reinterpret_cast<BSTR>(empty.bstr())));
  tstring t("A\x82\xA0");
  const std::basic_string<unsigned short> expected{'A', 0x3042};
  unsigned short* w = t;
  EXPECT_EQ(expected, units(w));
  w[1] = 'Z';                                                    // changes the copy only
  EXPECT_EQ("A\x82\xA0", text(t));
  const tstring& c = t;
  EXPECT_EQ(expected, units(static_cast<const unsigned short*>(c)));
  unsigned short* b = t.bstr();
  EXPECT_EQ(2u, SysStringLen(reinterpret_cast<BSTR>(b)));
  EXPECT_EQ(expected, units(b));
  EXPECT_EQ(expected, units(c.bstr()));                          // each request replaces b
  EXPECT_EQ(expected, units(t.getSysStr()));
  char* narrow = t;                                              // the narrow views show the text itself
  narrow[0] = 'B';
  EXPECT_EQ("B\x82\xA0", text(t));
  EXPECT_EQ(c.c_str(), static_cast<const char*>(c));
}

TEST(TstringCaches, TextChangesLeaveEarlierPointersValidAndUnchanged) {
  tstring t("first");
  const unsigned short* w = t;
  t = "second and longer";
  t.append(" text");
  t.erase(0, 3);
  EXPECT_EQ((std::basic_string<unsigned short>{'f', 'i', 'r', 's', 't'}), units(w));
  unsigned short* b = t.bstr();                                  // a new request: w is gone now
  t = "third";
  EXPECT_EQ(19u, SysStringLen(reinterpret_cast<BSTR>(b)));
}

// Copies never share caches (each is released once: sanitizer build), and
// the caller owns a copied system string.
TEST(TstringCaches, CopiesNeverShareCaches) {
  tstring* a = new tstring("shared?");
  (void)static_cast<const unsigned short*>(*a);
  (void)a->bstr();
  tstring* copy = new tstring(*a);
  tstring target("target");
  const unsigned short* wt = target;
  target = *a;                                                   // keeps its own wide copy
  EXPECT_EQ('t', wt[0]);
  const unsigned short* wc = *copy;
  unsigned short* owned = a->copySysStr();
  EXPECT_NE(owned, a->bstr());
  delete a;                                                      // releases a's caches only
  EXPECT_EQ('s', wc[0]);
  EXPECT_EQ(7u, SysStringLen(reinterpret_cast<BSTR>(owned)));
  EXPECT_EQ('s', owned[0]);
  SysFreeString(reinterpret_cast<BSTR>(owned));
  delete copy;
}

TEST(TstringCaches, ProtectedHelpers) {
  Probe p("ab");
  EXPECT_EQ(nullptr, p.xtr_ts(0));
  EXPECT_EQ((std::basic_string<unsigned short>{0x3042}), units(p.xtr_ts("\x82\xA0")));
  EXPECT_EQ("ab", text(p));                                      // xtr_ts converts, it does not assign
  const unsigned short more[] = {0x3044, 0};
  p.trx_app(more);
  p.trx_app(0);
  EXPECT_EQ("ab\x82\xA2", text(p));
  p.FreeStr();
  p.FreeStr();                                                   // twice is harmless
}

// Each request for a wide copy or a system string releases both caches, so
// repeated requests never pile up memory; the destructor releases the rest.
TEST(TstringCaches, RequestsReleaseThePreviousCaches) {
  if (liveHeapBytes() == 0) GTEST_SKIP() << "no heap statistics here";
  tstring t(std::string(100000, 'x'));
  std::size_t before = liveHeapBytes();
  for (int i = 0; i < 20; ++i) {
    (void)static_cast<const unsigned short*>(t);
    (void)t.bstr();
  }
  std::size_t both = liveHeapBytes();
  EXPECT_LT(both - before, 3 * 200000u);                         // one wide copy and one system string
  (void)static_cast<const unsigned short*>(t);                   // the system string goes
  EXPECT_LT(liveHeapBytes(), both - 150000);
}

// ---------------------------------------------------------------- persistence

TEST(TstringRecord, TwoByteTextGivesTheFifteenByteRecord) {
  EXPECT_EQ((Bytes{0x3A, 0x70, 0x00, 0x7B, 0, 0, 0, 0, 2, 0, 0, 0, 0x41, 0x42, 0x7D}), save(tstring("AB")));
  EXPECT_EQ((Bytes{0x3A, 0x70, 0x00, 0x7B, 0, 0, 0, 0, 0, 0, 0, 0, 0x7D}), save(tstring()));
  EXPECT_EQ(record(cat({le32(0), le32(3), Bytes{'a', 0, 'b'}})), save(tstring(tstring::base_type("a\0b", 3))));
  EXPECT_EQ(0x0070, tstring().isA());
  EXPECT_EQ(0x0070, tstring::getClassId());
}

// Records read back whole, replacing the old text (and as new objects of the
// class through the pointer form): narrow text up to its first NUL, wide text
// (any flag but 0) up to its zero unit, nothing more after a count below 1.
TEST(TstringRecord, RecordsReadBackAsText) {
  const struct {
    Bytes contents;
    const char* text;
  } cases[] = {
      {cat({le32(0), le32(3), Bytes{'a', 0, 'b'}}), "a"},
      {cat({le32(7), le32(3), Bytes{0x42, 0x30, 0, 0, 0x43, 0}}), "\x82\xA0"},
      {cat({le32(0), le32(0)}), ""},
      {cat({le32(1), le32(0)}), ""},
      {cat({le32(0), le32(-1)}), ""},
      {cat({le32(1), le32(-0x7FFFFFFFL - 1)}), ""},
  };
  for (const auto& c : cases) {
    const Bytes bytes = record(c.contents);
    SCOPED_TRACE(testing::PrintToString(bytes));
    Persistable::readyToSerialize();
    MemoryIStream is(bytes);
    tstring t("old text");
    is >> t;
    EXPECT_EQ(c.text, text(t));
    EXPECT_TRUE(is.good());
    EXPECT_EQ(bytes.size(), is.position());
  }
  const Bytes ab = save(tstring("AB"));
  MemoryIStream is(ab);
  Persistable* p = 0;
  is >> p;
  std::unique_ptr<Persistable> made(p);
  ASSERT_NE(nullptr, dynamic_cast<tstring*>(p));
  EXPECT_EQ("AB", text(*dynamic_cast<tstring*>(p)));
}

// The exact file streams write and read content records on a road of their
// own: the same bytes as any other stream for texts around the length where
// that road changes, and the same text, state and position for records cut
// short anywhere or holding a NUL.
TEST(TstringRecord, FileStreamsMatchOtherStreamsWhole) {
  const std::string path = tobrel::test::tempPath("record.bin");
  for (std::size_t n : {0, 1, 20, 511, 512, 513, 5000}) {
    std::string body(n, 'a');
    for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<char>('a' + i % 26);
    tstring t(tstring::base_type(body.data(), body.size()));
    Persistable::readyToSerialize();
    MemoryOStream memory;
    memory << t;
    Persistable::readyToSerialize();
    {
      fvostream file(path.c_str());
      file << t;
      EXPECT_TRUE(file.good());
    }
    EXPECT_EQ(tobrel::test::bytesOf(path), memory.bytes()) << n;
  }
}

TEST(TstringRecord, FileStreamsMatchOtherStreamsDamaged) {
  const std::string path = tobrel::test::tempPath("damaged.bin");
  const Bytes whole = {0, 0, 0, 0, 6, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 'e'};
  std::vector<Bytes> records;
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) records.push_back(Bytes(whole.begin(), whole.begin() + cut));
  records.push_back({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'x'});       // negative count
  records.push_back({0, 0, 0, 0, 0x00, 0x10, 0x00, 0x00, 'x', 'y'});  // 4096 announced, 2 there
  for (const Bytes& record : records) {
    SCOPED_TRACE(record.size());
    tobrel::test::writeBytes(path, record);
    MemoryIStream memory(record);
    tstring fromMemory("old");
    fromMemory.restoreContents(memory);
    fvistream file(path.c_str());
    tstring fromFile("old");
    fromFile.restoreContents(file);
    EXPECT_EQ(text(fromFile), text(fromMemory));
    EXPECT_EQ(file.rdstate(), memory.rdstate());
    EXPECT_EQ(std::ftell(file.file()), static_cast<long>(memory.position()));
  }
}

// ---------------------------------------------------------------- damaged records

// A count far beyond the bytes that follow: the reader takes what arrives,
// the stream ends not good, and the enclosing record fails on its brace.
TEST(TstringDamaged, CountBeyondTheStream) {
  for (long flag : {0L, 1L}) {
    Bytes bytes = record(cat({le32(flag), le32(0x7FFFFFFF), Bytes{'a', 0, 'b', 0}}));
    bytes.pop_back();                                            // no closing brace either
    Persistable::readyToSerialize();
    MemoryIStream is(bytes);
    tstring t;
    bool threw = false;
    try {
      is >> t;
    } catch (InternalException* e) {
      threw = true;
      EXPECT_EQ("Invalid format: can't find closing brace.", e->getMsg());
      delete e;
    }
    EXPECT_TRUE(threw);
    EXPECT_FALSE(is.good());
    EXPECT_EQ(flag ? "ab" : "a", text(t));
  }
}

// A stream that watches the heap while it delivers each element.
class HeapWatchingStream : public MemoryIStream {
 public:
  explicit HeapWatchingStream(const Bytes& b) : MemoryIStream(b), peak_(liveHeapBytes()) {}
  vistream& operator>>(char& c) override {
    watch();
    return MemoryIStream::operator>>(c);
  }
  vistream& operator>>(unsigned short& u) override {
    watch();
    return MemoryIStream::operator>>(u);
  }
  using MemoryIStream::operator>>;
  std::size_t peak() const { return peak_; }

 private:
  void watch() { peak_ = std::max(peak_, liveHeapBytes()); }
  std::size_t peak_;
};

TEST(TstringDamaged, HostileCountsCostMemoryOnlyForBytesThatArrive) {
  if (liveHeapBytes() == 0) GTEST_SKIP() << "no heap statistics here";
  for (long flag : {0L, 1L}) {
    Bytes bytes = cat({le32(flag), le32(0x7FFFFFFF), Bytes(20000, 'x')});
    std::size_t before = liveHeapBytes();
    HeapWatchingStream is(bytes);
    tstring t;
    t.restoreContents(is);
    EXPECT_TRUE(is.eof());
    EXPECT_LT(is.peak() - before, 256u * 1024) << "flag " << flag;
    EXPECT_EQ(flag ? 10000u : 20000u, t.size());
  }
}

// A stream whose reads run out of memory after a few bytes.
class StarvingStream : public MemoryIStream {
 public:
  explicit StarvingStream(const Bytes& b) : MemoryIStream(b) {}
  vistream& operator>>(char& c) override {
    if (++reads_ > 3) throw std::bad_alloc();
    return MemoryIStream::operator>>(c);
  }
  using MemoryIStream::operator>>;

 private:
  int reads_ = 0;
};

TEST(TstringDamaged, MemoryExhaustionLeavesTheTextEmptyAndTheStreamBad) {
  Bytes bytes = cat({le32(0), le32(100), Bytes(100, 'q')});
  StarvingStream is(bytes);
  tstring t("old");
  t.restoreContents(is);
  EXPECT_TRUE(t.empty());
  EXPECT_TRUE(is.bad());
}

// ---------------------------------------------------------------- allocator

TEST(DllAllocator, BlocksComeFromTheFactoryAndOversizeIsRefused) {
  std::dll_allocator<char> a;
  std::dll_allocator<int> b(a);
  EXPECT_TRUE(a == b && !(a != b));
  EXPECT_THROW(a.allocate(a.max_size() + 1), std::bad_alloc);
  EXPECT_THROW(b.allocate(b.max_size() + 1), std::bad_alloc);
  tstring::base_type s(1000, 'k');                               // the standard string over it
  s.append(s);
  EXPECT_EQ(2000u, s.size());
}

}  // namespace
