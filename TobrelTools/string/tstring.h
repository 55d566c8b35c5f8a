// std::tstring: the library's narrow string. It is a standard string of
// bytes (over std::dll_allocator, so that all its memory comes from the
// library's AllocFactory) and a Persistable object (class id 0x0070), and it
// converts its text, taken as code page 932, to wide (16-bit) text and to
// OLE system strings on request.
//
//   std::tstring name("\x93\xFA\x96\x7B");       // code page 932 bytes
//   const unsigned short* w = name;              // wide copy, owned by name
//   BSTR b = name.copySysStr();                  // caller's system string
//   ...
//   SysFreeString(b);
//
// Caches. The wide copy (wideStr) and the system string (sysStr) are owned by
// the object and reflect the text at the moment they were made:
// - every request for a wide copy or a system string (the wide views, getW,
//   bstr(), getSysStr, copySysStr) first releases both, so each such request
//   invalidates every wide or system-string pointer handed out before;
// - changing the text (assignment, append, erase, ...) leaves both alone: an
//   earlier pointer stays valid, with the old content;
// - copies never share them: a new copy starts without caches, and the
//   target of an assignment keeps its own.
// Const views may replace the caches too; an object must therefore not be
// used by two threads at once, not even through const members.
//
// Narrow text converts up to its first NUL byte; wide text up to its first
// zero unit. Conversions follow code page 932 on every host (see
// TobrelTools/platform/cp932.h for what invalid text gives); on Windows they
// select the C runtime's locale "Japanese" for the whole process first.
//
// Decisions where the behaviour is ours to choose:
// - Memory exhaustion: dll_allocator::allocate throws std::bad_alloc when
//   the AllocFactory has no block (as any standard allocator does), and so
//   do the wide copy and the system-string views when their block cannot be
//   had; the text is then unchanged.
// - Reading a content record never allocates far ahead of the bytes the
//   stream has delivered: the text grows as bytes arrive, at most 64 KiB
//   ahead of them, and reading stops soon after the stream is no longer
//   good (the state is looked at every 512 elements). A record
//   whose count is larger than what the stream holds restores as the bytes
//   that did arrive (up to the first NUL) and leaves the stream's end-of-file
//   bit set; if memory runs out, the text is left empty and the stream's
//   bad bit is set. Either way the enclosing object record then fails on its
//   closing brace.
#ifndef TOBRELTOOLS_STRING_TSTRING_H_
#define TOBRELTOOLS_STRING_TSTRING_H_

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/AllocFactory.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/stream/vistream.h"
#include "TobrelTools/stream/vostream.h"

namespace std {

// The allocator of the library's strings: every block comes from the
// process-wide AllocFactory and goes back to it, so strings made by the
// library may be freed by a client and the other way round, whatever heap
// the client's runtime uses. Stateless: all instances are interchangeable.
template <class T>
class dll_allocator {
 public:
  typedef T value_type;
  typedef T* pointer;
  typedef const T* const_pointer;
  typedef T& reference;
  typedef const T& const_reference;
  typedef std::size_t size_type;
  typedef std::ptrdiff_t difference_type;
  typedef std::true_type propagate_on_container_move_assignment;
  typedef std::true_type is_always_equal;
  template <class U>
  struct rebind {
    typedef dll_allocator<U> other;
  };

  dll_allocator() noexcept {}
  dll_allocator(const dll_allocator&) noexcept = default;
  dll_allocator& operator=(const dll_allocator&) noexcept = default;
  template <class U>
  dll_allocator(const dll_allocator<U>&) noexcept {}

  // n objects' worth of bytes from AllocFactory::instance; the hint is not
  // used. Throws std::bad_alloc when the factory has no block or the size
  // does not fit its int argument.
  T* allocate(size_type n, const void* hint = 0) {
    (void)hint;
    if (n > max_size()) throw std::bad_alloc();
    void* p = AllocFactory::getInstance()->instance(static_cast<int>(n * sizeof(T)));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }

  // Gives p back to AllocFactory::erase; n is not used.
  void deallocate(T* p, size_type n) {
    (void)n;
    AllocFactory::getInstance()->erase(p);
  }

  // The most objects one block can hold: the factory takes an int size.
  size_type max_size() const noexcept { return static_cast<size_type>(INT_MAX) / sizeof(T); }

  pointer address(reference x) const noexcept { return &x; }
  const_pointer address(const_reference x) const noexcept { return &x; }
};

template <class T, class U>
bool operator==(const dll_allocator<T>&, const dll_allocator<U>&) noexcept {
  return true;
}

template <class T, class U>
bool operator!=(const dll_allocator<T>&, const dll_allocator<U>&) noexcept {
  return false;
}

// The standard string over that allocator is instantiated once, inside the
// library, and its members are exported from there.
extern template class TOBREL_API basic_string<char, char_traits<char>, dll_allocator<char>>;

class TOBREL_API tstring : public Persistable, public basic_string<char, char_traits<char>, dll_allocator<char>> {
 public:
  // The text's type, and the platform's wide string type.
  typedef basic_string<char, char_traits<char>, dll_allocator<char>> base_type;
  typedef basic_string<unsigned short> wide_type;

