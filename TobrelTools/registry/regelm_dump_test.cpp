// The text dumps of keys, values and trees.
#include <string>

#include <gtest/gtest.h>

#include "TobrelTools/registry/reg.h"

namespace {

std::string str(const std::tstring& t) { return std::string(t.data(), t.size()); }

std::string dumpOf(const std::string& bytes, unsigned long type, const char* name = "v") {
  regval_t v;
  v.setName(name);
  v.setData(bytes.data(), static_cast<int>(bytes.size()), type);
  return str(v.toString());
}

std::string dataLine(const std::string& dump) {
  std::string::size_type at = dump.find("Data: ");
  return at == std::string::npos ? std::string() : dump.substr(at);
}

TEST(RegDump, LastWriteLineOnlyForTimesDosCanHold) {
  regkey_t k;
  k.setName("Software\\Test");
  k.setClass("cls");
  k.setLastWriteTime(filetime{112546816u, 31107129u});  // 2024-05-17 09:03:04 UTC
  EXPECT_EQ(str(k.toString()),
            "--- regkey ---\nClass Name: cls\nName: \"Software\\Test\"\nLast Write: 2024/5/17 9:3:4\n");

  k.setLastWriteTime(filetime{3788865536u, 27846559u});  // 1980-01-01 00:00:00
  EXPECT_NE(str(k.toString()).find("Last Write: 1980/1/1 0:0:0\n"), std::string::npos);
  k.setLastWriteTime(filetime{1725076224u, 37251256u});  // 2107-12-31 23:59:58
  EXPECT_NE(str(k.toString()).find("Last Write: 2107/12/31 23:59:58\n"), std::string::npos);
  k.setLastWriteTime(filetime{0, 0});
  EXPECT_EQ(str(k.toString()).find("Last Write"), std::string::npos);
#if !defined(_WIN32)
  // Where the platform's conversion refuses them (Wine's accepts some).
  for (filetime t : {filetime{3778865536u, 27846559u} /* 1979 */, filetime{1745076224u, 37251256u} /* 2108 */}) {
    k.setLastWriteTime(t);
    EXPECT_EQ(str(k.toString()).find("Last Write"), std::string::npos);
  }
#endif
}

// The whole dump of a value of each type: the five named types, others as
// REG_NONE; text types up to their first NUL (or the whole block without
// one), every other type as upper-case hex bytes each followed by a blank.
TEST(RegDump, ValueTypesAndData) {
  struct Case {
    std::string bytes;
    unsigned long type;
    const char* typeAndData;
  };
  const Case cases[] = {
      {std::string("\x01\0\0\0", 4), REG_DWORD, "REG_DWORD\nData: 01 00 00 00 \n"},
      {"\xab\xcd\x0f", REG_BINARY, "REG_BINARY\nData: AB CD 0F \n"},
      {std::string("one\0two\0\0", 9), REG_MULTI_SZ, "REG_MULTI_SZ\nData: one\n"},
      {std::string("text\0", 5), REG_SZ, "REG_SZ\nData: text\n"},
      {std::string("%PATH%\0x", 8), REG_EXPAND_SZ, "REG_EXPAND_SZ\nData: %PATH%\n"},
      {"no nul", REG_EXPAND_SZ, "REG_EXPAND_SZ\nData: no nul\n"},
      {std::string("\x10\0\0\0\0\0\0\x80", 8), REG_QWORD, "REG_NONE\nData: 10 00 00 00 00 00 00 80 \n"},
      {"", REG_NONE, "REG_NONE\nData: \n"},
      {"x", 12345, "REG_NONE\nData: 78 \n"},
      {"s", REG_DWORD_BIG_ENDIAN, "REG_NONE\nData: 73 \n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dumpOf(c.bytes, c.type), std::string("--- Registry Value ---\nName: v\nType: ") + c.typeAndData);
  }

  regval_t noData;  // no data: the line feed alone, text or not
  for (unsigned long type : {REG_SZ, REG_BINARY}) {
    noData.setType(type);
    EXPECT_EQ(dataLine(str(noData.toString())), "Data: \n");
  }
  EXPECT_EQ(str(noData.toString()), "--- Registry Value ---\nName: \nType: REG_BINARY\nData: \n");
}

TEST(RegDump, NamesAreTakenLiterally) {
  EXPECT_NE(dumpOf("x", REG_SZ, "100%s %d %n").find("Name: 100%s %d %n\n"), std::string::npos);
  EXPECT_EQ(dataLine(dumpOf(std::string("%s%s%s\0", 7), REG_SZ)), "Data: %s%s%s\n");
}

TEST(RegDump, KeyDumpsItsSubtreeDepthFirst) {
  regkey_t top;
  top.setName("top");
  regkey_t* sub = new regkey_t;
  sub->setName("sub");
  regval_t* inner = new regval_t;
  inner->setName("x");
  inner->setData(std::tstring("1"), REG_SZ);
  sub->addElements(inner);
  top.addElements(sub);
  regval_t* outer = new regval_t;
  outer->setName("y");
  top.addElements(outer);
  EXPECT_EQ(str(top.toString()),
            "--- regkey ---\nClass Name: \nName: \"top\"\n"
            "--- regkey ---\nClass Name: \nName: \"sub\"\n"
            "--- Registry Value ---\nName: x\nType: REG_SZ\nData: 1\n"
            "--- Registry Value ---\nName: y\nType: REG_NONE\nData: \n");
}

TEST(RegDump, TreeHeader) {
  regtree tree(HKEY_LOCAL_MACHINE, "Software\\Test");
  EXPECT_EQ(str(tree.toString()),
            "--- Registry Tree ---\nHKEY: 80000002, SUBKEY: Software\\Test\n"
            "--- regkey ---\nClass Name: \nName: \"\"\n");
  tree.getTopkey().setName("Software\\Test");
  EXPECT_NE(str(tree.toString()).find("--- regkey ---\nClass Name: \nName: \"Software\\Test\"\n"),
            std::string::npos);
  regtree none;
  EXPECT_EQ(str(none.toString()).substr(0, 52),
            "--- Registry Tree ---\nHKEY: 00000000, SUBKEY: \n--- r");
}

// Lines longer than format's 4095 characters come out whole, and lines right
// at the limit do too.
TEST(RegDump, LongLinesAreNeverCut) {
  for (std::size_t total : {4094u, 4095u, 4096u, 4097u, 20000u}) {
    SCOPED_TRACE(total);
    std::string name(total - 9, 'n');  // Name: "<name>"\n has 9 more characters
    regkey_t k;
    k.setName(name.c_str());
    k.setClass(std::tstring(std::string(total, 'c').c_str()));
    std::string dump = str(k.toString());
    EXPECT_NE(dump.find("\nName: \"" + name + "\"\n"), std::string::npos);
    EXPECT_NE(dump.find("\nClass Name: " + std::string(total, 'c') + "\n"), std::string::npos);

    std::string text(total, 't');
    std::string valueDump = dumpOf(text, REG_SZ, name.c_str());
    EXPECT_EQ(dataLine(valueDump), "Data: " + text + "\n");
    EXPECT_NE(valueDump.find("\nName: " + name + "\n"), std::string::npos);

    regtree tree(HKEY_CURRENT_USER, name.c_str());
    std::string treeDump = str(tree.toString());
    EXPECT_EQ(treeDump.substr(0, 22 + 24 + name.size() + 1),
              "--- Registry Tree ---\nHKEY: 80000001, SUBKEY: " + name + "\n");
  }
  std::string hex = dataLine(dumpOf(std::string(3000, '\x5a'), REG_BINARY));
  EXPECT_EQ(hex.size(), 6u + 3000u * 3u + 1u);
}

}  // namespace
