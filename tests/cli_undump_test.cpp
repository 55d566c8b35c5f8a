// tobrel undump: dump --json and back gives the same bytes; edits to the
// JSON give files that read back as edited; impossible documents are
// refused without writing anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/stream_bytes.h"
#include "tests/tool_runner.h"

namespace {

using nlohmann::json;
using tobrel::test::Bytes;
using tobrel::test::bytesOf;
using tobrel::test::key;
using tobrel::test::readText;
using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::value;
using tobrel::test::writeBytes;
using tobrel::test::writeText;

class UndumpTest : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, tempPath("undump-registry.db")); }

  json dumpJson(const std::string& path) {
    ToolResult r = run({"dump", "--json", path});
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out);
  }

  // dump --json, then undump; the result must be the same bytes.
  void expectRoundTrip(const std::string& path) {
    ToolResult dumped = run({"dump", "--json", path});
    ASSERT_EQ(dumped.status, 0) << path << ": " << dumped.err;
    const std::string jsonPath = tempPath("roundtrip.json"), out = tempPath("roundtrip.bin");
    writeText(jsonPath, dumped.out);
    ToolResult undumped = run({"undump", jsonPath, out});
    ASSERT_EQ(undumped.status, 0) << path << ": " << undumped.err;
    EXPECT_EQ(bytesOf(out), bytesOf(path)) << path;
  }

  // Writes the document and undumps it to a new file.
  std::string undump(const json& document, const std::string& name) {
    const std::string jsonPath = tempPath(name + ".json"), out = tempPath(name);
    writeText(jsonPath, document.dump(1));
    ToolResult r = run({"undump", jsonPath, out});
    EXPECT_EQ(r.status, 0) << r.err;
    return out;
  }
};

TEST_F(UndumpTest, EveryClassAndUnusualStoredFormGivesBackTheSameBytes) {
  Bytes b;
  b.open(0x8001).close();                                 // Persistable
  b.open(0xF036).close();                                 // regelm
  b.text(std::string("a\0\x01\"\\\xb1\x82\xa0", 8));       // controls, escapes, katakana, kana
  b.text("\x87\x90");                                     // a character with two codes (also 81 E0)
  b.text("x\x80\xa0\xff\x81");                            // bytes outside any character
  b.open(0x0070).i32(0).i32(-3).close();                  // the empty text with a negative length
  b.open(0x0070).i32(2).i32(3).u16('A').u16(0xD800).u16(0x3042).close();  // wide, flag 2, lone half
  b.ref(0).ref(3);
  b.open(0xF034).i32(1).i32(0x80000001).text("Software\\X")
      .add(key("X", 5, 0x01D9ABCD,
               {value("s", 1, std::string("v\0", 2)), value("bin", 3, std::string("\0\xff", 2)),
                value("odd", 0x1234, ""), key("sub", 0, 0, {})}))
      .close();
  // A key whose name record carries another class id (read as a text
  // anyway) and whose leading word is not the usual one.
  b.open(0xF033).i32(7).text("").open(0x1234).i32(0).i32(1).raw("n").close().i32(0).i32(0).i32(0).close();
  b.open(0xF034).i32(1).i32(0x7FFFFFFF).text("").add(key("", 0, 0, {})).close();  // unknown root key
  const std::string path = tempPath("classes.bin");
  writeBytes(path, b.b);
  expectRoundTrip(path);
}

TEST_F(UndumpTest, FuzzCorporaGiveBackTheSameBytes) {
  int accepted = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TOBREL_SOURCE_DIR "/fuzz/corpus")) {
    if (!entry.is_regular_file()) continue;
    if (run({"dump", entry.path().string()}).status != 0) continue;  // damaged on purpose
    expectRoundTrip(entry.path().string());
    ++accepted;
  }
  EXPECT_GE(accepted, 8);
}

// Finds the element of a key's list whose name is `name`.
json& element(json& key, const std::string& name) {
  for (json& e : key["elements"]) {
    if (e["name"]["text"] == name) return e;
  }
  ADD_FAILURE() << "no element " << name;
  static json none;
  return none;
}

