// Shared ownership of a C library FILE for the two file streams.
//
// Copying a file stream makes both streams refer to the same open FILE (and so
// to one buffer and one file position, which keeps their transfers in order).
// The FILE is closed exactly once, by whichever of the sharing streams lets go
// of it last: close(), open() of another file, assignment or destruction.
#ifndef TOBRELTOOLS_STREAM_FILE_HANDLE_H_
#define TOBRELTOOLS_STREAM_FILE_HANDLE_H_

#include <cstddef>
#include <cstdio>
#include <memory>

#include "TobrelTools/export.h"

namespace tobrel {

class TOBREL_API FileHandle {
 public:
  FileHandle() = default;

  // Opens name with the C library's fopen and mode; after the call get() is
  // the new FILE or null. The FILE is fully buffered through a buffer of
  // kBufferSize bytes, freed when the FILE is closed (the C library's own
  // buffer is one block of the file system, 4 KiB typically, which costs a
  // system call for every 4 KiB of a large file). On Windows the
  // process-wide default translation mode (_fmode) is set to binary first,
  // and left so; elsewhere there is no text mode and nothing to set.
  void open(const char* name, const char* mode);

  static const std::size_t kBufferSize = 64 * 1024;

  // Lets go of this handle's share of the FILE; the last share closes it.
  void reset() { file_.reset(); }

  FILE* get() const { return file_.get(); }

 private:
  std::shared_ptr<FILE> file_;
};

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_FILE_HANDLE_H_
