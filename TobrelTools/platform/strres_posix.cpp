#include "TobrelTools/platform/strres.h"
#include "TobrelTools/export.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>
#include <string>

TOBREL_MODULE_ID("strres_posix.cpp", "2026.12.05");

namespace {

struct Registration {
  const void* module;
  const TobrelStringResource* table;
  size_t count;
};

// Registrations happen during static initialisation and unloading of any
// module, possibly while other threads load strings: one lock guards them.
std::mutex& registryLock() {
  static std::mutex* lock = new std::mutex;  // never destroyed: modules unload after exit starts
  return *lock;
}
std::list<Registration>& registrations() {
  static std::list<Registration>* list = new std::list<Registration>;
  return *list;
}

// Where the loader mapped an object: its lowest loadable segment rounded
// down to a page, which is what dladdr reports as dli_fbase.
const void* mapStart(const dl_phdr_info* info) {
  std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  std::uintptr_t lowest = UINTPTR_MAX;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    lowest = std::min<std::uintptr_t>(lowest, info->dlpi_addr + (ph.p_vaddr & ~(page - 1)));
  }
  return lowest == UINTPTR_MAX ? nullptr : reinterpret_cast<const void*>(lowest);
}

bool nameMatches(const std::string& path, const std::string& wanted) {
  std::string base = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  std::string stem = wanted;
  for (const char* ending : {".dll", ".DLL", ".so"}) {
    std::size_t n = std::strlen(ending);
    if (stem.size() > n && stem.compare(stem.size() - n, n, ending) == 0) stem.resize(stem.size() - n);
  }
  if (base == wanted || base == stem || base == stem + ".so" || base == stem + ".dll") return true;
  std::string lib = "lib" + stem + ".so";
  return base.compare(0, lib.size(), lib) == 0 && (base.size() == lib.size() || base[lib.size()] == '.');
}

struct Search {
  const char* name;  // null: the executable, which is the first object
  const void* found;
};

int visit(dl_phdr_info* info, size_t, void* data) {
  Search* search = static_cast<Search*>(data);
  if (!search->name || (info->dlpi_name && nameMatches(info->dlpi_name, search->name))) {
    search->found = mapStart(info);
    return 1;
  }
  return 0;
}

}  // namespace

extern "C" {

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  Search search{moduleName, nullptr};
  if (moduleName && !*moduleName) return nullptr;
  dl_iterate_phdr(visit, &search);
  return static_cast<HMODULE>(const_cast<void*>(search.found));
}

int LoadStringA(HINSTANCE module, unsigned int id, LPSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  const void* wanted = module ? static_cast<const void*>(module) : GetModuleHandleA(nullptr);
  std::lock_guard<std::mutex> hold(registryLock());
  for (const Registration& r : registrations()) {
    if (r.module != wanted) continue;
    for (size_t i = 0; i < r.count; ++i) {
      if (r.table[i].id != id) continue;
      size_t n = std::min<size_t>(r.table[i].length, static_cast<size_t>(size) - 1);
      std::memcpy(buffer, r.table[i].text, n);
      buffer[n] = '\0';
      return static_cast<int>(n);
    }
  }
  buffer[0] = '\0';
  return 0;
}

void* tobrel_register_string_resources(const void* anchor, const TobrelStringResource* table,
                                       size_t count) {
  Dl_info info;
  if (!anchor || !dladdr(anchor, &info) || !info.dli_fbase) return nullptr;
  std::lock_guard<std::mutex> hold(registryLock());
  registrations().push_back({info.dli_fbase, table, count});
  return &registrations().back();
}

void tobrel_unregister_string_resources(void* registration) {
  if (!registration) return;
  std::lock_guard<std::mutex> hold(registryLock());
  registrations().remove_if([registration](const Registration& r) { return &r == registration; });
}

}  // extern "C"
