// Resource script reader: string tables in real-world script shapes, and the
// errors that must name file and line.
#include "tools/rc/rc_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "tests/test_util.h"

namespace {

using tobrel::rc::readScripts;
using tobrel::rc::ScriptError;
using tobrel::test::tempPath;

std::string write(const std::string& name, const std::string& text) {
  std::string path = tempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::map<unsigned, std::string> table(const std::vector<std::string>& paths) {
  std::map<unsigned, std::string> out;
  for (const auto& e : readScripts(paths).strings) out[e.id] = e.text;
  return out;
}

// The message of the error a script raises ("" when it is accepted).
std::string errorOf(const std::string& path) {
  try {
    readScripts({path});
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "";
}

TEST(RcScriptTest, ReadsStringTablesOfAnEditorWrittenScript) {
  std::string header = write("resource.h",
      "//{{NO_DEPENDENCIES}}\n"
      "#define IDS_BASE        100\n"
      "#define IDS_HELLO       (IDS_BASE + 1)\n"
      "#define IDS_PATH        0x66\n"
      "#define IDD_MAIN        200\n"
      "#define MACRO(x)        x\n");
  std::string base = header.substr(header.find_last_of('/') + 1);
  std::string script = write("app.rc",
      "#include \"" + base + "\"\n"
      "#include <windows.h>\n"
      "#include \"afxres.h\"\n"
      "#pragma code_page(932)\n"
      "#ifdef APSTUDIO_INVOKED\n"
      "1 TEXTINCLUDE BEGIN \"resource.h\\0\" END\n"
      "#endif\n"
      "#if 0\n"
      "this is \"not read at all\n"
      "#else\n"
      "/* comment with \"quotes\" and\n STRINGTABLE words */\n"
      "#endif\n"
      "IDI_APP ICON \"app.ico\"\n"
      "IDD_MAIN DIALOGEX 0, 0, 100, 50\n"
      "STYLE DS_MODALFRAME | WS_POPUP\n"
      "CAPTION \"Main\"\n"
      "BEGIN\n"
      "    PUSHBUTTON \"OK\", IDOK, 10, 10, 40, 14\n"
      "END\n"
      "VS_VERSION_INFO VERSIONINFO\n"
      "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    VALUE \"x\", \"y\"\n  END\nEND\n"
      "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n"
      "STRINGTABLE DISCARDABLE PRELOAD\n"
      "BEGIN\n"
      "    IDS_HELLO \"Hello, \"\"world\"\"\"   // the greeting\n"
      "    IDS_PATH, \"C:\\\\dir\\ttab\\x41\\101\\n\"\n"
      "    7 \"\x95\x5C\x83\x7C\" \" and more\"\n"
      "END\n"
      "STRINGTABLE LANGUAGE 0x11, 0x01 CHARACTERISTICS 3 VERSION 2\n"
      "{\n"
      "    IDD_MAIN + 1, L\"wide\"\n"
      "    0xFFFF \"\"\n"
      "}\n"
      "stringtable loadoncall moveable begin 8 \"lower\" end\n");
  auto strings = table({script});
  EXPECT_EQ(strings.size(), 6u);
  EXPECT_EQ(strings[101], "Hello, \"world\"");
  EXPECT_EQ(strings[0x66], "C:\\dir\ttabAA\n");
  EXPECT_EQ(strings[7], "\x95\x5C\x83\x7C and more");  // trail bytes 5C/7C are not escapes
  EXPECT_EQ(strings[201], "wide");
  EXPECT_EQ(strings[0xFFFF], "");
  EXPECT_EQ(strings[8], "lower");
  auto inputs = readScripts({script}).inputs;
  EXPECT_EQ(inputs, (std::vector<std::string>{script, header}));
}

TEST(RcScriptTest, ConditionalsAndDefinesFollowThePreprocessor) {
  std::string script = write("cond.rc",
      "#define LEVEL 2\n"
      "#define ID(x) x\n"
      "#if defined(LEVEL) && LEVEL > 1 \\\n   && !defined(MISSING)\n"
      "#define PICK 1\n"
      "#elif 1\n"
      "#define PICK 2\n"
      "#else\n"
      "#define PICK 3\n"
      "#endif\n"
      "#ifndef RC_INVOKED\n"
      "#error not a resource compile\n"
      "#endif\n"
      "#undef LEVEL\n"
      "#ifdef LEVEL\n"
      "#define PICK 4\n"
      "#endif\n"
      "STRINGTABLE BEGIN PICK \"picked\" PICK * 10 + (3 << 2) % 5 \"calc\" END\n");
  auto strings = table({script});
  EXPECT_EQ(strings[1], "picked");
  EXPECT_EQ(strings[12], "calc");
}

TEST(RcScriptTest, DeepDefinitionChainsStayCheap) {
  // Each name uses the one before twice: 2^40 expansions without reuse.
  std::string text = "#define M0 1\n";
  for (int i = 1; i <= 40; ++i) {
    text += "#define M" + std::to_string(i) + " (M" + std::to_string(i - 1) + " + M" +
            std::to_string(i - 1) + " - M" + std::to_string(i - 1) + ")\n";
  }
  text += "#if M40 == 1\nSTRINGTABLE BEGIN M40 \"deep\" END\n#endif\n";
  auto strings = table({write("deep.rc", text)});
  EXPECT_EQ(strings[1], "deep");
}

TEST(RcScriptTest, SeveralScriptsMakeOneTable) {
  std::string a = write("a.rc", "STRINGTABLE BEGIN 1 \"a\" END\n");
  std::string b = write("b.rc", "#define IDS_A 1\nSTRINGTABLE BEGIN 2 \"b\" END\n");
  auto strings = table({a, b});
  EXPECT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[2], "b");
}

TEST(RcScriptTest, ErrorsNameFileLineAndReason) {
  struct Case {
    const char* text;
    int line;
    const char* reason;
  } cases[] = {
      {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", 4, "string id 1 is already defined at "},
      {"STRINGTABLE BEGIN\n 70000 \"big\"\nEND\n", 2, "string id 70000 is outside 0..65535"},
      {"STRINGTABLE\n1 \"x\"\n", 2, "expected BEGIN or { after STRINGTABLE"},
      {"\nEND\n", 2, "END without BEGIN"},
      {"X DIALOG 0,0,1,1\nBEGIN\n", 2, "BEGIN without END"},
      {"STRINGTABLE BEGIN\n 1\nEND\n", 3, "expected a string after id 1"},
      {"STRINGTABLE BEGIN\n \"x\"\nEND\n", 2, "string without an id"},
      {"#if 1\nSTRINGTABLE BEGIN END\n", 1, "#if without #endif"},
      {"\n#else\n", 2, "#else without #if"},
      {"\n\n/* open\n", 3, "unterminated comment"},
      {"#if 1 +\n#endif\n", 1, "expression expected"},
      {"#define A B\n#define B A\nSTRINGTABLE BEGIN\n A \"x\" END\n", 2, "macro 'A' expands too deeply"},
      {"#define F(x) x\nSTRINGTABLE BEGIN\n F(1) \"x\" END\n", 3, "function-like macro 'F'"},
      {"#error stop here\n", 1, "#error stop here"},
      {"STRINGTABLE BEGIN\n 1 \"\\x\"\nEND\n", 2, "\\x escape without hexadecimal digits"},
      {"STRINGTABLE BEGIN\n 1 / 0 \"x\"\nEND\n", 2, "division by zero"},
      {"STRINGTABLE BEGIN\n 1 @ \"x\"\nEND\n", 2, "unexpected character '@'"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string path = write("bad" + std::to_string(n++) + ".rc", c.text);
    std::string expected = path + ":" + std::to_string(c.line) + ": error: " + c.reason;
    EXPECT_EQ(errorOf(path).compare(0, expected.size(), expected), 0)
        << "script:\n" << c.text << "\ngave: " << errorOf(path) << "\nexpected: " << expected;
  }
}

TEST(RcScriptTest, ErrorsInsideHeadersNameTheHeader) {
  std::string header = write("broken.h", "#define OK 1\n#define BAD (1 +\n");
  std::string script = write("uses.rc", "#include \"" + header.substr(header.find_last_of('/') + 1) +
                                            "\"\nSTRINGTABLE BEGIN\n BAD \"x\" END\n");
  EXPECT_EQ(errorOf(script).rfind(header + ":2: error: ", 0), 0u) << errorOf(script);
  EXPECT_EQ(errorOf(tempPath("none.rc")).rfind(tempPath("none.rc") + ":0: error: cannot open", 0), 0u);
}

TEST(RcScriptTest, DuplicateAcrossScriptsIsAnError) {
  std::string a = write("one.rc", "STRINGTABLE BEGIN 5 \"a\" END\n");
  std::string b = write("two.rc", "STRINGTABLE BEGIN\n5 \"b\" END\n");
  try {
    readScripts({a, b});
    FAIL() << "duplicate accepted";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), b + ":2: error: string id 5 is already defined at " + a + ":1");
  }
}

TEST(RcScriptTest, GeneratedSourceEscapesEveryByte) {
  tobrel::rc::ScriptResult r;
  r.strings.push_back({3, std::string("a\"\\?\0\x95\x5C", 7), "f", 1});
  std::string src = tobrel::rc::generateSource(r);
  EXPECT_NE(src.find("{3u, \"a\\042\\134\\077\\000\\225\\134\", 7u}"), std::string::npos) << src;
}

}  // namespace
