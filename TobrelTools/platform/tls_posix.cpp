#include <pthread.h>

#include <climits>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/tls.h"

TOBREL_MODULE_ID("tls_posix.cpp", "2026.12.05");

// Slots are pthread keys without destructors: Windows never releases a
// thread's slot value on its own, and neither do we. A key is an unsigned
// integer, so its value serves directly as the slot index.

namespace {

bool fitsIndex(pthread_key_t key) {
  return static_cast<unsigned long long>(key) < static_cast<unsigned long long>(TLS_OUT_OF_INDEXES);
}

}  // namespace

extern "C" DWORD TlsAlloc(void) {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) return TLS_OUT_OF_INDEXES;
  if (!fitsIndex(key)) {
    pthread_key_delete(key);
    return TLS_OUT_OF_INDEXES;
  }
  return static_cast<DWORD>(key);
}

extern "C" LPVOID TlsGetValue(DWORD index) {
  if (index == TLS_OUT_OF_INDEXES) return nullptr;
  return pthread_getspecific(static_cast<pthread_key_t>(index));
}

extern "C" BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (index == TLS_OUT_OF_INDEXES) return FALSE;
  return pthread_setspecific(static_cast<pthread_key_t>(index), value) == 0 ? TRUE : FALSE;
}

extern "C" BOOL TlsFree(DWORD index) {
  if (index == TLS_OUT_OF_INDEXES) return FALSE;
  return pthread_key_delete(static_cast<pthread_key_t>(index)) == 0 ? TRUE : FALSE;
}
