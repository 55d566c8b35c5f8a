// The .reg writer: walks a subtree through the registry calls and writes it
// as the registry editor writes it.
#include <cstdio>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/regfile.h"
#include "TobrelTools/platform/registry.h"
#include "TobrelTools/registry/internal/regfile_format.h"

TOBREL_MODULE_ID("regfile_write.cpp", "2026.12.05");

namespace tobrel {
namespace regfile {

std::string errorText(LONG code);

namespace {

// The registry editor ends a line of hex data once it reaches this column.
const std::size_t kHexWrapColumn = 77;

std::size_t charCount(const std::string& s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i += charLength(s, i)) ++n;
  return n;
}

// A text between double quotes with \ and " escaped; trail bytes of
// double-byte characters are left alone.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = charLength(text, i);
    if (len == 1 && (text[i] == '\\' || text[i] == '"')) out += '\\';
    out.append(text, i, len);
    i += len;
  }
  return out + "\"";
}

// Data that a quoted text gives back exactly: one text, one NUL at its end,
// no line breaks.
bool isPlainText(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

void appendHex(std::string* out, const std::string& prefix, const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  *out += prefix;
  std::size_t column = charCount(prefix);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    *out += digits[b >> 4];
    *out += digits[b & 15];
    if (i + 1 == bytes.size()) break;
    *out += ',';
    column += 3;
    if (column >= kHexWrapColumn) {
      *out += "\\\r\n  ";
      column = 2;
    }
  }
  *out += "\r\n";
}

void appendValue(std::string* out, const std::string& name, DWORD type, const std::string& data, bool regedit4) {
  std::string lead = (name.empty() ? std::string("@") : quoted(name)) + "=";
  if (type == REG_SZ && isPlainText(data)) {
    *out += lead + quoted(data.substr(0, data.size() - 1)) + "\r\n";
    return;
  }
  if (type == REG_DWORD && data.size() == 4) {
    char buf[16];
    unsigned v = static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8) |
                 (static_cast<unsigned char>(data[2]) << 16) | (static_cast<unsigned>(static_cast<unsigned char>(data[3])) << 24);
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    *out += lead + buf + "\r\n";
    return;
  }
  std::string bytes = data;
  if (!regedit4 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
    std::u16string wide = toWide(data);
    bytes.clear();
    for (char16_t u : wide) {
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    }
  }
  char kind[24];
  if (type == REG_BINARY) {
    std::snprintf(kind, sizeof kind, "hex:");
  } else {
    std::snprintf(kind, sizeof kind, "hex(%lx):", static_cast<unsigned long>(type));
  }
  appendHex(out, lead + kind, bytes);
}

class Writer {
 public:
  Writer(bool regedit4, std::string* out) : regedit4_(regedit4), out_(out), name_(16384 + 1) {}

  bool writeKey(HKEY key, const std::string& path, std::string* error) {
    *out_ += "[" + path + "]\r\n";
    for (DWORD index = 0;; ++index) {
      DWORD nameSize = static_cast<DWORD>(name_.size());
      DWORD type = 0;
      DWORD dataSize = static_cast<DWORD>(data_.size());
      LONG err = RegEnumValueA(key, index, name_.data(), &nameSize, nullptr, &type,
                               reinterpret_cast<BYTE*>(data_.data()), &dataSize);
      if (err == ERROR_NO_MORE_ITEMS) break;
      if (err == ERROR_MORE_DATA) {
        if (dataSize <= data_.size()) return failed(error, path, err);
        data_.resize(dataSize);
        --index;   // the same value again, with room for its data
        continue;
      }
      if (err != ERROR_SUCCESS) return failed(error, path, err);
      appendValue(out_, std::string(name_.data(), nameSize), type, std::string(data_.data(), dataSize), regedit4_);
    }
    *out_ += "\r\n";

    std::vector<std::string> children;
    char child[1024];
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof child;
      LONG err = RegEnumKeyExA(key, index, child, &size, nullptr, nullptr, nullptr, nullptr);
      if (err == ERROR_NO_MORE_ITEMS) break;
      if (err != ERROR_SUCCESS) return failed(error, path, err);
      children.emplace_back(child, size);
    }
    for (const std::string& name : children) {
      HKEY sub = nullptr;
      LONG err = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &sub);
      if (err != ERROR_SUCCESS) return failed(error, path + "\\" + name, err);
      bool ok = writeKey(sub, path + "\\" + name, error);
      RegCloseKey(sub);
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool failed(std::string* error, const std::string& path, LONG err) {
    *error = "cannot read key " + path + ": " + errorText(err);
    return false;
  }

  bool regedit4_;
  std::string* out_;
  std::vector<char> name_;
  std::vector<char> data_ = std::vector<char>(4096);
};

// The path with repeated, leading and trailing backslashes removed.
std::string normalizedPath(const char* subkey) {
  std::string in = subkey ? subkey : "", out;
  bool separator = false;
  for (std::size_t i = 0; i < in.size();) {
    std::size_t len = charLength(in, i);
    if (len == 1 && in[i] == '\\') {
      separator = !out.empty();
    } else {
      if (separator) out += '\\';
      separator = false;
      out.append(in, i, len);
    }
    i += len;
  }
  return out;
}

}  // namespace

}  // namespace regfile

bool exportRegText(HKEY root, const char* subkey, bool regedit4, std::string* out, std::string* error) {
  using namespace regfile;
  std::string ignored;
  std::string* err = error ? error : &ignored;
  if (!out) {
    *err = "no output given";
    return false;
  }
  const char* rootText = rootName(root);
  if (!rootText) {
    *err = "the root must be HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS";
    return false;
  }
  std::string path = normalizedPath(subkey);
  std::string full = path.empty() ? std::string(rootText) : std::string(rootText) + "\\" + path;

  RegistryBatch snapshot(false);   // one consistent view of the subtree where the store allows it
  HKEY top = nullptr;
  LONG code = RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &top);
  if (code != ERROR_SUCCESS) {
    *err = "cannot open key " + full + ": " + errorText(code);
    return false;
  }
  std::string text = std::string(regedit4 ? kHeader4 : kHeader5) + "\r\n\r\n";
  Writer writer(regedit4, &text);
  bool ok = writer.writeKey(top, full, err);
  RegCloseKey(top);
  if (!ok) return false;
  snapshot.commit();

  if (regedit4) {
    *out = text;
  } else {
    std::u16string wide = toWide(text);
    out->assign("\xFF\xFE", 2);
    out->reserve(2 + wide.size() * 2);
    for (char16_t u : wide) {
      *out += static_cast<char>(u & 0xFF);
      *out += static_cast<char>(u >> 8);
    }
  }
  return true;
}

bool exportRegFile(HKEY root, const char* subkey, const char* path, bool regedit4, std::string* error) {
  std::string ignored;
  std::string* err = error ? error : &ignored;
  std::string bytes;
  if (!path) {
    *err = "no file name given";
    return false;
  }
  if (!exportRegText(root, subkey, regedit4, &bytes, err)) return false;
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    *err = std::string("cannot create ") + path;
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) *err = std::string("cannot write ") + path;
  return ok;
}

}  // namespace tobrel
