// The registry classes on a tree of 2,000 keys (40 keys of 50 subkeys each)
// with 5 values per key, phase by phase, beside a walk over the same tree
// with the plain Win32 calls:
//   load     regtree::load            vs  RegOpenKeyExA + RegEnumKeyExA +
//                                         RegEnumValueA, depth first
//   save     operator<< to a file
//   read     operator>> from the file
//   restore  regtree::restore         vs  RegCreateKeyExA + RegSetValueExA
//   remove   regtree::remove
// Each phase runs a few rounds; the best round counts. On Linux the registry
// is a fresh store file in /tmp (removed at the end).
//
//   regclasses_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "TobrelTools/TobrelTools.h"
#include "TobrelTools/platform/registry.h"

namespace {

const int kTopKeys = 40;
const int kSubKeys = 50;

struct Value {
  std::string name;
  DWORD type;
  std::string bytes;
};

// The five values of every key: three 20-character REG_SZ, one REG_DWORD,
// one 64-byte REG_BINARY.
std::vector<Value> valuesFor(int n) {
  std::vector<Value> out;
  for (int i = 0; i < 3; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "string %d of key %07d", i, n);
    out.push_back({"text" + std::to_string(i), REG_SZ, std::string(text, 20) + std::string(1, '\0')});
  }
  out.push_back({"number", REG_DWORD, std::string(reinterpret_cast<const char*>(&n), 4)});
  std::string binary;
  for (int i = 0; i < 64; ++i) binary.push_back(static_cast<char>(n + i));
  out.push_back({"blob", REG_BINARY, binary});
  return out;
}

double seconds(const std::function<void()>& run) {
  auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The raw creation of the tree below root\path.
void rawCreate(HKEY root, const std::string& path) {
  HKEY top = nullptr;
  RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr);
  int n = 0;
  for (int i = 0; i < kTopKeys; ++i) {
    HKEY k1 = nullptr;
    RegCreateKeyExA(top, ("group " + std::to_string(i)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k1,
                    nullptr);
    for (const Value& v : valuesFor(n++)) {
      RegSetValueExA(k1, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.bytes.data()),
                     static_cast<DWORD>(v.bytes.size()));
    }
    for (int j = 0; j < kSubKeys - 1; ++j) {
      HKEY k2 = nullptr;
      RegCreateKeyExA(k1, ("item " + std::to_string(j)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k2,
                      nullptr);
      for (const Value& v : valuesFor(n++)) {
        RegSetValueExA(k2, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.bytes.data()),
                       static_cast<DWORD>(v.bytes.size()));
      }
      RegCloseKey(k2);
    }
    RegCloseKey(k1);
  }
  RegCloseKey(top);
}

// The raw depth-first walk: every subkey name, then every value, into
// buffers of the same size as CRegistry's. Returns the number of values.
long rawWalk(HKEY parent, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  long values = 0;
  char buffer[1024];
  char cls[1024];
  unsigned char data[1024];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof buffer;
    DWORD classSize = sizeof cls;
    FILETIME time;
    if (RegEnumKeyExA(key, i, buffer, &size, nullptr, cls, &classSize, &time) != ERROR_SUCCESS) break;
    values += rawWalk(key, buffer);
  }
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof buffer;
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    if (RegEnumValueA(key, i, buffer, &size, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    ++values;
  }
  RegCloseKey(key);
  return values;
}

long countValues(const regkey_t& key) {
  long n = 0;
  for (const regelm* e : key.getElements()) {
    if (const regkey_t* k = dynamic_cast<const regkey_t*>(e)) {
      n += countValues(*k);
    } else {
      ++n;
    }
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  if (rounds < 1) rounds = 1;
#if !defined(_WIN32)
  std::string db = "/tmp/regclasses_bench." + std::to_string(static_cast<long>(::getpid())) + ".db";
  tobrel::registryStoreReset(db.c_str());
#endif
  const std::string base = "Software\\TobrelTools Bench";
  const std::string source = base + "\\source";
  rawCreate(HKEY_CURRENT_USER, source);
  const std::string file = "/tmp/regclasses_bench." + std::to_string(static_cast<long>(::getpid())) + ".bin";

  double bestLoad = 1e9, bestWalk = 1e9, bestSave = 1e9, bestRead = 1e9;
  double bestRestore = 1e9, bestRawCreate = 1e9, bestRemove = 1e9;
  long loadedValues = 0, walkedValues = 0;
  for (int round = 0; round < rounds; ++round) {
    regtree tree(HKEY_CURRENT_USER, source.c_str());
    bestWalk = std::min(bestWalk, seconds([&] { walkedValues = rawWalk(HKEY_CURRENT_USER, source.c_str()); }));
    bestLoad = std::min(bestLoad, seconds([&] { tree.load(); }));
    loadedValues = countValues(tree.getTopkey());

    bestSave = std::min(bestSave, seconds([&] {
      Persistable::readyToSerialize();
      fvostream out(file.c_str());
      out << tree;
    }));
    regtree* back = nullptr;
    bestRead = std::min(bestRead, seconds([&] {
      Persistable::readyToSerialize();
      fvistream in(file.c_str());
      in >> back;
    }));

    const std::string copy = base + "\\copy " + std::to_string(round);
    const std::string raw = base + "\\raw " + std::to_string(round);
    back->setTop(HKEY_CURRENT_USER, copy.c_str());
    bestRestore = std::min(bestRestore, seconds([&] { back->restore(); }));
    bestRawCreate = std::min(bestRawCreate, seconds([&] { rawCreate(HKEY_CURRENT_USER, raw); }));
    bestRemove = std::min(bestRemove, seconds([&] { back->remove(); }));
    regtree rawTree(HKEY_CURRENT_USER, raw.c_str());
    rawTree.remove();
    delete back;
  }

  std::printf("tree: %d keys, %ld values loaded (%ld walked); best of %d rounds\n", kTopKeys * kSubKeys + 1,
              loadedValues, walkedValues, rounds);
  std::printf("%-10s %10.1f ms\n", "load", bestLoad * 1e3);
  std::printf("%-10s %10.1f ms\n", "raw walk", bestWalk * 1e3);
  std::printf("%-10s %10.1f ms\n", "save", bestSave * 1e3);
  std::printf("%-10s %10.1f ms\n", "read back", bestRead * 1e3);
  std::printf("%-10s %10.1f ms\n", "restore", bestRestore * 1e3);
  std::printf("%-10s %10.1f ms\n", "raw create", bestRawCreate * 1e3);
  std::printf("%-10s %10.1f ms\n", "remove", bestRemove * 1e3);
  std::printf("load / raw walk      = %.2f (target <= 1.5)\n", bestLoad / bestWalk);
  std::printf("restore / raw create = %.2f (target <= 1.5)\n", bestRestore / bestRawCreate);

  regtree cleanup(HKEY_CURRENT_USER, base.c_str());
  cleanup.remove();
  std::remove(file.c_str());
#if !defined(_WIN32)
  tobrel::registryStoreReset(nullptr);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
#endif
  return 0;
}
