#include "TobrelTools/string/st.h"

#include <cstring>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"

TOBREL_MODULE_ID("st.cpp", "2026.12.05");

namespace {

const char kDefaultDelim[] = "\r\n\"";

// A new[] copy of the first n bytes of text, with a NUL after them.
char* copyBytes(const char* text, std::size_t n) {
  char* copy = new char[n + 1];
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  return copy;
}

// The system's ANSI code page decides (always 932 on Linux).
bool isLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

}  // namespace

StringTokenizer::StringTokenizer() {
  initial();
}

StringTokenizer::StringTokenizer(const char* text, bool rule) {
  initial();
  dquoteIsMessage = rule;
  setLine(text);
  doInit();
}

StringTokenizer::StringTokenizer(const char* text, const char* delimiters, bool rule) {
  initial();
  dquoteIsMessage = rule;
  setLine(text);
  setDelim(delimiters);
  doInit();
}

StringTokenizer::StringTokenizer(const StringTokenizer& other)
    : delim(nullptr), line(nullptr), pos(-1), lineLen(0), dquoteIsMessage(true) {
  copyFrom(other);
}

StringTokenizer::~StringTokenizer() {
  delete[] delim;
  delete[] line;
}

StringTokenizer& StringTokenizer::operator=(const StringTokenizer& other) {
  if (this != &other) {
    delete[] delim;
    delete[] line;
    delim = nullptr;
    line = nullptr;
    copyFrom(other);
  }
  return *this;
}

// Expects delim and line released; takes deep copies of other's buffers.
void StringTokenizer::copyFrom(const StringTokenizer& other) {
  // Allocate both before storing either, so that a failing new leaves this
  // object without dangling pointers.
  char* newDelim = other.delim ? copyBytes(other.delim, std::strlen(other.delim)) : nullptr;
  char* newLine = nullptr;
  if (other.line) {
    try {
      newLine = copyBytes(other.line, static_cast<std::size_t>(other.lineLen));
    } catch (...) {
      delete[] newDelim;
      throw;
    }
  }
  delim = newDelim;
  line = newLine;
  pos = other.pos;
  lineLen = other.lineLen;
  dquoteIsMessage = other.dquoteIsMessage;
}

void StringTokenizer::initial() {
  delim = nullptr;
  line = nullptr;
  pos = -1;
  lineLen = 0;
  dquoteIsMessage = true;
  delim = copyBytes(kDefaultDelim, sizeof kDefaultDelim - 1);
}

void StringTokenizer::setLine(const char* text) {
  delete[] line;
  line = nullptr;
  lineLen = 0;
  if (text) {
    std::size_t n = std::strlen(text);
    line = copyBytes(text, n);
    lineLen = static_cast<int>(n);
  }
}

void StringTokenizer::setDelim(const char* text) {
  delete[] delim;
  delim = nullptr;
  if (text) delim = copyBytes(text, std::strlen(text));
}

void StringTokenizer::doInit() {
  if (!line || !delim) return;
  bool trailPending = false;
  bool inQuotes = false;
  for (int i = 0; i < lineLen; ++i) {
    unsigned char byte = static_cast<unsigned char>(line[i]);
    if (trailPending) {
      trailPending = false;
      continue;
    }
    if (isLeadByte(byte)) {
      trailPending = true;
      continue;
    }
    // Once replaced by NUL the byte matches no further delimiter (a NUL is
    // never one: delim ends at its first NUL), so it is acted on once.
    for (const char* d = delim; *d; ++d) {
      if (line[i] != *d) continue;
      if (*d == '"' && dquoteIsMessage) {
        inQuotes = !inQuotes;
        line[i] = '\0';
      } else if (!inQuotes) {
        line[i] = '\0';
      }
      break;
    }
  }
}

const char* StringTokenizer::nextToken() {
  if (!line) return nullptr;
  if (pos < 0) {
    pos = 0;
  } else {
    while (pos < lineLen && line[pos] != '\0') ++pos;
  }
  while (pos < lineLen && line[pos] == '\0') ++pos;
  return pos < lineLen ? line + pos : nullptr;
}

int StringTokenizer::hasMoreTokenNum(int from) {
  if (!line || from >= lineLen) return 0;
  int count = 0;
  int p = from;
  while (p < lineLen) {
    if (p >= 0) {
      while (p < lineLen && line[p] != '\0') ++p;
    } else {
      p = 0;
    }
    while (p < lineLen && line[p] == '\0') ++p;
    if (p < lineLen) ++count;
  }
  return count;
}

bool StringTokenizer::hasMoreTokens() {
  return hasMoreTokenNum(pos) > 0;
}

int StringTokenizer::tokenNum() {
  return hasMoreTokenNum(-1);
}

void StringTokenizer::setDquoteIsMessage(bool on) {
  dquoteIsMessage = on;
}

bool StringTokenizer::isDquoteIsMessage() {
  return dquoteIsMessage;
}
