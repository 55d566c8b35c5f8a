#include "TobrelTools/registry/CRegistry.h"

#include <cstring>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/registry/regval.h"

TOBREL_MODULE_ID("CRegistry.cpp", "2026.12.05");

CRegistry::CRegistry(HKEY root, const char* name) : rootKey(root), key(0) {
  if (name) open(std::tstring(name));
}

CRegistry::CRegistry(const CRegistry& other) : rootKey(other.rootKey), key(0) {
  if (!other.keyName.empty()) {
    keyName = other.keyName;
    if (rootKey) open(keyName);
  }
}

CRegistry& CRegistry::operator=(const CRegistry& other) {
  if (this == &other) return *this;
  release();
  rootKey = other.rootKey;
  keyName = other.keyName;
  if (!keyName.empty() && rootKey) open(keyName);
  return *this;
}

CRegistry::~CRegistry() { release(); }

void CRegistry::release() {
  if (key) {
    RegCloseKey(key);
    key = 0;
  }
}

bool CRegistry::open(const std::tstring& name) {
  release();
  keyName = name;
  const char* subkey = keyName.empty() ? 0 : keyName.c_str();
  if (RegOpenKeyExA(rootKey, subkey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) return true;
  key = 0;
  if (RegOpenKeyExA(rootKey, subkey, 0, KEY_READ, &key) == ERROR_SUCCESS) return true;
  key = 0;
  return false;
}

bool CRegistry::create(const std::tstring& name, unsigned long options) {
  release();
  keyName = name;
  DWORD disposition = 0;
  if (RegCreateKeyExA(rootKey, keyName.c_str(), 0, 0, options, KEY_ALL_ACCESS, 0, &key,
                      &disposition) == ERROR_SUCCESS) {
    return true;
  }
  key = 0;
  return false;
}

bool CRegistry::create(const regkey_t& element, unsigned long options) {
  release();
  const std::tstring& name = element.getName();
  const std::tstring& cls = element.getClass();
  char* classText = cls.empty() ? 0 : const_cast<char*>(cls.c_str());
  DWORD disposition = 0;
  if (RegCreateKeyExA(rootKey, name.c_str(), 0, classText, options, KEY_ALL_ACCESS, 0, &key,
                      &disposition) == ERROR_SUCCESS) {
    keyName = name;
    return true;
  }
  key = 0;
  return false;
}

bool CRegistry::close() {
  if (!key) return false;
  LONG rc = RegCloseKey(key);
  key = 0;  // a handle the platform refused to close is not ours to retry
  return rc == ERROR_SUCCESS;
}

CRegistry::operator bool() const { return key != 0; }
CRegistry::operator HKEY() const { return key; }
HKEY CRegistry::getKey() const { return key; }
HKEY CRegistry::getRootKey() const { return rootKey; }
std::tstring CRegistry::getKeyName() const { return keyName; }

bool CRegistry::get(const std::tstring& valueName, std::tstring& text) {
  char buffer[bufferSize];
  buffer[0] = 0;
  DWORD type = 0;
  DWORD size = bufferSize;
  if (RegQueryValueExA(key, valueName.c_str(), 0, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (size > bufferSize) size = bufferSize;  // never trust a size past the buffer
  const void* nul = std::memchr(buffer, 0, size);
  size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : size;
  text.erase();
  text.append(buffer, length);
  return true;
}

bool CRegistry::get(const std::tstring& valueName, unsigned char* buffer, unsigned long* size) {
  DWORD type = 0;
  return RegQueryValueExA(key, valueName.c_str(), 0, &type, buffer, size) == ERROR_SUCCESS;
}

unsigned long CRegistry::querySize(const std::tstring& valueName) {
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName.c_str(), 0, 0, 0, &size) != ERROR_SUCCESS) return 0;
  return size;
}

unsigned long CRegistry::queryType(const std::tstring& valueName) {
  DWORD type = 0;
  if (RegQueryValueExA(key, valueName.c_str(), 0, &type, 0, 0) != ERROR_SUCCESS) return 0;
  return type;
}

bool CRegistry::set(const std::tstring& valueName, const std::tstring& text) {
  return RegSetValueExA(key, valueName.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.length() + 1)) == ERROR_SUCCESS;
}

bool CRegistry::set(const std::tstring& valueName, const unsigned char* data, unsigned long size) {
  return RegSetValueExA(key, valueName.c_str(), 0, REG_BINARY, data, size) == ERROR_SUCCESS;
}

bool CRegistry::set(const regval_t& value) {
  return RegSetValueExA(key, value.getName().c_str(), 0, value.getType(),
                        static_cast<const BYTE*>(value.getData()),
                        static_cast<DWORD>(value.getDataSize())) == ERROR_SUCCESS;
}

bool CRegistry::deleteValue(const std::tstring& valueName) {
  return RegDeleteValueA(key, valueName.c_str()) == ERROR_SUCCESS;
}

bool CRegistry::deleteKey(const std::tstring& subkeyName) {
  return RegDeleteKeyA(key, subkeyName.c_str()) == ERROR_SUCCESS;
}

bool CRegistry::enumKey(unsigned long index, regkey_t& element) {
  char name[bufferSize];
  char cls[bufferSize];
  std::memset(name, 0, sizeof name);
  std::memset(cls, 0, sizeof cls);
  DWORD nameSize = bufferSize;
  DWORD classSize = bufferSize;
  FILETIME lastWrite = {0, 0};
  if (RegEnumKeyExA(key, index, name, &nameSize, 0, cls, &classSize, &lastWrite) != ERROR_SUCCESS) {
    return false;
  }
  // The buffers were zero-filled and the platform writes at most their size,
  // so the last byte is still the terminating NUL.
  name[bufferSize - 1] = 0;
  cls[bufferSize - 1] = 0;
  element.setName(std::tstring(name));
  element.setClass(std::tstring(cls));
  filetime time;
  time.dwLowDateTime = lastWrite.dwLowDateTime;
  time.dwHighDateTime = lastWrite.dwHighDateTime;
  element.setLastWriteTime(time);
  return true;
}

bool CRegistry::enumValue(unsigned long index, regval_t& element) {
  element.clear();
  char name[bufferSize];
  unsigned char data[bufferSize];
  std::memset(name, 0, sizeof name);
  std::memset(data, 0, sizeof data);
  DWORD nameSize = bufferSize;
  DWORD dataSize = bufferSize;
  DWORD type = 0;
  if (RegEnumValueA(key, index, name, &nameSize, 0, &type, data, &dataSize) != ERROR_SUCCESS) {
    return false;
  }
  name[bufferSize - 1] = 0;
  if (dataSize > bufferSize) dataSize = bufferSize;
  element.setName(std::tstring(name));
  element.setData(data, static_cast<int>(dataSize), type);
  return true;
}

std::tstring CRegistry::addKey(const std::tstring& path, const std::tstring& name) {
  if (path.empty()) return name;
  std::tstring result(path);
  result.append(1, '\\');
  result.append(name);
  return result;
}
