// Resource script reader: string tables in real-world script shapes through
// the C compiler's preprocessor, line markers, and the errors that must name
// file and line.
#include "tools/rc/preprocessor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "tests/test_util.h"

namespace {

using tobrel::rc::parsePreprocessed;
using tobrel::rc::ScriptError;
using tobrel::rc::ScriptResult;
using tobrel::test::tempPath;

std::string write(const std::string& name, const std::string& text) {
  std::string path = tempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

ScriptResult readScripts(const std::vector<std::string>& paths) {
  tobrel::rc::Preprocessor preprocessor(TOBREL_RC_PREPROCESSOR, {});
  return tobrel::rc::readScripts(preprocessor, paths);
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

// Conditionals are the C preprocessor's; the script sees RC_INVOKED, and
// ids are expressions over the defined names.
TEST(RcScriptTest, ConditionalsAndDefinesFollowThePreprocessor) {
  std::string script = write("cond.rc",
      "#define LEVEL 2\n"
      "#if defined(LEVEL) && LEVEL > 1 \\\n   && !defined(MISSING)\n"
      "#define PICK 1\n"
      "#else\n"
      "#define PICK 3\n"
      "#endif\n"
      "#ifndef RC_INVOKED\n"
      "#error not a resource compile\n"
      "#endif\n"
      "STRINGTABLE BEGIN PICK \"picked\" PICK * 10 + (3 << 2) % 5 \"calc\" END\n");
  auto strings = table({script});
  EXPECT_EQ(strings[1], "picked");
  EXPECT_EQ(strings[12], "calc");
}

// Several scripts make one table, where an id may be defined only once.
TEST(RcScriptTest, SeveralScriptsMakeOneTable) {
  std::string a = write("a.rc", "STRINGTABLE BEGIN 1 \"a\" END\n");
  std::string b = write("b.rc", "#define IDS_A 1\nSTRINGTABLE BEGIN 2 \"b\" END\n");
  std::string c = write("c.rc", "STRINGTABLE BEGIN\n2 \"c\" END\n");
  auto strings = table({a, b});
  EXPECT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[2], "b");
  try {
    readScripts({a, b, c});
    FAIL() << "duplicate accepted";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), c + ":2: error: string id 2 is already defined at " + b + ":2");
  }
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
      {"#define A B\n#define B A\nSTRINGTABLE BEGIN\n A \"x\" END\n", 4, "undefined name 'A'"},
      {"STRINGTABLE BEGIN\n 1 \"\\x\"\nEND\n", 2, "\\x escape without hexadecimal digits"},
      {"STRINGTABLE BEGIN\n 1 / 0 \"x\"\nEND\n", 2, "division by zero"},
      {"STRINGTABLE BEGIN\n 1 @ \"x\"\nEND\n", 2, "unexpected character '@'"},
      {"STRINGTABLE BEGIN\n 1 \"open\nEND\n", 2, "unterminated string"},
      {"\n#include \"absent.h\"\n", 2, "cannot open include file 'absent.h'"},
      // The preprocessor's own errors, in its words.
      {"#if 1\nSTRINGTABLE BEGIN END\n", 1, ""},
      {"\n#else\n", 2, "#else without #if"},
      {"\n\n/* open\n", 3, "unterminated"},
      {"#if 1 +\n#endif\n", 1, ""},
      {"#error stop here\n", 1, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string path = write("bad" + std::to_string(n++) + ".rc", c.text);
    std::string expected = path + ":" + std::to_string(c.line) + ": error: " + c.reason;
    EXPECT_EQ(errorOf(path).compare(0, expected.size(), expected), 0)
        << "script:\n" << c.text << "\ngave: " << errorOf(path) << "\nexpected: " << expected;
  }
  EXPECT_EQ(errorOf(tempPath("none.rc")), tempPath("none.rc") + ":0: error: cannot open the script");
}

