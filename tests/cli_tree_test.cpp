// The tobrel tool's registry tree commands (show, save, load, remove), the
// dump of files the library wrote, and the demo, run as a user runs them on
// a registry store file of each test's own, which the test also reads and
// writes through the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TobrelTools/TobrelTools.h"
#include "TobrelTools/registry/regfile.h"
#include "tests/registry_test_util.h"
#include "tests/tool_runner.h"

namespace {

using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;

class TreeToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = tobrel::test::freshRegistryStore();
    // HKCU\Software\T: values v1 (REG_SZ) and v2 (REG_DWORD); subkeys A
    // (value x, binary) and A\B (empty).
    ASSERT_TRUE(importText(
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\T]\r\n\"v1\"=\"one\"\r\n\"v2\"=dword:00000002\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A]\r\n\"x\"=hex:01,02\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\T\\A\\B]\r\n\r\n"));
  }

  bool importText(const std::string& text) {
    std::string error;
    bool ok = tobrel::importRegText(text, &error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }
  // The subtree as .reg text, with its own path replaced by ROOT, so that
  // subtrees at two places compare.
  std::string exported(const std::string& subkey) {
    std::string text, error;
    if (!tobrel::exportRegText(HKEY_CURRENT_USER, subkey.c_str(), true, &text, &error)) return "(" + error + ")";
    const std::string from = "HKEY_CURRENT_USER\\" + subkey;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), "ROOT");
    }
    return text;
  }
  bool exists(const char* subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, db_); }

  std::string db_;
};

TEST_F(TreeToolTest, SaveRemoveLoadAndLoadElsewhere) {
  const std::string before = exported("Software\\T");
  const std::string file = tempPath("t.bin");
  ToolResult save = run({"reg", "save", "HKCU\\Software\\T", file});
  ASSERT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(save.out, "saved HKEY_CURRENT_USER\\Software\\T (2 keys and 3 values) to " + file + "\n");

  ToolResult remove = run({"reg", "remove", "HKEY_CURRENT_USER\\Software\\T"});
  ASSERT_EQ(remove.status, 0) << remove.err;
  EXPECT_EQ(remove.out, "removed HKEY_CURRENT_USER\\Software\\T\n");
  EXPECT_FALSE(exists("Software\\T"));
  EXPECT_TRUE(exists("Software"));

  ToolResult load = run({"reg", "load", file});
  ASSERT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(load.out, "restored HKEY_CURRENT_USER\\Software\\T (2 keys and 3 values) from " + file + "\n");
  EXPECT_EQ(exported("Software\\T"), before);

  ToolResult copy = run({"reg", "load", file, "--to", "HKCU\\Software\\Copies\\T2"});
  ASSERT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(exported("Software\\Copies\\T2"), before);
  EXPECT_EQ(exported("Software\\T"), before);
}

TEST_F(TreeToolTest, ShowPrintsTheLibrarysTextDump) {
  regtree tree(HKEY_CURRENT_USER, "Software\\T");
  tree.load();
  std::tstring expected = tree.toString();
  ToolResult show = run({"reg", "show", "hkcu\\Software\\T\\"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(show.out, std::string(expected.c_str(), expected.size()));
}

TEST_F(TreeToolTest, ShowConvertsNamesAndTextsForTheTerminal) {
  // Key 表 (95 5C, a trail byte that is a backslash) with value 名 = 日本語.
  ASSERT_TRUE(importText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\J\\\x95\x5C]\r\n"
                         "\"\x96\xBC\"=\"\x93\xFA\x96\x7B\x8C\xEA\"\r\n\r\n"));
  ToolResult show = run({"reg", "show", "HKCU\\Software\\J"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("\xE8\xA1\xA8"), std::string::npos) << show.out;                  // 表
  EXPECT_NE(show.out.find("\xE5\x90\x8D"), std::string::npos) << show.out;                  // 名
  EXPECT_NE(show.out.find("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), std::string::npos) << show.out;   // 日本語
  EXPECT_EQ(show.out.find("\x95\x5C"), std::string::npos) << show.out;
}

TEST_F(TreeToolTest, LoadTakesNamesTheRegistryHoldsAsOne) {
  // A snapshot with keys Ａ and ａ (one key to Windows) and a text value
  // named and holding NEC ≒ (87 90, which the registry keeps as 81 E0):
  // written as the registry holds them, and the check after the restore
  // finds every one of them.
  regtree tree(HKEY_CURRENT_USER, "Software\\T");
  tree.load();
  regkey_t* upper = new regkey_t;
  upper->setName("\x82\x60");
  regval_t* text = new regval_t;
  text->setName("\x87\x90");
  text->setData(std::tstring("\x87\x90"), REG_SZ);
  upper->addElements(text);
  regkey_t* lower = new regkey_t;
  lower->setName("\x82\x81");
  tree.getTopkey().addElements(upper);
  tree.getTopkey().addElements(lower);
  const std::string file = tempPath("merged.bin");
  {
    Persistable::readyToSerialize();
    fvostream out(file.c_str());
    out << tree;
  }
  ToolResult load = run({"reg", "load", file, "--to", "HKCU\\Software\\M"});
  ASSERT_EQ(load.status, 0) << load.err;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\M\\\x82\x81", 0, KEY_READ, &key), ERROR_SUCCESS);
  char data[8];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "\x81\xE0", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(data, size), std::string("\x81\xE0\0", 3));
  RegCloseKey(key);
}

TEST_F(TreeToolTest, FailuresSayWhatWentWrong) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"reg", "save", "HKCU\\Software\\Missing", tempPath("m.bin")}, 1,
       "HKEY_CURRENT_USER\\Software\\Missing: no such key"},
      {{"reg", "show", "HKCU\\Software\\Missing"}, 1, "no such key"},
      {{"reg", "remove", "HKCU\\Software\\Missing"}, 1, "no such key"},
      {{"reg", "save", "HKCU\\Software\\T", "/nonexistent-dir/t.bin"}, 1,
       "fvostream open error: filename=/nonexistent-dir/t.bin"},
      {{"reg", "load", tempPath("none.bin")}, 1, "fvistream open error: filename="},
  };
  for (const Case& c : cases) {
    ToolResult r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }

  // a file that ends early, and a file that holds no tree
  const std::string file = tempPath("t.bin");
  ASSERT_EQ(run({"reg", "save", "HKCU\\Software\\T", file}).status, 0);
  std::filesystem::resize_file(file, std::filesystem::file_size(file) - 3);
  ToolResult cut = run({"reg", "load", file, "--to", "HKCU\\Software\\Cut"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find(file + ": "), std::string::npos) << cut.err;
  EXPECT_FALSE(exists("Software\\Cut"));
  {
    std::tstring text("not a tree");
    Persistable::readyToSerialize();
    fvostream out(file.c_str());
    out << text;
  }
  ToolResult notTree = run({"reg", "load", file});
  EXPECT_EQ(notTree.status, 1);
  EXPECT_NE(notTree.err.find("0x0070"), std::string::npos) << notTree.err;
}

