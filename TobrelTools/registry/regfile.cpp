// .reg import: parse the whole file, then apply its steps through the
// registry calls inside one registry batch.
#include "TobrelTools/registry/regfile.h"

#include <cstdio>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/registry.h"
#include "TobrelTools/registry/internal/regfile_format.h"

TOBREL_MODULE_ID("regfile.cpp", "2026.12.05");

namespace tobrel {
namespace regfile {

// A registry error code with its meaning, for messages.
std::string errorText(LONG code) {
  const char* what = nullptr;
  switch (code) {
    case ERROR_FILE_NOT_FOUND: what = "not found"; break;
    case ERROR_ACCESS_DENIED: what = "access denied"; break;
    case ERROR_INVALID_HANDLE: what = "invalid handle"; break;
    case ERROR_INVALID_PARAMETER: what = "invalid parameter"; break;
    case ERROR_BAD_PATHNAME: what = "bad path"; break;
    case ERROR_BUSY: what = "registry busy"; break;
    case ERROR_KEY_DELETED: what = "key deleted"; break;
    case ERROR_CANTOPEN: what = "cannot open the registry"; break;
    case ERROR_CANTWRITE: what = "cannot write the registry"; break;
    case ERROR_REGISTRY_CORRUPT: what = "registry damaged"; break;
    default: break;
  }
  std::string out = "error " + std::to_string(code);
  return what ? out + " (" + what + ")" : out;
}

namespace {

// Deletes `path` below `root` with everything under it; a missing key is
// not an error.
LONG deleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG err = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  if (err == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> children;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    err = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (err != ERROR_SUCCESS) break;
    children.emplace_back(name, size);
  }
  if (err == ERROR_NO_MORE_ITEMS) err = ERROR_SUCCESS;
  for (std::size_t i = 0; i < children.size() && err == ERROR_SUCCESS; ++i) err = deleteTree(key, children[i]);
  RegCloseKey(key);
  return err == ERROR_SUCCESS ? RegDeleteKeyA(root, path.c_str()) : err;
}

std::string fullName(const RegOp& op) {
  return std::string(rootName(op.root)) + (op.path.empty() ? "" : "\\" + op.path);
}

bool apply(const std::vector<RegOp>& ops, std::string* error) {
  RegistryBatch batch(true);
  if (batch.status() != ERROR_SUCCESS) {
    *error = "cannot open the registry: " + errorText(batch.status());
    return false;
  }
  HKEY current = nullptr;
  for (const RegOp& op : ops) {
    LONG err = ERROR_SUCCESS;
    std::string what;
    switch (op.kind) {
      case RegOp::kKey:
        if (current) RegCloseKey(current);
        current = nullptr;
        err = RegCreateKeyExA(op.root, op.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &current, nullptr);
        what = "cannot create key " + fullName(op);
        break;
      case RegOp::kDeleteKey:
        if (current) RegCloseKey(current);
        current = nullptr;
        err = deleteTree(op.root, op.path);
        what = "cannot delete key " + fullName(op);
        break;
      case RegOp::kSetValue:
        err = RegSetValueExA(current, op.name.c_str(), 0, op.type, reinterpret_cast<const BYTE*>(op.data.data()),
                             static_cast<DWORD>(op.data.size()));
        what = "cannot set value \"" + op.name + "\"";
        break;
      case RegOp::kDeleteValue:
        err = RegDeleteValueA(current, op.name.c_str());
        if (err == ERROR_FILE_NOT_FOUND) err = ERROR_SUCCESS;
        what = "cannot delete value \"" + op.name + "\"";
        break;
    }
    if (err != ERROR_SUCCESS) {
      if (current) RegCloseKey(current);
      *error = "line " + std::to_string(op.line) + ": " + what + ": " + errorText(err);
      return false;
    }
  }
  if (current) RegCloseKey(current);
  LONG err = batch.commit();
  if (err != ERROR_SUCCESS) {
    *error = "cannot commit the changes: " + errorText(err);
    return false;
  }
  return true;
}

}  // namespace
}  // namespace regfile

bool checkRegText(const std::string& bytes, std::string* error) {
  std::vector<regfile::RegOp> ops;
  return regfile::parseRegText(bytes, &ops, error);
}

bool importRegText(const std::string& bytes, std::string* error) {
  std::string ignored;
  std::string* err = error ? error : &ignored;
  std::vector<regfile::RegOp> ops;
  if (!regfile::parseRegText(bytes, &ops, err)) return false;
  return regfile::apply(ops, err);
}

bool importRegFile(const char* path, std::string* error) {
  std::string ignored;
  std::string* err = error ? error : &ignored;
  FILE* f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) {
    *err = std::string("cannot open ") + (path ? path : "(no file name)");
    return false;
  }
  std::string bytes;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (readError) {
    *err = std::string("cannot read ") + path;
    return false;
  }
  return importRegText(bytes, err);
}

}  // namespace tobrel
