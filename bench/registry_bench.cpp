// Registry call throughput: builds a subtree of 40 x 50 keys with 5 values
// each under one key, walks it depth first reading every value, and deletes it
// bottom-up, printing each phase's calls per second and microseconds per call.
// Uses only the Windows registry calls, so the same source measures the Linux
// registry store and a Windows registry (or Wine's).
//
//   registry_bench [outer inner]     (default 40 50)
//
// On Linux the store is a fresh file in the temporary folder unless
// TOBREL_REGISTRY names one; every change is committed before its call
// returns, as always.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"

namespace {

const char kTop[] = "Software\\TobrelTools Bench";

using Clock = std::chrono::steady_clock;

struct Phase {
  const char* name;
  long calls = 0;
  long items = 0;
  const char* itemName = "";
  double seconds = 0;
  double cpuSeconds = 0;   // this process's processor time (wall time where clock() gives that)
};

void report(const Phase& p) {
  std::printf("%-8s %8ld calls %8.3f s %10.0f calls/s %8.2f us/call", p.name, p.calls, p.seconds,
              p.calls / p.seconds, p.seconds * 1e6 / p.calls);
  if (p.items) std::printf("   %8.2f us/%s", p.seconds * 1e6 / p.items, p.itemName);
  std::printf("   (cpu %.2f us/call)\n", p.cpuSeconds * 1e6 / p.calls);
}

void check(LONG err, const char* what) {
  if (err != ERROR_SUCCESS) {
    std::fprintf(stderr, "registry_bench: %s failed with error %ld\n", what, static_cast<long>(err));
    std::exit(1);
  }
}

HKEY createKey(HKEY parent, const std::string& name, long* calls) {
  HKEY key = nullptr;
  check(RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), "create");
  ++*calls;
  return key;
}

void build(HKEY top, int outer, int inner, Phase* p) {
  const std::string text = "abcdefghijklmnopqrst";   // 20 characters
  unsigned char blob[64];
  for (int i = 0; i < 64; ++i) blob[i] = static_cast<unsigned char>(i * 3);
  char name[16];
  for (int a = 0; a < outer; ++a) {
    std::snprintf(name, sizeof name, "A%02d", a);
    HKEY ka = createKey(top, name, &p->calls);
    for (int b = 0; b < inner; ++b) {
      std::snprintf(name, sizeof name, "B%02d", b);
      HKEY kb = createKey(ka, name, &p->calls);
      for (int s = 0; s < 3; ++s) {
        char value[8];
        std::snprintf(value, sizeof value, "s%d", s);
        check(RegSetValueExA(kb, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              "set text");
      }
      DWORD dword = static_cast<DWORD>(a * inner + b);
      std::uint32_t dword32 = static_cast<std::uint32_t>(dword);
      check(RegSetValueExA(kb, "d", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword32), 4), "set dword");
      check(RegSetValueExA(kb, "bin", 0, REG_BINARY, blob, sizeof blob), "set binary");
      p->calls += 5;
      ++p->items;
      RegCloseKey(kb);
    }
    RegCloseKey(ka);
  }
}

// Depth first: the key's values, then each subkey.
void walk(HKEY key, Phase* p) {
  char name[256];
  unsigned char data[256];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    LONG err = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
    ++p->calls;
    if (err == ERROR_NO_MORE_ITEMS) break;
    check(err, "enumerate values");
    ++p->items;
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    LONG err = RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    ++p->calls;
    if (err == ERROR_NO_MORE_ITEMS) break;
    check(err, "enumerate keys");
    HKEY sub = nullptr;
    check(RegOpenKeyExA(key, name, 0, KEY_READ, &sub), "open");
    ++p->calls;
    walk(sub, p);
    RegCloseKey(sub);
  }
}

// Bottom-up: the subkeys' subtrees first, then the subkeys themselves.
void removeBelow(HKEY key, Phase* p) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    LONG err = RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    ++p->calls;
    if (err == ERROR_NO_MORE_ITEMS) break;
    check(err, "enumerate keys");
    names.emplace_back(name, nameSize);
  }
  for (const std::string& n : names) {
    HKEY sub = nullptr;
    check(RegOpenKeyExA(key, n.c_str(), 0, KEY_ALL_ACCESS, &sub), "open");
    ++p->calls;
    removeBelow(sub, p);
    RegCloseKey(sub);
    check(RegDeleteKeyA(key, n.c_str()), "delete");
    ++p->calls;
    ++p->items;
  }
}

template <typename F>
void timed(Phase* p, F f) {
  std::clock_t cpuStart = std::clock();
  Clock::time_point start = Clock::now();
  f();
  p->seconds = std::chrono::duration<double>(Clock::now() - start).count();
  p->cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  report(*p);
}

}  // namespace

int main(int argc, char** argv) {
  int outer = argc > 2 ? std::atoi(argv[1]) : 40;
  int inner = argc > 2 ? std::atoi(argv[2]) : 50;
  if (outer <= 0 || inner <= 0 || outer > 1000 || inner > 1000) {
    std::fprintf(stderr, "usage: registry_bench [outer inner]   (1 to 1000 each)\n");
    return 2;
  }
#if !defined(_WIN32)
  std::string db;
  if (!std::getenv("TOBREL_REGISTRY")) {
    const char* tmp = std::getenv("TMPDIR");
    db = std::string(tmp && *tmp ? tmp : "/tmp") + "/tobrel-registry-bench.db";
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
    tobrel::registryStoreReset(db.c_str());
  }
#endif
  HKEY top = nullptr;
  long ignored = 0;
  RegDeleteKeyA(HKEY_CURRENT_USER, kTop);   // a leftover of an interrupted run, when empty
  top = createKey(HKEY_CURRENT_USER, kTop, &ignored);

  std::printf("registry_bench: %d x %d keys, 5 values each\n", outer, inner);
  Phase create{"create"};
  create.itemName = "key";
  timed(&create, [&] { build(top, outer, inner, &create); });
  Phase read{"walk"};
  read.itemName = "value";
  timed(&read, [&] { walk(top, &read); });
  Phase remove{"delete"};
  remove.itemName = "key";
  timed(&remove, [&] { removeBelow(top, &remove); });

  RegCloseKey(top);
  RegDeleteKeyA(HKEY_CURRENT_USER, kTop);
#if !defined(_WIN32)
  if (!db.empty()) {
    tobrel::registryStoreReset(nullptr);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
  }
#endif
  return 0;
}
