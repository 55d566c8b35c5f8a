// The tobrel tool's .reg import and export and its read-only keys, run as a
// user runs them, each test on a registry store file of its own that the
// test reads and writes through the registry calls as well.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/tool_runner.h"

namespace {

using tobrel::test::readText;
using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::writeText;

// The registry editor's 5.00 format: UTF-16LE with a byte order mark, CR LF.
std::string utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t u : text) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

class RegFileTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = tobrel::test::freshRegistryStore(); }
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, db_); }

  DWORD dword(const char* subkey, const char* name) {
    HKEY key = nullptr;
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key), ERROR_SUCCESS) << subkey;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    RegCloseKey(key);
    return value;
  }

  std::string db_;
};

const char16_t kSample[] =
    u"Windows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\Software\\CliTest]\r\n"
    u"\"Name\"=\"Tobrel \\\"quoted\\\" \\\\ back\"\r\n"
    u"\"Count\"=dword:0000002a\r\n"
    u"@=\"default\"\r\n"
    u"\"Kana\"=\"\u30ab\u30ca\"\r\n"
    u"\"Bin\"=hex:01,02,ff\r\n"
    u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    u"\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
    // Long hex data as the registry editor wraps it: after the comma that
    // reaches column 77, then two blanks; columns count characters, so the
    // lead of the second (10 characters, 11 bytes in code page 932) ends its
    // first line after the 23rd byte.
    u"\"FailureActions\"=hex:80,51,01,00,00,00,00,00,00,00,00,00,03,00,00,00,14,00,00,\\\r\n"
    u"  00,01,00,00,00,60,ea,00,00,01,00,00,00,60,ea,00,00,00,00,00,00,00,00,00,00\r\n"
    u"\"\u540dab\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\r\n"
    u"  22\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\Software\\CliTest\\Alpha]\r\n"
    u"\"Deep\"=\"x\"\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\Software\\CliTest\\Alpha\\Inner]\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\Software\\CliTest\\beta]\r\n"
    u"\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    u"\r\n";

TEST_F(RegFileTest, HandWrittenRegFileImportsAndExportsBackIdentically) {
  const std::string in = tempPath("in.reg");
  const std::string original = utf16File(kSample);
  writeText(in, original);
  ToolResult imported = run({"reg", "import", in});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, "imported " + in + "\n");
  EXPECT_EQ(dword("Software\\CliTest", "Count"), 42u);

  const std::string out = tempPath("out.reg");
  ToolResult exported = run({"reg", "export", "HKCU\\Software\\CliTest", out});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(readText(out), original);

  ToolResult old = run({"reg", "export", "HKEY_CURRENT_USER\\Software\\CliTest\\Alpha", out, "--regedit4"});
  ASSERT_EQ(old.status, 0) << old.err;
  EXPECT_EQ(readText(out),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\CliTest\\Alpha]\r\n\"Deep\"=\"x\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\CliTest\\Alpha\\Inner]\r\n\r\n");
}

TEST_F(RegFileTest, MalformedRegFileIsRefusedWithItsLineAndChangesNothing) {
  const std::string in = tempPath("bad.reg");
  writeText(in, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Half]\r\n\"A\"=dword:1\r\n\"B\"=what\r\n");
  ToolResult r = run({"reg", "import", in});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tobrel: " + in + ": line 5"), std::string::npos) << r.err;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Half", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  ToolResult missing = run({"reg", "import", tempPath("missing.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("missing.reg"), std::string::npos) << missing.err;

  ToolResult noKey = run({"reg", "export", "HKCU\\Software\\Nothing", tempPath("x.reg")});
  EXPECT_EQ(noKey.status, 1);
  EXPECT_NE(noKey.err.find("HKEY_CURRENT_USER\\Software\\Nothing"), std::string::npos) << noKey.err;
}

TEST_F(RegFileTest, ProtectedKeysRefuseWritesUntilUnprotected) {
  const std::string in = tempPath("p.reg");
  writeText(in, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\P\\Child]\r\n\"A\"=dword:00000001\r\n\r\n");
  ASSERT_EQ(run({"reg", "import", in}).status, 0);

  ToolResult protect = run({"reg", "protect", "HKCU\\Software\\P"});
  ASSERT_EQ(protect.status, 0) << protect.err;
  EXPECT_EQ(protect.out, "protected HKEY_CURRENT_USER\\Software\\P\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\P\\Child", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);

  writeText(in, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\P\\Child]\r\n\"A\"=dword:00000002\r\n\r\n");
  ToolResult refused = run({"reg", "import", in});
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(refused.err.empty());
  EXPECT_EQ(dword("Software\\P\\Child", "A"), 1u);

  ToolResult unprotect = run({"reg", "unprotect", "HKEY_CURRENT_USER\\Software\\P"});
  ASSERT_EQ(unprotect.status, 0) << unprotect.err;
  ASSERT_EQ(run({"reg", "import", in}).status, 0);
  EXPECT_EQ(dword("Software\\P\\Child", "A"), 2u);

  ToolResult missing = run({"reg", "protect", "HKCU\\Software\\Nope"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("HKEY_CURRENT_USER\\Software\\Nope: no such key"), std::string::npos) << missing.err;
}

}  // namespace