  // Construction. Null pointers give the empty text. Constructors from
  // pointers and from std::string take the text up to its first NUL; those
  // from base_type and tstring take all bytes, NUL bytes included. Wide text
  // is converted from code page 932's point of view (up to its first zero
  // unit). No constructor copies caches.
  tstring();
  tstring(const char* s);
  tstring(const unsigned short* w);
  tstring(const wide_type& w);
  tstring(const std::string& s);
  tstring(const base_type& s);
  tstring(const tstring& t);
  // Takes t's text; the caches of both objects stay where they are.
  tstring(tstring&& t) noexcept;
  // Releases the caches, then the text.
  virtual ~tstring();

  // All bytes of t; this object's caches are kept.
  tstring& operator=(const tstring& t);
  tstring& operator=(tstring&& t) noexcept;
  // The bytes of s up to its NUL (null: empty). s may point into this text.
  const tstring& operator=(const char* s);
  // The conversion of w (null: empty).
  const tstring& operator=(const unsigned short* w);
  // Same as operator=(const unsigned short*); typically given a BSTR.
  tstring& bstr(unsigned short* const w);

  // The text as a zero-terminated byte array; writing through the non-const
  // pointers changes the text. No conversion, caches untouched.
  operator char*();
  operator char*() const;
  operator const char*();
  operator const char*() const;

  // A fresh wide copy of the text, owned by this object (see Caches);
  // writing through it changes the copy, not the text. The empty text gives
  // a single zero unit, never null.
  operator unsigned short*();
  operator unsigned short*() const;
  operator const unsigned short*();
  operator const unsigned short*() const;

  // A fresh system string holding the text, owned by this object (see
  // Caches). The const form returns a plain pointer: a const on the
  // returned pointer itself would mean nothing.
  unsigned short* bstr();
  unsigned short* bstr() const;
  unsigned short* getSysStr();
  // A fresh system string holding the text, owned by the caller (release it
  // with SysFreeString). Afterwards this object holds a wide copy and no
  // system string.
  unsigned short* copySysStr();

  // Persistence: class id 0x0070. The content record is the long 0 (narrow
  // bytes), the long byte count, then each byte with operator<<(char);
  // reading also accepts a wide record (flag not 0: count units of
  // unsigned short, converted to code page 932).
  static unsigned short getClassId();
  unsigned short isA() const override;
  void restoreContents(vistream& is) override;
  void saveContents(vostream& os) const override;

  // ---- String operations: comparison, search, case, hash, formatting,
  // ---- resources, pieces and element access (with the resource
  // ---- constructor tstring(unsigned int id, HINSTANCE module)) are
  // ---- declared in this block and defined in tstring_ops.cpp.
  // Empty, then loadString(id, module); a failed load leaves the text empty.
  tstring(unsigned int id, HINSTANCE module);

  // Case-sensitive comparison of the bytes as unsigned values, NUL bytes
  // inside a tstring included; against a const char* the argument ends at
  // its first NUL and must not be null.
  bool operator==(const tstring& t);
  bool operator==(const tstring& t) const;
  bool operator!=(const tstring& t);
  bool operator!=(const tstring& t) const;
  bool operator!=(tstring& t);
  bool operator<(const tstring& t);
  bool operator<(const tstring& t) const;
  bool operator>(const tstring& t);
  bool operator>(const tstring& t) const;
  bool operator==(const char* s);
  bool operator==(const char* s) const;
  bool operator!=(const char* s);
  bool operator!=(const char* s) const;
  bool operator<(const char* s);
  bool operator<(const char* s) const;
  bool operator>(const char* s);
  bool operator>(const char* s) const;

  // Case-insensitive comparison, character by character in the multibyte
  // code page (_mbsicmp: a double-byte character is one value, compared
  // after case folding), each text up to its first NUL. Below 0, 0 or above
  // 0; -1 for a null argument. The wide form compares the text's wide copy
  // with w (_wcsicmp) and so replaces both caches, even on a const object.
  int compareNoCase(const tstring& t) const;
  int compareNoCase(const char* s) const;
  int compareNoCase(const unsigned short* w) const;

  // Searches. Every position is a byte offset; nothing found is 0xFFFFFFFF
  // (an unsigned int: compare with static_cast<unsigned int>(npos), since
  // the inherited npos is wider on 64-bit hosts).
  // _tfind and _trfind walk the text (up to its first NUL) by characters of
  // the multibyte code page, so a match never starts at a trail byte; an
  // empty text or needle finds nothing. c is handed over as a signed byte
  // widened to int, so with code page 932 a byte of 0x80 or above matches
  // nothing.
  unsigned int _tfind(const tstring& t) const;
  unsigned int _tfind(char c) const;
  unsigned int _trfind(char c) const;
  // Case-insensitive search: find of the lowered needle in the lowered text
  // (toLower of copies); an empty needle gives 0. The text takes part up to
  // its first NUL.
  unsigned int ifind(const tstring& t) const;
  // The standard reverse searches, brought into this class's scope.
  unsigned int rfind(const tstring& t, unsigned int pos = 0xFFFFFFFFu) const;
  unsigned int rfind(char c, unsigned int pos = 0xFFFFFFFFu) const;
  unsigned int find_last_of(const char* s, unsigned int pos, unsigned int n) const;
  unsigned int find_last_of(const char* s, unsigned int pos = 0xFFFFFFFFu) const;
  unsigned int find_last_of(char c, unsigned int pos = 0xFFFFFFFFu) const;
  unsigned int find_last_of(const base_type& s, unsigned int pos = 0xFFFFFFFFu) const;

