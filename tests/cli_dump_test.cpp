// tobrel dump run as a user runs it: the dump of stream files, including
// damaged ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/stream_bytes.h"
#include "tests/tool_runner.h"

namespace {

using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::writeBytes;
using tobrel::test::Bytes;
using tobrel::test::key;
using tobrel::test::value;

class ToolTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const Bytes& bytes) {
    std::string path = tempPath(name);
    writeBytes(path, bytes.b);
    return path;
  }
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, tempPath("registry.db")); }
};

TEST_F(ToolTest, DumpShowsNestedRecordsWithIndicesAndNames) {
  Bytes b;
  b.open(0xF034).i32(1).i32(0x80000001).text("Software\\Demo");
  b.add(key("Software\\Demo", 0, 0,
            {key("Sub", 0x06B55400, 0x01DAA839, {value("x", 4, std::string("\x01\0\0\0", 4))}),
             value("Color", 1, std::string("blue\0", 5)), value("bin", 3, "\x01\x02\xff")}));
  b.close();
  b.text("tab\t\"q\"\x01").ref(1).open(0x8001).close();
  std::string path = file("tree.bin", b);
  ToolResult r = run({"dump", path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const char* expected =
      "#0 regtree (0xF034) {\n"
      "  leading word: 1\n"
      "  root key: 0x80000001 HKEY_CURRENT_USER\n"
      "  subkey: #1 tstring (0x0070) \"Software\\\\Demo\"\n"
      "  top key: #2 regkey_t (0xF033) {\n"
      "    leading word: 1\n"
      "    class: #3 tstring (0x0070) \"\"\n"
      "    name: #4 tstring (0x0070) \"Software\\\\Demo\"\n"
      "    last write: 0 (none)\n"
      "    elements: 3\n"
      "    #5 regkey_t (0xF033) {\n"
      "      leading word: 1\n"
      "      class: #6 tstring (0x0070) \"\"\n"
      "      name: #7 tstring (0x0070) \"Sub\"\n"
      "      last write: 2024-05-17 09:03:04 UTC (0x01DAA83906B55400)\n"
      "      elements: 1\n"
      "      #8 regval_t (0xF035) {\n"
      "        leading word: 1\n"
      "        name: #9 tstring (0x0070) \"x\"\n"
      "        type: 4 REG_DWORD\n"
      "        data: 4 bytes 0x00000001 (1)\n"
      "      }\n"
      "    }\n"
      "    #10 regval_t (0xF035) {\n"
      "      leading word: 1\n"
      "      name: #11 tstring (0x0070) \"Color\"\n"
      "      type: 1 REG_SZ\n"
      "      data: 5 bytes \"blue\\0\"\n"
      "    }\n"
      "    #12 regval_t (0xF035) {\n"
      "      leading word: 1\n"
      "      name: #13 tstring (0x0070) \"bin\"\n"
      "      type: 3 REG_BINARY\n"
      "      data: 3 bytes 01 02 FF\n"
      "    }\n"
      "  }\n"
      "}\n"
      "#14 tstring (0x0070) \"tab\\t\\\"q\\\"\\x01\"\n"
      "reference to #1 tstring (0x0070)\n"
      "#15 Persistable (0x8001) {\n"
      "}\n";
  std::string::size_type body = r.out.find('\n') + 1;
  EXPECT_EQ(r.out.substr(0, body), path + ": 291 bytes\n");
  EXPECT_EQ(r.out.substr(body, std::string(expected).size()), expected);
  EXPECT_NE(r.out.find("end at offset 291: 4 records, 16 objects, 1 reference\n"), std::string::npos) << r.out;
  ToolResult json = run({"dump", "--json", path});
  EXPECT_NE(json.out.find("\"className\":\"regtree\",\"leadingWord\":1,\"rootKey\":2147483649,"
                          "\"rootKeyName\":\"HKEY_CURRENT_USER\",\"subkey\":{"),
            std::string::npos)
      << json.out;
}

TEST_F(ToolTest, DumpOffsetsColumnAndJson) {
  Bytes b;
  b.text("A").add(value("v", 7, std::string("a\0b\0\0", 5))).ref(0);
  std::string path = file("small.bin", b);
  ToolResult text = run({"dump", "--offsets", path});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("00000000  #0 tstring (0x0070) \"A\"\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("0000000E  #1 regval_t"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("00000028    data: 5 bytes \"a\\0b\\0\\0\"\n"), std::string::npos) << text.out;

  ToolResult json = run({"dump", path, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  std::string expected = "{\"file\":\"" + path +
                         "\",\"size\":55,\"records\":["
                         "{\"offset\":0,\"index\":0,\"classId\":112,\"className\":\"tstring\",\"wide\":false,"
                         "\"length\":1,\"text\":\"A\"},"
                         "{\"offset\":14,\"index\":1,\"classId\":61493,\"className\":\"regval_t\",\"leadingWord\":1,"
                         "\"name\":{\"offset\":22,\"index\":2,\"classId\":112,\"className\":\"tstring\",\"wide\":false,"
                         "\"length\":1,\"text\":\"v\"},"
                         "\"valueType\":7,\"valueTypeName\":\"REG_MULTI_SZ\",\"size\":5,\"data\":\"6100620000\","
                         "\"text\":\"a\\u0000b\\u0000\\u0000\"},"
                         "{\"offset\":50,\"reference\":0,\"classId\":112,\"className\":\"tstring\"}],"
                         "\"summary\":{\"records\":3,\"objects\":3,\"references\":1,\"bytes\":55}}\n";
  EXPECT_EQ(json.out, expected);
}

TEST_F(ToolTest, DumpShowsTextBytesWithoutLoss) {
  Bytes b;
  // katakana (single byte), a byte that starts no character, a wide record
  b.text("\xb1\x80").open(0x0070).i32(1).i32(2).u16(0x41).u16(0x3042).close();
  std::string path = file("texts.bin", b);
  ToolResult text = run({"dump", path});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("#0 tstring (0x0070) \"\xef\xbd\xb1\\x80\"\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("#1 tstring (0x0070) wide \"A\xe3\x81\x82\"\n"), std::string::npos) << text.out;
  ToolResult json = run({"dump", "--json", path});
  EXPECT_NE(json.out.find("\"text\":\"\xef\xbd\xb1\xef\xbf\xbd\",\"bytes\":\"B180\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"wide\":true,\"length\":2,\"text\":\"A\xe3\x81\x82\"}"), std::string::npos) << json.out;
}

TEST_F(ToolTest, DumpOfAnEmptyFileIsNoRecords) {
  ToolResult r = run({"dump", file("empty.bin", Bytes())});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("end at offset 0: 0 records, 0 objects, 0 references"), std::string::npos) << r.out;
}

struct Damage {
  const char* name;
  Bytes bytes;
  std::uint64_t offset;
  const char* message;
};

TEST_F(ToolTest, DamagedFilesStopWithOffsetAndReason) {
  Bytes good;
  good.text("ok");
  std::vector<Damage> cases;
  cases.push_back({"truncated count", Bytes(good).open(0x0070).i32(0).u16(3), 23,
                   "unexpected end of file reading the length of a tstring (4 bytes needed, 2 left)"});
  cases.push_back({"truncated text", Bytes(good).open(0x0070).i32(0).i32(1000).raw("abc"), 30,
                   "unexpected end of file reading the text of a tstring"});
  cases.push_back({"no closing brace", Bytes(good).open(0x0070).i32(0).i32(0).u8('x'), 27,
                   "Invalid format: can't find closing brace."});
  cases.push_back({"closing brace missing at the end", Bytes(good).open(0x8001), 19,
                   "unexpected end of file reading the closing brace of Persistable #1"});
  cases.push_back({"no opening brace", Bytes(good).u8(':').u16(0x70).u8('('), 18,
                   "Invalid format: can't find opening brace."});
  cases.push_back({"bad first byte", Bytes(good).u8('x'), 15, "Invalid format: can't find referencer. (byte 0x78)"});
  cases.push_back({"reference too far", Bytes(good).ref(1), 15, "unmatch serialized object."});
  cases.push_back({"negative reference", Bytes(good).ref(-1), 15, "unmatch serialized object."});
  cases.push_back({"unknown class", Bytes(good).open(0x0101).i32(7).close().text("after"), 15,
                   "unknown class id 0x0101: can't find creator; record contents carry no length"});
  // a key's name read into the existing member cannot be a reference
  cases.push_back({"reference as a member",
                   Bytes(good).open(0xF033).i32(1).ref(0), 23, "ileagal reference object."});
  cases.push_back({"negative data size", Bytes().open(0xF035).i32(1).text("v").i32(3).i32(-2), 26,
                   "regval_t: negative data size -2"});
  Bytes keyHead;
  keyHead.open(0xF033).i32(1).text("").text("k").i32(0).i32(0);  // 43 bytes
  cases.push_back({"negative element count", Bytes(keyHead).i32(-1), 43, "regkey_t: negative element count -1"});
  cases.push_back({"element as a reference", Bytes(keyHead).i32(2).add(value("v", 3, "")).ref(1), 78,
                   "regkey_t: element 1 is a back-reference, not an element of its own"});
  cases.push_back({"element of another class", Bytes(keyHead).i32(1).text("t"), 47,
                   "regkey_t: element 0 has class id 0x0070, not a registry key or value"});
  Bytes tree;  // cut inside a value's data, three records deep
  tree.open(0xF034).i32(1).i32(0x80000002).text("S").add(key("S", 0, 0, {value("v", 3, "\x01")}));
  tree.b.resize(tree.b.size() - 5);
  cases.push_back({"cut inside nested records", tree, 99,
                   "unexpected end of file reading the data size of a regval_t (4 bytes needed, 2 left)"});
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.name);
    std::string path = file("damaged.bin", d.bytes);
    ToolResult r = run({"dump", path});
    EXPECT_EQ(r.status, 1);
    std::string where = "offset " + std::to_string(d.offset) + ": ";
    EXPECT_NE(r.err.find("tobrel: " + path + ": " + where + d.message), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("stopped at " + where.substr(0, where.size() - 2)), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("end at offset"), std::string::npos) << r.out;

    // JSON stays one well-formed document, every bracket closed, with the
    // error in it
    ToolResult j = run({"dump", "--json", path});
    EXPECT_EQ(j.status, 1);
    nlohmann::json doc = nlohmann::json::parse(j.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << j.out;
    EXPECT_EQ(doc["error"]["offset"], d.offset) << j.out;
  }
}

TEST_F(ToolTest, DeepNestingIsDecodedUpToItsLimit) {
  auto nested = [](int keys) {
    Bytes b;
    for (int i = 0; i < keys; ++i) b.open(0xF033).i32(1).text("").text("k").i32(0).i32(0).i32(i + 1 < keys ? 1 : 0);
    for (int i = 0; i < keys; ++i) b.close();
    return b;
  };
  ToolResult deep = run({"dump", "--json", file("deep.bin", nested(1024))});
  EXPECT_EQ(deep.status, 0) << deep.err;
  ToolResult tooDeep = run({"dump", file("toodeep.bin", nested(1025))});
  EXPECT_EQ(tooDeep.status, 1);
  EXPECT_NE(tooDeep.err.find("Invalid format: nesting too deep."), std::string::npos) << tooDeep.err;
}

TEST_F(ToolTest, DumpOfAMissingFileOrADirectoryFails) {
  ToolResult missing = run({"dump", tempPath("nothing-here.bin")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("fvistream open error: filename="), std::string::npos) << missing.err;
  ToolResult dir = run({"dump", "/"});
  EXPECT_EQ(dir.status, 1);
  EXPECT_NE(dir.err.find("is a directory"), std::string::npos) << dir.err;
}

}  // namespace
