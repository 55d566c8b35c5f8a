// tobrel dump --dot: the object graph in Graphviz's language.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/stream_bytes.h"
#include "tests/tool_runner.h"

namespace {

using tobrel::test::Bytes;
using tobrel::test::key;
using tobrel::test::readText;
using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::value;
using tobrel::test::writeBytes;
using tobrel::test::writeText;

class DotTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const Bytes& bytes) {
    std::string path = tempPath(name);
    writeBytes(path, bytes.b);
    return path;
  }
  ToolResult dot(const std::string& path) { return runTobrel({"dump", "--dot", path}, tempPath("dot-registry.db")); }

  // Whether Graphviz's dot reads the graph without a complaint.
  void expectDotAccepts(const std::string& graph, const std::string& what) {
    const std::string in = tempPath("graph.dot"), err = tempPath("dot.err");
    writeText(in, graph);
    int status = std::system(("dot -Tsvg '" + in + "' > /dev/null 2> '" + err + "'").c_str());
    EXPECT_EQ(status, 0) << what << ": " << readText(err) << "\n(graphviz's dot is installed by scripts/install-deps.sh)";
    EXPECT_EQ(readText(err), "") << what;
  }
};

TEST_F(DotTest, SmallGraphHasEveryRecordAndEdge) {
  Bytes b;
  b.text("a\"b").add(key("K", 0, 0, {value("v", 4, std::string("\x2a\0\0\0", 4))})).ref(0);
  b.open(0xF033).i32(1).text("").open(0x1234).i32(0).i32(0).close().i32(0).i32(0).i32(0).close();
  const std::string path = file("small.bin", b);
  ToolResult r = dot(path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "digraph stream {\n"
                   "  node [shape=box, fontsize=10];\n"
                   "  edge [fontsize=9];\n"
                   "  n0 [shape=folder, label=\"" + path + "\\n" + std::to_string(b.b.size()) + " bytes\"];\n"
                   "  n1 [label=\"tstring #0\\n\\\"a\\\"b\\\"\"];\n"
                   "  n0 -> n1;\n"
                   "  n2 [label=\"regkey_t #1\\n1 elements\"];\n"
                   "  n0 -> n2;\n"
                   "  n3 [label=\"tstring #2\\n\\\"\\\"\"];\n"
                   "  n2 -> n3 [label=\"class\"];\n"
                   "  n4 [label=\"tstring #3\\n\\\"K\\\"\"];\n"
                   "  n2 -> n4 [label=\"name\"];\n"
                   "  n5 [label=\"regval_t #4\\nREG_DWORD, 4 bytes: 2A 00 00 00\"];\n"
                   "  n2 -> n5 [label=\"[0]\"];\n"
                   "  n6 [label=\"tstring #5\\n\\\"v\\\"\"];\n"
                   "  n5 -> n6 [label=\"name\"];\n"
                   "  n7 [label=\"regkey_t #6\\n0 elements\"];\n"
                   "  n0 -> n7;\n"
                   "  n8 [label=\"tstring #7\\n\\\"\\\"\"];\n"
                   "  n7 -> n8 [label=\"class\"];\n"
                   "  n9 [label=\"tstring #8 (id 0x1234)\\n\\\"\\\"\"];\n"
                   "  n7 -> n9 [label=\"name\"];\n"
                   "  n0 -> n1 [style=dashed, color=blue, constraint=false, label=\"@\"];\n"
                   "}\n");
  expectDotAccepts(r.out, path);
}

TEST_F(DotTest, LargeFilesCollapseRunsOfSiblingsAndSaySo) {
  std::vector<Bytes> values;
  for (int i = 0; i < 300; ++i) values.push_back(value("v" + std::to_string(i), 4, std::string(4, '\0')));
  Bytes large;
  large.add(key("big", 0, 0, values)).ref(200);  // a reference into the collapsed run
  ToolResult r = dot(file("large.bin", large));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("603 objects, more than 500: runs of same-class siblings are collapsed"), std::string::npos);
  EXPECT_NE(r.out.find("297 more regval_t (collapsed, 594 objects)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\\\"v299\\\""), std::string::npos);   // the last of the run is drawn
  EXPECT_EQ(r.out.find("\\\"v2\\\""), std::string::npos);     // the third is not
  EXPECT_LT(r.out.size(), 3000u);
  EXPECT_NE(r.out.find("[style=dashed, color=blue"), std::string::npos);
  expectDotAccepts(r.out, "large");

  // Below the threshold nothing is collapsed.
  values.resize(100);
  ToolResult small = dot(file("medium.bin", Bytes().add(key("mid", 0, 0, values))));
  EXPECT_EQ(small.out.find("collapsed"), std::string::npos);
  EXPECT_NE(small.out.find("\\\"v50\\\""), std::string::npos);
}

TEST_F(DotTest, DotAcceptsTheGraphsOfTheCorporaDamagedOrNot) {
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TOBREL_SOURCE_DIR "/fuzz/corpus")) {
    if (!entry.is_regular_file()) continue;
    ToolResult r = dot(entry.path().string());
    EXPECT_TRUE(r.status == 0 || r.status == 1) << entry.path();
    if (r.status == 1) {
      EXPECT_NE(r.out.find("stop [shape=note, color=red"), std::string::npos) << entry.path();
    }
    expectDotAccepts(r.out, entry.path().string());
    ++files;
  }
  EXPECT_GE(files, 10);
  EXPECT_EQ(runTobrel({"dump", "--dot", "--json", "x"}, "").status, 2);
}

}  // namespace
