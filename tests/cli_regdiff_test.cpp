// tobrel reg diff between saved snapshots and live registry subtrees.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/tool_runner.h"

namespace {

using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::writeBytes;
using tobrel::test::writeText;

class RegDiffTest : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, tempPath("diff-registry.db")); }

  void import(const std::string& name, const std::string& text) {
    const std::string path = tempPath(name);
    writeText(path, text);
    ToolResult r = run({"reg", "import", path});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  void SetUp() override {
    import("a.reg",
           "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DiffA]\r\n\"Same\"=\"s\"\r\n\"Text\"=\"before\"\r\n"
           "\"Gone\"=dword:00000001\r\n\"Case\"=\"c\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\DiffA\\Old]\r\n"
           "\"Inner\"=hex:01,02\r\n\r\n[HKEY_CURRENT_USER\\Software\\DiffA\\Kept]\r\n\r\n");
    import("b.reg",
           "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DiffB]\r\n\"Same\"=\"s\"\r\n\"Text\"=\"after\"\r\n"
           "\"CASE\"=\"c\"\r\n\"New\"=dword:0000002a\r\n\r\n[HKEY_CURRENT_USER\\Software\\DiffB\\kept]\r\n\r\n");
    saved_ = tempPath("a.bin");
    ASSERT_EQ(run({"reg", "save", "HKCU\\Software\\DiffA", saved_}).status, 0);
  }

  std::string saved_;
};

TEST_F(RegDiffTest, ShowsEveryDifferenceBetweenASnapshotAndALiveKey) {
  ToolResult r = run({"reg", "diff", saved_, "HKCU\\Software\\DiffB"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "--- " + saved_ +
                       "\n"
                       "+++ HKCU\\Software\\DiffB\n"
                       "- key   \\Old\n"
                       "- value \\Old \"Inner\"\n"
                       "    Type: REG_BINARY\n"
                       "    Data: 01 02 \n"
                       "~ value \\ \"Text\"\n"
                       "    - Type: REG_SZ\n"
                       "    - Data: before\n"
                       "    + Type: REG_SZ\n"
                       "    + Data: after\n"
                       "- value \\ \"Gone\"\n"
                       "    Type: REG_DWORD\n"
                       "    Data: 01 00 00 00 \n"
                       "+ value \\ \"New\"\n"
                       "    Type: REG_DWORD\n"
                       "    Data: 2A 00 00 00 \n");

  ToolResult j = run({"reg", "diff", "--json", saved_, "HKCU\\Software\\DiffB"});
  EXPECT_EQ(j.status, 1);
  nlohmann::json doc = nlohmann::json::parse(j.out);
  EXPECT_EQ(doc["equal"], false);
  std::set<std::string> seen;
  for (const auto& d : doc["differences"]) {
    seen.insert(d["change"].get<std::string>() + " " + d["kind"].get<std::string>() + " " +
                d["key"].get<std::string>() + (d.contains("name") ? ":" + d["name"].get<std::string>() : ""));
  }
  EXPECT_EQ(seen, (std::set<std::string>{"changed value :Text", "removed value :Gone", "removed key Old",
                                         "removed value Old:Inner", "added value :New"}));
  for (const auto& d : doc["differences"]) {
    if (d.value("name", "") != "Text") continue;
    EXPECT_EQ(d["before"]["data"], "6265666F726500");
    EXPECT_EQ(d["after"]["typeName"], "REG_SZ");
    EXPECT_EQ(d["after"]["shown"], "Type: REG_SZ\nData: after\n");
  }
}

TEST_F(RegDiffTest, EqualTreesPrintNothingAndExitZero) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"reg", "diff", saved_, saved_},
        std::vector<std::string>{"reg", "diff", saved_, "HKEY_CURRENT_USER\\Software\\DiffA"},
        std::vector<std::string>{"reg", "diff", "hkcu\\Software\\DiffB", "HKCU\\Software\\DiffB"}}) {
    ToolResult r = run(args);
    EXPECT_EQ(r.status, 0) << args[3] << r.err << r.out;
    EXPECT_EQ(r.out, "");
  }
  ToolResult j = run({"reg", "diff", "--json", saved_, saved_});
  EXPECT_EQ(j.status, 0);
  EXPECT_EQ(nlohmann::json::parse(j.out)["equal"], true);
}

TEST_F(RegDiffTest, UsageAndUnreadableSidesExitTwo) {
  EXPECT_EQ(run({"reg", "diff", saved_}).status, 2);
  ToolResult missing = run({"reg", "diff", saved_, tempPath("missing.bin")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("neither a file nor a registry path"), std::string::npos) << missing.err;
  ToolResult noKey = run({"reg", "diff", "HKCU\\Software\\Nothing", saved_});
  EXPECT_EQ(noKey.status, 2);
  EXPECT_NE(noKey.err.find("no such key"), std::string::npos) << noKey.err;
  const std::string junk = tempPath("junk.bin");
  writeBytes(junk, {'x', 'y'});
  EXPECT_EQ(run({"reg", "diff", junk, saved_}).status, 2);
}

}  // namespace
