// .reg files: exact output, round trips byte for byte in both formats, the
// accepted input forms, and malformed files refused with their line and
// reason, leaving the registry as it was.
#include "TobrelTools/registry/regfile.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/registry_test_util.h"
#include "tests/wine_util.h"

namespace {

using tobrel::test::RegistryFixture;

const BYTE* bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }

// UTF-16LE with a byte order mark, from ASCII text.
std::string utf16(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

class RegFileTest : public RegistryFixture {
 protected:
  std::string full() const { return "HKEY_CURRENT_USER\\" + path_; }
  void set(HKEY key, const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, bytes(data), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
  std::string exported(bool regedit4, const std::string& sub = std::string()) {
    std::string out, error;
    std::string path = sub.empty() ? path_ : path_ + "\\" + sub;
    EXPECT_TRUE(tobrel::exportRegText(HKEY_CURRENT_USER, path.c_str(), regedit4, &out, &error)) << error;
    return out;
  }
  std::string query(const std::string& sub, const char* name, DWORD* type = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(base_, sub.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << sub;
    char buf[4096];
    DWORD size = sizeof buf, t = 0;
    LONG err = RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (type) *type = t;
    return err == ERROR_SUCCESS ? std::string(buf, size) : "<" + std::to_string(err) + ">";
  }
  // Empties the scratch key so that an import starts from nothing.
  void emptyScratch() {
    RegCloseKey(base_);
    ASSERT_TRUE(tobrel::test::deleteTree(HKEY_CURRENT_USER, path_));
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void fillVariety() {
    HKEY top = create("Top");
    set(top, "", REG_SZ, std::string("default", 8));
    set(top, "quote\"and\\slash", REG_SZ, std::string("C:\\Path \"x\"", 12));
    set(top, "dbcs", REG_SZ, std::string("\x95\x5C\x8E\xA6", 5));   // two characters, the first with a 0x5C trail
    set(top, "count", REG_DWORD, std::string("\x2A\0\0\x80", 4));
    set(top, "short dword", REG_DWORD, std::string("\x01\x02", 2));
    std::string blob;
    for (int i = 0; i < 100; ++i) blob += static_cast<char>(i * 7);
    set(top, "blob", REG_BINARY, blob);
    set(top, "nothing", REG_BINARY, std::string());
    set(top, "expand", REG_EXPAND_SZ, std::string("%PATH%;\x83\x41", 10));
    set(top, "multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    set(top, "qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    set(top, "none", REG_NONE, std::string("\xFF", 1));
    set(top, "odd type", 0x1234, std::string("xyz", 3));
    set(top, "no nul", REG_SZ, std::string("abc", 3));
    set(top, "two lines", REG_SZ, std::string("a\r\nb", 5));
    set(top, "empty text", REG_SZ, std::string("", 1));
    RegCloseKey(top);
    HKEY sub = create("Top\\Sub Key\\Deeper");
    set(sub, "v", REG_SZ, std::string("deep", 5));
    RegCloseKey(sub);
    RegCloseKey(create("Top\\\x95\x5C"));
    RegCloseKey(create("Top\\Another"));
  }
};

TEST_F(RegFileTest, ExportWritesTheRegistryEditorFormat) {
  HKEY top = create("T");
  // Set in name order, which Wine's registry enumerates by.
  set(top, "", REG_SZ, std::string("d", 2));
  set(top, "b", REG_BINARY, std::string("\x01\xFF", 2));
  set(top, "e", REG_EXPAND_SZ, std::string("%A%", 4));
  set(top, "n", REG_DWORD, std::string("\x2A\0\0\0", 4));
  set(top, "s", REG_SZ, std::string("a\"b\\c", 6));
  RegCloseKey(top);
  RegCloseKey(create("T\\Sub"));
  std::string key = full() + "\\T";
  std::string expected4 = "REGEDIT4\r\n\r\n[" + key +
                          "]\r\n@=\"d\"\r\n\"b\"=hex:01,ff\r\n\"e\"=hex(2):25,41,25,00\r\n"
                          "\"n\"=dword:0000002a\r\n\"s\"=\"a\\\"b\\\\c\"\r\n\r\n[" +
                          key + "\\Sub]\r\n\r\n";
  EXPECT_EQ(exported(true, "T"), expected4);
  std::string expected5 = utf16("Windows Registry Editor Version 5.00\r\n\r\n[" + key +
                                "]\r\n@=\"d\"\r\n\"b\"=hex:01,ff\r\n\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                "\"n\"=dword:0000002a\r\n\"s\"=\"a\\\"b\\\\c\"\r\n\r\n[" +
                                key + "\\Sub]\r\n\r\n");
  EXPECT_EQ(exported(false, "T"), expected5);
}

// The registry editor ends a line of hex data after the comma that brings
// it to column 77 or beyond, and goes on after two blanks; the last byte is
// never followed by a break. These lines are as the editor writes them: the
// failure actions of a service (19 bytes after a 21-character lead, then 25
// a line), and a short lead whose 23rd byte ends the line or the value.
TEST_F(RegFileTest, HexLinesBreakWhereTheRegistryEditorBreaksThem) {
  const std::string actions(
      "\x80\x51\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x14\x00\x00\x00\x01\x00"
      "\x00\x00\x60\xea\x00\x00\x01\x00\x00\x00\x60\xea\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
      44);
  HKEY top = create("W");  // names in the order every registry enumerates them
  set(top, "FailureActions", REG_BINARY, actions);
  set(top, "x", REG_BINARY, std::string(23, '\x11'));
  set(top, "y", REG_BINARY, std::string(24, '\x22'));
  set(top, "z", REG_MULTI_SZ, std::string(60, 'x') + std::string(2, '\0'));
  RegCloseKey(top);
  auto run = [](const char* byte, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += std::string(i ? "," : "") + byte;
    return out;
  };
  std::string expected =
      "REGEDIT4\r\n\r\n[" + full() + "\\W]\r\n"
      "\"FailureActions\"=hex:80,51,01,00,00,00,00,00,00,00,00,00,03,00,00,00,14,00,00,\\\r\n"
      "  00,01,00,00,00,60,ea,00,00,01,00,00,00,60,ea,00,00,00,00,00,00,00,00,00,00\r\n"
      "\"x\"=hex:" + run("11", 23) + "\r\n"
      "\"y\"=hex:" + run("22", 23) + ",\\\r\n  22\r\n"
      "\"z\"=hex(7):" + run("78", 22) + ",\\\r\n  " + run("78", 25) + ",\\\r\n  " + run("78", 13) +
      ",00,00\r\n\r\n";
  EXPECT_EQ(exported(true, "W"), expected);
}

TEST_F(RegFileTest, ExportImportExportIsByteForByteInBothFormats) {
  fillVariety();
  for (bool regedit4 : {false, true}) {
    SCOPED_TRACE(regedit4 ? "REGEDIT4" : "5.00");
    std::string first = exported(regedit4);
    emptyScratch();
    std::string error;
    ASSERT_TRUE(tobrel::importRegText(first, &error)) << error;
    EXPECT_EQ(exported(regedit4), first);
    DWORD type = 0;
    EXPECT_EQ(query("Top", "dbcs"), std::string("\x95\x5C\x8E\xA6", 5));
    EXPECT_EQ(query("Top", "multi", &type), std::string("one\0two\0\0", 9));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(query("Top", "short dword", &type), "\x01\x02");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(query("Top", "odd type", &type), "xyz");
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(query("Top", "nothing"), "");
    EXPECT_EQ(query("Top\\Sub Key\\Deeper", "v"), std::string("deep", 5));
    EXPECT_EQ(query("Top\\\x95\x5C", "absent"), "<2>");
  }
}

TEST_F(RegFileTest, ImportAcceptsAbbreviationsCommentsContinuationsAndDeletions) {
  HKEY gone = create("Old\\Below");
  RegCloseKey(gone);
  HKEY keep = create("Keep");
  set(keep, "drop", REG_SZ, std::string("x", 2));
  set(keep, "stay", REG_SZ, std::string("y", 2));
  RegCloseKey(keep);
  std::string text = "REGEDIT4\n"
                     "; a comment\n"
                     "\n"
                     "[-HKCU\\" + path_ + "\\Old]\n"
                     "[hkcu\\" + path_ + "\\Keep]\n"
                     "\"drop\"=-\n"
                     "  \"bin\" = hex:01,02,\\\n"
                     "    03,04\\\n"
                     "  ,05\n"
                     "\"q\"=hex(b):08,07,06,05,04,03,02,01\n"
                     "\"n\"=hex(0):\n"
                     "\"d\"=DWORD:FfFf\n"
                     "@=\"def\"\n";
  std::string error;
  ASSERT_TRUE(tobrel::importRegText(text, &error)) << error;
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"Keep"});
  DWORD type = 0;
  EXPECT_EQ(query("Keep", "drop"), "<2>");
  EXPECT_EQ(query("Keep", "stay"), std::string("y", 2));
  EXPECT_EQ(query("Keep", "bin", &type), "\x01\x02\x03\x04\x05");
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(query("Keep", "q", &type), "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  EXPECT_EQ(query("Keep", "n", &type), "");
  EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(query("Keep", "d"), std::string("\xFF\xFF\0\0", 4));
  EXPECT_EQ(query("Keep", ""), std::string("def", 4));
}

TEST_F(RegFileTest, Version5FilesMayBeUtf8AndCarryUtf16TextData) {
  // U+8868 (0x95 0x5C in code page 932) in a key name, as UTF-8; hex(2) data
  // as UTF-16: "A" U+8868 NUL.
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_CURRENT_USER\\" + path_ + "\\\xE8\xA1\xA8]\r\n"
                     "\"e\"=hex(2):41,00,68,88,00,00\r\n"
                     "\"s\"=\"\xE8\xA1\xA8\\\\\"\r\n";
  std::string error;
  for (const std::string& variant : {text, "\xEF\xBB\xBF" + text}) {
    ASSERT_TRUE(tobrel::importRegText(variant, &error)) << error;
    EXPECT_EQ(subkeys(base_), std::vector<std::string>{"\x95\x5C"});
    EXPECT_EQ(query("\x95\x5C", "e"), std::string("A\x95\x5C\0", 4));
    EXPECT_EQ(query("\x95\x5C", "s"), std::string("\x95\x5C\\\0", 4));
    emptyScratch();
  }
}

TEST_F(RegFileTest, LineBreakEscapesAsWinesRegistryEditorWritesThemImport) {
  // Exported by Wine's registry editor from a REG_SZ holding "a" CR LF "b".
  std::string wine = utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + path_ +
                           "\\W]\r\n\"crlf\"=\"a\\r\\nb\"\r\n\"tab\"=\"a\tb\"\r\n\r\n");
  std::string error;
  ASSERT_TRUE(tobrel::importRegText(wine, &error)) << error;
  EXPECT_EQ(query("W", "crlf"), std::string("a\r\nb", 5));
  EXPECT_EQ(query("W", "tab"), std::string("a\tb", 4));
  // Exported as the Windows registry editor writes such text: hex(1).
  std::string out = exported(true, "W");
  EXPECT_NE(out.find("\"crlf\"=hex(1):61,0d,0a,62,00\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\"tab\"=\"a\tb\"\r\n"), std::string::npos) << out;
}

TEST_F(RegFileTest, TextThatIsNotCodePage932BecomesWhatWindowsMakesOfIt) {
  // A pair the code page gives no character (85 40) and a character with two
  // codes (NEC 87 90, which is 81 E0), in a key name, a value name, a quoted
  // text and hex(1) data of a REGEDIT4 file: imported as Windows' ANSI calls
  // convert them, so that the 5.00 export and its import agree with it.
  std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + path_ + "\\k\x85\x40]\r\n"
                     "\"v\x87\x90\"=\"t\x85\x40\x87\x90\"\r\n\"h\"=hex(1):85,40,00\r\n\r\n";
  std::string error;
  ASSERT_TRUE(tobrel::importRegText(text, &error)) << error;
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"k\x81\x45"});
  EXPECT_EQ(query("k\x81\x45", "v\x81\xE0"), std::string("t\x81\x45\x81\xE0", 6));
  EXPECT_EQ(query("k\x81\x45", "h"), std::string("\x81\x45", 3));
  std::string regedit4 = exported(true), v5 = exported(false);
  EXPECT_NE(v5.find(std::string("\xFB\x30", 2)), std::string::npos);   // U+30FB in the UTF-16 file
  emptyScratch();
  ASSERT_TRUE(tobrel::importRegText(v5, &error)) << error;
  EXPECT_EQ(exported(true), regedit4);
  emptyScratch();
  ASSERT_TRUE(tobrel::importRegText(regedit4, &error)) << error;
  EXPECT_EQ(exported(false), v5);
}

