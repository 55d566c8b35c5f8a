// regval_t: a registry value in memory: name (empty for the key's default
// value), type (REG_SZ, REG_BINARY, REG_DWORD, ...) and a data block that
// the element owns. The data size is the length of that block and is 0
// whenever there is no block. Text set with setData(tstring, type) carries
// its terminating NUL inside the data and the size.
//
// Stream contents (inside the object record of class id 0xF035):
//   int 1, name (tstring record), unsigned long type, int data size,
//   then the data bytes, one char each.
// Reading clears the element first. The bytes are read in chunks into a
// block that grows as they arrive, so a damaged size never allocates more
// than the stream delivers. A damaged stream ends the read with
//   - a negative size: InternalException* "regval_t: negative data size <n>"
//     with the stream's fail bit set;
//   - fewer bytes than the size: the stream's own state bits (the element is
//     left without data), after which the object framing reports the missing
//     closing brace.
// A data size of 0 read from a stream leaves an empty block, not null.
//
// Text dump (toString), every line ending in a line feed:
//   --- Registry Value ---
//   Name: <name>
//   Type: REG_SZ | REG_EXPAND_SZ | REG_BINARY | REG_DWORD | REG_MULTI_SZ |
//         REG_NONE (for 0 and every other type)
//   Data: <text up to the first NUL>      for REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ
//   Data: <XX XX ... >                    for every other type: each byte as
//                                         two upper-case hexadecimal digits
//                                         and one blank
// Lines are never cut: a name or text too long for tstring::format's 4095
// characters is appended directly, giving the same text.
#ifndef TOBRELTOOLS_REGISTRY_REGVAL_H_
#define TOBRELTOOLS_REGISTRY_REGVAL_H_

#include "TobrelTools/export.h"
#include "TobrelTools/registry/concrete_stream_ops.h"
#include "TobrelTools/registry/regelm.h"

class TOBREL_API regval_t : public regelm {
 public:
  // Empty name, type 0, no data.
  regval_t();
  // A full copy, data included.
  regval_t(const regval_t& other);
  // copyIn(other).
  regval_t& operator=(const regval_t& other);

  unsigned short isA() const override;
  // Releases the data, then the name.
  ~regval_t() override;
  void restoreContents(vistream& is) override;
  void saveContents(vostream& os) const override;
  std::tstring& getName() override;
  const std::tstring& getName() const override;
  // Writes the value into parent's open key (name, type, data, size as they
  // stand); a failure is not reported.
  void restore(CRegistry& parent) override;
  // Deletes the value of this name from parent's open key; a failure is not
  // reported.
  void remove(CRegistry& parent) override;
  // delete this.
  void deleteMe() override;
  // new regval_t(*this): a full copy.
  regelm* spawn() override;
  std::tstring toString() override;
  virtual void setName(const std::tstring& name);

  static unsigned short getClassId();

  // Name, type and a private copy of other's data (none when other has none).
  void copyIn(const regval_t& other);

  unsigned long getType() const;
  // Replaces the type; the data is not touched.
  void setType(unsigned long type);
  // The data block (still owned by the element) and its size.
  void* getData() const;
  int getDataSize() const;
  // Releases the data; then, unless data is null, takes a copy of size bytes
  // and the type. With null data the element has no data and keeps its type.
  // A non-null data with a negative size throws
  // InternalException* "regval_t::setData: negative size <n>" and leaves the
  // element without data.
  void setData(const void* data, int size, unsigned long type);
  // Releases the data; then, unless text is empty, takes its bytes and a
  // terminating NUL (size = length + 1) and the type. An empty text leaves
  // no data and keeps the type.
  void setData(const std::tstring& text, unsigned long type);
  // Empty name, no data, type 0.
  void clear();

 private:
  static const unsigned short regval_t_id = 0xF035;

  void releaseData();

  std::tstring name;
  unsigned long type;
  unsigned char* data;
  int dataSize;
};

// The creator registered for 0xF035.
TOBREL_API Persistable* regval_t_create();

// As for regelm; the pointer form of >> throws when the record holds no regval_t.
TOBREL_API vostream& operator<<(vostream& os, const regval_t& obj);
TOBREL_API vostream& operator<<(vostream& os, const regval_t* obj);
TOBREL_API vistream& operator>>(vistream& is, regval_t& obj);
TOBREL_API vistream& operator>>(vistream& is, regval_t*& obj);
TOBREL_CONCRETE_STREAM_POINTER_WRITE(regval_t)

#endif  // TOBRELTOOLS_REGISTRY_REGVAL_H_
