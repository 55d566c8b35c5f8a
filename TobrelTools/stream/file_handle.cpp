#include "TobrelTools/stream/file_handle.h"
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
  if (f) file_.reset(f, [](FILE* p) { std::fclose(p); });
}

}  // namespace tobrel