  // Case conversion in place: the ASCII letters and the double-byte
  // characters that have a case partner in code page 932 (full-width Latin,
  // Greek, Cyrillic, Roman numerals); lengths never change. The text is cut
  // at its first NUL, and a lead byte that is its last byte is dropped.
  // Caches untouched.
  const tstring& toLower();
  const tstring& toUpper();

  // A 32-bit hash of all bytes (NUL bytes included); stable across hosts
  // and versions, so it may be stored.
  unsigned int hash() const;

  // printf-style formatting into the text. The arguments are formatted
  // before the text is replaced, so an argument may point into this very
  // text. Output that does not fit the usual 4096-byte buffer is not cut:
  // it is formatted again into a buffer of its exact size, so the text is
  // always the complete output. A null fmt, or a format the C library
  // refuses (an encoding error), leaves the empty text.
  const tstring& format(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Replaces the text with string resource id of module, cut to 1023 bytes.
  // False with the text unchanged for a null module; false with the empty
  // text when the module has no such string or an empty one.
  bool loadString(unsigned int id, HINSTANCE module);

  // At most n bytes of the text (up to its first NUL) from pos; throws
  // std::out_of_range when pos is beyond that text.
  tstring substr(unsigned int pos = 0, unsigned int n = 0xFFFFFFFFu);
  tstring substr(unsigned int pos = 0, unsigned int n = 0xFFFFFFFFu) const;

  // The byte at offset i, without a range check (offsets 0 to size() are
  // valid; size() gives the terminating NUL).
  char& operator[](unsigned int i);
  char& operator[](int i);
  const char& operator[](unsigned int i) const;
  const char& operator[](int i) const;
#if SIZE_MAX > UINT_MAX
  // An index of type size_t (size() - 1, say) would otherwise be ambiguous.
  char& operator[](std::size_t i);
  const char& operator[](std::size_t i) const;
#endif

 protected:
  // One hash step: h rotated left by 5 bits, exclusive-or w.
  void mash(unsigned int& h, unsigned int w) const;

 public:
  // ---- End of the string operations block.

 protected:
  // Same as the wide views.
  unsigned short* getW();
  // Same as operator char*().
  char* getC();
  // Converts s into a new wide copy (releasing both caches first), keeps it
  // in wideStr and returns it; null for a null s, caches untouched then.
  unsigned short* xtr_ts(const char* s);
  // Appends the conversion of w to the text; nothing for a null w. The
  // caches are not touched.
  void trx_app(const unsigned short* w);
  // Releases both caches and sets both to null.
  void FreeStr();

 private:
  static const unsigned short tstring_id = 0x0070;

  // Makes a system string of the text; keep says whether sysStr holds it.
  unsigned short* makeSysStr(bool keep);
  void restoreNarrow(vistream& is, std::size_t count);
  void restoreWide(vistream& is, std::size_t count);

  mutable unsigned short* wideStr;   // AllocFactory block, or null
  mutable unsigned short* sysStr;    // system string, or null
};

// The persistence operators, typed for tstring. They behave as those of
// Persistable: the pointer form of << needs a non-null pointer; >> into a
// tstring reads an object record into that very object (whatever class id
// it carries; a reference record is refused); >> into a tstring pointer
// creates a new object or resolves a back-reference and stores the result
// without checking its class.
TOBREL_API vostream& operator<<(vostream& os, const tstring& t);
TOBREL_API vostream& operator<<(vostream& os, const tstring* t);
TOBREL_API vistream& operator>>(vistream& is, tstring& t);
TOBREL_API vistream& operator>>(vistream& is, tstring*& p);

// The same writes on a concrete stream (fvostream, ...). Without these,
// `out << t` on such a stream would be ambiguous in ISO C++: the stream's
// own operator<<(bool) needs no conversion of `out` and a user-defined one
// of t (through the pointer views), the operators above the reverse.
template <class S, class = typename enable_if<is_base_of<vostream, S>::value && !is_same<S, vostream>::value>::type>
inline vostream& operator<<(S& os, const tstring& t) {
  return operator<<(static_cast<vostream&>(os), t);
}
template <class S, class = typename enable_if<is_base_of<vostream, S>::value && !is_same<S, vostream>::value>::type>
inline vostream& operator<<(S& os, const tstring* t) {
  return operator<<(static_cast<vostream&>(os), t);
}

}  // namespace std

// The creator registered with the class factory: a new, empty tstring.
TOBREL_API Persistable* tstring_create();

#endif  // TOBRELTOOLS_STRING_TSTRING_H_
