// Code page 932 conversions on Windows: the C runtime's mbstowcs and wcstombs
// in the locale "Japanese". Where the runtime refuses the text (it reports
// (size_t)-1 for bytes that form no character and for units with no code),
// the system's own converter for code page 932 takes over; it substitutes
// U+30FB and '?' as the library does elsewhere, so a conversion never fails
// and its result always fits the measured size.
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/export.h"

#include <windows.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

TOBREL_MODULE_ID("cp932_win32.cpp", "2026.12.05");

namespace tobrel {

namespace {

const std::size_t kFailed = static_cast<std::size_t>(-1);
const UINT kCodePage = 932;

}  // namespace

void selectJapaneseLocale() { std::setlocale(LC_ALL, "Japanese"); }

std::size_t cp932ToWide(unsigned short* dst, const char* src, std::size_t n) {
  if (!src) src = "";
  std::size_t r = std::mbstowcs(reinterpret_cast<wchar_t*>(dst), src, dst ? n : 0);
  if (r != kFailed) return r;
  int need = MultiByteToWideChar(kCodePage, 0, src, -1, nullptr, 0);   // with the zero unit
  if (need <= 0) {
    if (dst && n > 0) dst[0] = 0;
    return 0;
  }
  std::size_t units = static_cast<std::size_t>(need) - 1;
  if (!dst) return units;
  std::vector<wchar_t> all(static_cast<std::size_t>(need));
  MultiByteToWideChar(kCodePage, 0, src, -1, all.data(), need);
  std::size_t stored = units < n ? units + 1 : n;                      // the zero unit when it fits
  std::memcpy(dst, all.data(), stored * sizeof(wchar_t));
  return units < n ? units : n;
}

std::size_t wideToCp932(char* dst, const unsigned short* src, std::size_t n) {
  static const unsigned short kEmpty = 0;
  if (!src) src = &kEmpty;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(src);
  std::size_t r = std::wcstombs(dst, w, dst ? n : 0);
  if (r != kFailed) return r;
  int need = WideCharToMultiByte(kCodePage, 0, w, -1, nullptr, 0, nullptr, nullptr);   // with the NUL
  if (need <= 0) {
    if (dst && n > 0) dst[0] = 0;
    return 0;
  }
  std::size_t bytes = static_cast<std::size_t>(need) - 1;
  if (!dst) return bytes;
  std::vector<char> all(static_cast<std::size_t>(need));
  WideCharToMultiByte(kCodePage, 0, w, -1, all.data(), need, nullptr, nullptr);
  // Whole characters only, as wcstombs stores them.
  std::size_t count = 0;
  while (count < bytes) {
    std::size_t width = IsDBCSLeadByteEx(kCodePage, static_cast<BYTE>(all[count])) ? 2 : 1;
    if (n - count < width) break;
    count += width;
  }
  std::memcpy(dst, all.data(), count);
  if (count == bytes && count < n) dst[count] = 0;
  return count;
}

std::size_t wideToCp932Measure(const unsigned short* src, std::size_t* units) {
  if (units) *units = src ? std::wcslen(reinterpret_cast<const wchar_t*>(src)) : 0;
  return wideToCp932(nullptr, src, 0);
}

std::size_t wideToCp932Convert(char* dst, std::size_t n, const unsigned short* src, std::size_t units) {
  (void)units;   // the runtime finds the end of the text itself
  return wideToCp932(dst, src, n);
}

}  // namespace tobrel