TEST_F(RegFileTest, ALeadByteWithoutItsTrailByteBecomesU30FB) {
  if (tobrel::test::runningUnderWine()) {
    GTEST_SKIP() << "Wine pairs a lead byte with whatever byte follows it";
  }
  // A lead byte before a byte that cannot be a trail byte stands alone, as
  // the library's code page 932 conversion has it; so does one at the end.
  std::string text = "REGEDIT4\r\n[HKEY_CURRENT_USER\\" + path_ + "]\r\n\"a\"=\"x\x82 y\"\r\n\"b\"=\"z\x82\"\r\n";
  std::string error;
  ASSERT_TRUE(tobrel::importRegText(text, &error)) << error;
  EXPECT_EQ(query("", "a"), std::string("x\x81\x45 y", 6));
  EXPECT_EQ(query("", "b"), std::string("z\x81\x45", 4));
}

TEST_F(RegFileTest, MalformedFilesAreRefusedWithLineAndReasonAndChangeNothing) {
  HKEY key = create("Before");
  set(key, "v", REG_SZ, std::string("unchanged", 10));
  RegCloseKey(key);
  std::string before = exported(true);
  std::string k = "[HKEY_CURRENT_USER\\" + path_ + "\\Before]\r\n\"v\"=\"changed\"\r\n";
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"", "line 1: not a registry file"},
      {"REGEDIT5\r\n", "line 1: not a registry file"},
      {"REGEDIT4\r\n" + k + "\"n\"=dword:123456789\r\n", "line 4: dword: needs 1 to 8 hex digits"},
      {"REGEDIT4\r\n" + k + "\"b\"=hex:01,02,\\\r\n  03,zz\r\n", "line 5: bad hex byte \"zz\""},
      {"REGEDIT4\r\n" + k + "\"b\"=hex:01,\\\r\n", "line 4: hex data continued past the end of the file"},
      {"REGEDIT4\r\n" + k + "\"s\"=\"open\r\n", "line 4: text without its closing '\"'"},
      {"REGEDIT4\r\n" + k + "\"s\"=\"a\\tb\"\r\n", "line 4: unknown escape \"\\t\""},
      {"REGEDIT4\r\n" + k + "\"s\"=\"a\" junk\r\n", "line 4: unexpected text after the value"},
      {"REGEDIT4\r\n" + k + "\"s\"=word:1\r\n", "line 4: unknown value data"},
      {"REGEDIT4\r\n" + k + "\"s\"\"x\"\r\n", "line 4: '=' expected"},
      {"REGEDIT4\r\n\"v\"=\"x\"\r\n" + k, "line 2: value before the first key"},
      {"REGEDIT4\r\n" + k + "[HKEY_NOWHERE\\x]\r\n", "line 4: unknown root key \"HKEY_NOWHERE\""},
      {"REGEDIT4\r\n" + k + "[HKCU\\x\r\n", "line 4: key line without a closing ']'"},
      {"REGEDIT4\r\n" + k + "[-HKCU]\r\n", "line 4: a root key cannot be deleted"},
      {"REGEDIT4\r\n" + k + "[-HKCU\\x]\r\n\"a\"=\"b\"\r\n", "line 5: value under a key that is being deleted"},
      {"REGEDIT4\r\n" + k + "garbage\r\n", "line 4: not a key, value or comment line"},
      {utf16("Windows Registry Editor Version 5.00\r\n" + k) + std::string("\xE9\0\r\0\n\0", 6),
       "line 4: character U+00E9 has no code page 932 code"},
      {utf16("Windows Registry Editor Version 5.00\r\n" + k + "\"e\"=hex(2):41,00,41\r\n"),
       "line 4: odd number of bytes in UTF-16 text"},
      {"Windows Registry Editor Version 5.00\r\n" + k + "\"s\"=\"\xC3\x28\"\r\n", "line 4: invalid UTF-8"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(tobrel::importRegText(c.text, &error)) << c.text;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.text;
    EXPECT_FALSE(tobrel::checkRegText(c.text, nullptr));
    EXPECT_EQ(exported(true), before);
  }
}