TEST_F(TreeToolTest, ReadOnlyKeysMakeLoadAndRemoveFailWithoutChangingAnything) {
  const std::string file = tempPath("t.bin");
  ASSERT_EQ(run({"reg", "save", "HKCU\\Software\\T", file}).status, 0);
  // both a writable and a protected key now differ from the saved tree
  ASSERT_TRUE(importText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"v1\"=\"changed\"\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Software\\T\\A]\r\n\"x\"=hex:09\r\n\r\n"));
  ASSERT_EQ(tobrel::registrySetReadOnly(HKEY_CURRENT_USER, "Software\\T\\A", true), ERROR_SUCCESS);
  const std::string changed = exported("Software\\T");

  ToolResult remove = run({"reg", "remove", "HKCU\\Software\\T"});
  EXPECT_EQ(remove.status, 1);
  EXPECT_NE(remove.err.find("could not be removed"), std::string::npos) << remove.err;
  EXPECT_EQ(exported("Software\\T"), changed);

  ToolResult load = run({"reg", "load", file});
  EXPECT_EQ(load.status, 1);
  EXPECT_NE(load.err.find("1 value could not be written (the first: Software\\T\\A value \"x\")"),
            std::string::npos)
      << load.err;
  EXPECT_EQ(exported("Software\\T"), changed);  // v1 was not restored either
}

TEST_F(TreeToolTest, DemoRunsAndCleansUpAfterItself) {
  ToolResult demo = run({"demo"});
  ASSERT_EQ(demo.status, 0) << demo.err << demo.out;
  EXPECT_EQ(demo.err, "");
  for (const char* line : {"1. created HKEY_CURRENT_USER\\Software\\TobrelTools Demo with 3 keys and 5 values\n",
                           "2. saved the subtree", "3. dumped the stream file:\n", "#0 regtree (0xF034) {\n",
                           "4. removed HKEY_CURRENT_USER\\Software\\TobrelTools Demo from the registry\n",
                           "5. read the tree back from the file and restored it: 3 keys and 5 values\n",
                           "6. the restored subtree, as regtree::toString shows it:\n--- Registry Tree ---\n",
                           "Name: Greeting\nType: REG_SZ\nData: Hello from TobrelTools\n",
                           "cleaned up: removed the subtree, removed the file\n"}) {
    EXPECT_NE(demo.out.find(line), std::string::npos) << line << "\n" << demo.out;
  }
  EXPECT_FALSE(exists("Software\\TobrelTools Demo"));
  std::size_t at = demo.out.find("saved the subtree with regtree and fvostream to ");
  ASSERT_NE(at, std::string::npos);
  std::string file = demo.out.substr(at + 48, demo.out.find(" (", at) - at - 48);
  EXPECT_FALSE(std::filesystem::exists(file)) << file;

  // a key of that name that is there already is left alone
  ASSERT_TRUE(importText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\TobrelTools Demo]\r\n\"mine\"=\"keep\"\r\n\r\n"));
  ToolResult refused = run({"demo"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("exists already"), std::string::npos) << refused.err;
  EXPECT_NE(exported("Software\\TobrelTools Demo").find("\"mine\"=\"keep\""), std::string::npos);
}

}  // namespace
