#include "TobrelTools/stream/file_handle.h"

#include <cstdlib>

#include "TobrelTools/export.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#endif

TOBREL_MODULE_ID("file_handle.cpp", "2026.12.05");

namespace tobrel {

void FileHandle::open(const char* name, const char* mode) {
  file_.reset();  // the earlier file is released (and flushed) before the new one opens
#if defined(_WIN32)
  _fmode = _O_BINARY;  // 0x8000: untranslated; stays in force for the process
#endif
  FILE* f = std::fopen(name, mode);
  if (!f) return;
  // Without memory for the larger buffer the C library's own one serves.
  char* buffer = static_cast<char*>(std::malloc(kBufferSize));
  if (buffer && std::setvbuf(f, buffer, _IOFBF, kBufferSize) != 0) {
    std::free(buffer);
    buffer = nullptr;
  }
  // fclose writes out what the buffer holds before the buffer goes; reset
  // closes the file itself when it cannot make the shared owner.
  file_.reset(f, [buffer](FILE* p) {
    std::fclose(p);
    std::free(buffer);
  });
}

}  // namespace tobrel