TEST_F(UndumpTest, EditedDocumentReadsBackAsEdited) {
  const std::string reg = tempPath("edit.reg");
  writeText(reg,
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Edit]\r\n\"Name\"=\"before\"\r\n"
            "\"Gone\"=dword:00000001\r\n\r\n[HKEY_CURRENT_USER\\Software\\Edit\\Alpha]\r\n\"Deep\"=\"x\"\r\n\r\n");
  ASSERT_EQ(run({"reg", "import", reg}).status, 0);
  const std::string saved = tempPath("edit.bin");
  ASSERT_EQ(run({"reg", "save", "HKCU\\Software\\Edit", saved}).status, 0);

  json doc = dumpJson(saved);
  json& top = doc["records"][0]["topKey"];
  json& name = element(top, "Name");
  name["text"] = std::string("after \xe3\x81\x82", 9) + std::string(1, '\0');  // edited text, data left as it was
  json& elements = top["elements"];
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (elements[i]["name"]["text"] == "Gone") elements.erase(i);
  }
  elements.push_back({{"className", "regval_t"}, {"name", {{"text", "Added"}}},
                      {"valueTypeName", "REG_DWORD"}, {"data", "2A000000"}});
  const std::string edited = undump(doc, "edited.bin");

  ASSERT_EQ(run({"reg", "remove", "HKCU\\Software\\Edit"}).status, 0);
  ToolResult load = run({"reg", "load", edited});
  ASSERT_EQ(load.status, 0) << load.err;
  ToolResult show = run({"reg", "show", "HKCU\\Software\\Edit"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("Data: after \xe3\x81\x82"), std::string::npos) << show.out;  // shown as UTF-8
  EXPECT_EQ(show.out.find("before"), std::string::npos) << show.out;
  EXPECT_EQ(show.out.find("Gone"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("Added"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("Deep"), std::string::npos) << show.out;

  // References name the indices the document shows; removing a record
  // before the target renumbers the file but keeps the reference on it.
  Bytes b;
  b.text("first").text("second").text("third").ref(1);
  const std::string refs = tempPath("refs.bin");
  writeBytes(refs, b.b);
  json refDoc = dumpJson(refs);
  refDoc["records"].erase(0);
  refDoc["records"][2]["reference"] = 2;
  json back = dumpJson(undump(refDoc, "refs-edited.bin"));
  ASSERT_EQ(back["records"].size(), 3u);
  EXPECT_EQ(back["records"][2]["reference"], 1);
  EXPECT_EQ(back["records"][2]["className"], "tstring");
  EXPECT_EQ(back["records"][1]["text"], "third");
}

TEST_F(UndumpTest, ImpossibleDocumentsAreRefusedWithWhereAndWhyAndWriteNothing) {
  struct Case {
    const char* document;
    const char* where;
    const char* why;
  } cases[] = {
      {"{\"records\": [\n  {\"classId\": 112,}\n]}", "line 2, column 19", "invalid JSON"},
      {"[]", "/", "expected the object that dump --json prints"},
      {"{\"records\":[{\"reference\":0}]}", "/records/0/reference", "reference to index 0, which no earlier record has"},
      {"{\"records\":[{\"className\":\"tstring\",\"index\":4,\"text\":\"a\"},{\"reference\":5}]}", "/records/1/reference",
       "reference to index 5"},
      {"{\"records\":[{\"classId\":61493,\"name\":{\"text\":\"n\"},\"valueType\":\"REG_SZ\",\"data\":\"\"}]}",
       "/records/0/valueType", "expected an unsigned 32-bit integer, found a string"},
      {"{\"records\":[{\"classId\":61493,\"name\":{\"text\":\"n\"},\"valueType\":1,\"data\":\"0\"}]}", "/records/0/data",
       "hexadecimal"},
      {"{\"records\":[{\"classId\":61491,\"elements\":[]}]}", "/records/0/name", "missing"},
      {"{\"records\":[{\"classId\":4660}]}", "/records/0/classId", "unknown class id 0x1234"},
      {"{\"records\":[{\"classId\":70000}]}", "/records/0/classId", "expected a class id"},
      {"{\"records\":[{\"className\":\"regkey_t\",\"name\":{\"text\":\"k\"},\"elements\":[{\"className\":\"tstring\"}]}]}",
       "/records/0/elements/0", "must be a registry key or value"},
      {"{\"records\":[{\"className\":\"regkey_t\",\"name\":{\"reference\":0}}]}", "/records/0/name",
       "cannot be a reference"},
      {"{\"records\":[{\"className\":\"tstring\",\"text\":\"\\u00a5\"}]}", "/records/0/text", "U+00A5"},
      {"{\"records\":[{\"className\":\"tstring\",\"wide\":1}]}", "/records/0/wide", "expected true or false"},
      {"{\"records\":[{\"className\":\"tstring\",\"index\":0},{\"className\":\"tstring\",\"index\":0}]}",
       "/records/1/index", "given to an earlier record too"},
      {"{\"records\":[],\"error\":{\"offset\":3,\"message\":\"x\"}}", "/error", "not read whole"},
  };
  const std::string out = tempPath("refused.bin");
  for (const Case& c : cases) {
    writeText(out, "old");
    const std::string jsonPath = tempPath("refused.json");
    writeText(jsonPath, c.document);
    ToolResult r = run({"undump", jsonPath, out});
    EXPECT_EQ(r.status, 1) << c.document;
    EXPECT_NE(r.err.find(std::string(c.where) + ": "), std::string::npos) << c.document << "\n" << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << c.document << "\n" << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
    EXPECT_EQ(readText(out), "old");
  }
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(out).parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
  EXPECT_EQ(run({"undump", tempPath("missing.json"), out}).status, 1);
  EXPECT_EQ(run({"undump", out}).status, 2);
}

}  // namespace