TEST_F(RegFileTest, FilesOnDiskAndBadArguments) {
  HKEY key = create("F");
  set(key, "v", REG_DWORD, std::string("\x07\0\0\0", 4));
  RegCloseKey(key);
  std::string file = tobrel::test::tempPath("export.reg");
  std::string error;
  ASSERT_TRUE(tobrel::exportRegFile(HKEY_CURRENT_USER, (path_ + "\\\\F\\").c_str(), file.c_str(), false, &error))
      << error;
  std::vector<unsigned char> onDisk = tobrel::test::bytesOf(file);
  std::string expected = exported(false, "F");
  EXPECT_EQ(std::string(onDisk.begin(), onDisk.end()), expected);
  emptyScratch();
  ASSERT_TRUE(tobrel::importRegFile(file.c_str(), &error)) << error;
  EXPECT_EQ(query("F", "v"), std::string("\x07\0\0\0", 4));

  EXPECT_FALSE(tobrel::importRegFile(tobrel::test::tempPath("missing.reg").c_str(), &error));
  EXPECT_EQ(error.substr(0, 12), "cannot open ");
  EXPECT_FALSE(tobrel::exportRegFile(base_, nullptr, file.c_str(), false, &error));
  EXPECT_EQ(error.substr(0, 12), "the root mus");
  EXPECT_FALSE(tobrel::exportRegFile(HKEY_CURRENT_USER, (path_ + "\\Missing").c_str(), file.c_str(), false, &error));
  EXPECT_EQ(error.substr(0, 15), "cannot open key");
}

#ifndef _WIN32
// .reg import on the Linux store: a failure while applying undoes the whole
// import, because the import is one store transaction.

class RegFileStoreTest : public RegistryFixture {};

TEST_F(RegFileStoreTest, AFailureWhileApplyingUndoesEverything) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, "Locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", true), ERROR_SUCCESS);
  std::string k = "[HKEY_CURRENT_USER\\" + path_;
  std::string text = "REGEDIT4\r\n\r\n" + k + "\\Fresh]\r\n\"a\"=\"1\"\r\n\r\n" + k + "\\Locked]\r\n\"b\"=\"2\"\r\n";
  std::string error;
  EXPECT_FALSE(tobrel::importRegText(text, &error));
  EXPECT_EQ(error, "line 6: cannot create key HKEY_CURRENT_USER\\" + path_ + "\\Locked: error 5 (access denied)");
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"Locked"});   // Fresh was undone
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", false), ERROR_SUCCESS);
  EXPECT_TRUE(tobrel::importRegText(text, &error)) << error;
  EXPECT_EQ(subkeys(base_), (std::vector<std::string>{"Fresh", "Locked"}));
}
#endif  // _WIN32

}  // namespace