TEST(RcScriptTest, FirstErrorOfEitherCompilersDiagnostics) {
  using tobrel::rc::firstError;
  const char* gcc =
      "In file included from app.rc:3:\n"
      "dir/res.h:7:10: fatal error: absent.h: No such file or directory\n"
      "    7 | #include \"absent.h\"\n"
      "compilation terminated.\n";
  const char* clang =
      "In file included from app.rc:3:\n"
      "dir/res.h:7:10: fatal error: 'absent.h' file not found\n"
      "#include \"absent.h\"\n"
      "         ^~~~~~~~~~\n"
      "1 error generated.\n";
  EXPECT_EQ(std::string(firstError(gcc)->what()), "dir/res.h:7: error: cannot open include file 'absent.h'");
  EXPECT_EQ(std::string(firstError(clang)->what()), "dir/res.h:7: error: cannot open include file 'absent.h'");
  EXPECT_EQ(std::string(firstError("C:/a b.rc:12: error: unterminated #if\n")->what()),
            "C:/a b.rc:12: error: unterminated #if");
  EXPECT_EQ(std::string(firstError("x.rc:2:2: error: one\nx.rc:9:1: error: two\n")->what()),
            "x.rc:2: error: one");
  EXPECT_EQ(std::string(firstError("cc1: error: bad option\n")->what()), "cc1:0: error: bad option");
  EXPECT_FALSE(firstError("x.rc:1:1: warning: w\n    1 | error: not a diagnostic\n"));
}

TEST(RcScriptTest, LineMarkersPlaceEntriesAndErrors) {
  ScriptResult r = parsePreprocessed(
      "# 1 \"app.rc\"\n"
      "# 1 \"<built-in>\"\n"
      "# 1 \"app.rc\"\n"
      "STRINGTABLE BEGIN\n"
      "# 1 \"dir\\\\with \\\"quote\\\".h\" 1\n"
      "\n"
      " 1 \"from the header\"\n"
      "# 5 \"app.rc\" 2\n"
      "#pragma code_page(932)\n"
      " 2 \"back\"\n"
      "#line 40\n"
      " 3 \"forty\"\n"
      "END\n",
      "fallback.rc");
  ASSERT_EQ(r.strings.size(), 3u);
  EXPECT_EQ(r.strings[0].file + ":" + std::to_string(r.strings[0].line), "dir\\with \"quote\".h:2");
  EXPECT_EQ(r.strings[1].file + ":" + std::to_string(r.strings[1].line), "app.rc:6");
  EXPECT_EQ(r.strings[2].file + ":" + std::to_string(r.strings[2].line), "app.rc:40");
  EXPECT_EQ(r.inputs, (std::vector<std::string>{"fallback.rc", "app.rc", "dir\\with \"quote\".h"}));
  try {
    parsePreprocessed("STRINGTABLE BEGIN\n# 7 \"h.h\"\n 1 \"a\"\n# 3 \"s.rc\"\n 1 \"b\"\nEND\n", "s.rc");
    FAIL() << "duplicate accepted";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "s.rc:3: error: string id 1 is already defined at h.h:7");
  }
}

TEST(RcScriptTest, TrailBackslashBeforeTheClosingQuoteSurvivesThePreprocessor) {
  // A C preprocessor takes the trail byte 0x5C of a code page 932 character
  // for an escape and leaves the rest of the line as written.
  std::string script = write("trail.rc",
      "#define IDS_X 3\n"
      "STRINGTABLE BEGIN\n"
      " 1 \"\x83\x5C\"  // comment after\n"
      " 2 \"\x95\x5C\" \"joined\" /* comment */\n"
      " IDS_X \"\x83\x5C\"\n"
      "END\n");
  auto strings = table({script});
  EXPECT_EQ(strings[1], "\x83\x5C");
  EXPECT_EQ(strings[2], "\x95\x5Cjoined");
  EXPECT_EQ(strings[3], "\x83\x5C");
}

TEST(RcScriptTest, GeneratedSourceEscapesEveryByte) {
  tobrel::rc::ScriptResult r;
  r.strings.push_back({3, std::string("a\"\\?\0\x95\x5C", 7), "f", 1});
  std::string src = tobrel::rc::generateSource(r);
  EXPECT_NE(src.find("{3u, \"a\\042\\134\\077\\000\\225\\134\", 7u}"), std::string::npos) << src;
}

}  // namespace
