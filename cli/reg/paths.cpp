#include "cli/reg/paths.h"

#include <cstdint>

#include "TobrelTools/export.h"
#include "cli/command.h"

TOBREL_MODULE_ID("paths.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

struct Root {
  const char* longName;
  const char* shortName;
  HKEY handle;
};

const Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
};

bool sameLetters(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

}  // namespace

RegistryPath parseRegistryPath(const std::string& text) {
  std::size_t slash = text.find('\\');
  std::string rootText = text.substr(0, slash);
  const Root* root = nullptr;
  for (const Root& r : kRoots) {
    if (sameLetters(rootText, r.longName) || sameLetters(rootText, r.shortName)) root = &r;
  }
  if (!root) {
    if (text.empty()) throw UsageError("empty registry path");
    throw UsageError("'" + text + "' does not start with a root key (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, "
                     "HKEY_LOCAL_MACHINE, HKEY_USERS, or HKCR, HKCU, HKLM, HKU)");
  }
  RegistryPath path{root->handle, root->longName, std::string()};
  while (slash != std::string::npos) {
    std::size_t next = text.find('\\', slash + 1);
    std::string component = text.substr(slash + 1, next == std::string::npos ? std::string::npos : next - slash - 1);
    if (!component.empty()) {
      if (!path.subkey.empty()) path.subkey += '\\';
      path.subkey += component;
    }
    slash = next;
  }
  return path;
}

std::string rootNameOf(HKEY root) {
  for (const Root& r : kRoots) {
    if (r.handle == root) return r.longName;
  }
  return std::string();
}

}  // namespace cli
}  // namespace tobrel
