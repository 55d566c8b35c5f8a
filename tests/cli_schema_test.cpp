// Application classes in tobrel dump, undump and --dot, declared with
// --schema: files written by client classes of the tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TobrelTools/TobrelTools.h"
#include "tests/persist_classes.h"
#include "tests/tool_runner.h"

namespace {

using tobrel::test::bytesOf;
using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;
using tobrel::test::Tree;
using tobrel::test::writeText;

// A client class with every kind of field: primitives of several widths, a
// text held by value, a counted repetition and a link after a presence flag.
class Drawing : public Persistable {
 public:
  static const unsigned short Drawing_id = 0x0310;
  struct Point {
    double x;
    float y;
  };

  unsigned short isA() const override { return Drawing_id; }
  void saveContents(vostream& os) const override {
    os << version << title << static_cast<unsigned short>(points.size());
    for (const Point& p : points) os << p.x << p.y;
    os << (owner != nullptr);
    if (owner) os << owner;
    os << stamp << tag;
  }
  void restoreContents(vistream& is) override {
    unsigned short count = 0;
    bool hasOwner = false;
    is >> version >> title >> count;
    points.resize(count);
    for (Point& p : points) is >> p.x >> p.y;
    is >> hasOwner;
    if (hasOwner) {
      Persistable* p = nullptr;
      is >> p;
      owner = dynamic_cast<Tree*>(p);
    }
    is >> stamp >> tag;
  }
  static Persistable* create() { return new Drawing(); }

  int version = 0;
  std::tstring title;
  std::vector<Point> points;
  Tree* owner = nullptr;
  __int64 stamp = 0;
  unsigned char tag = 0;
};

const char kSchema[] = R"({"classes": [
  {"id": 514, "name": "Tree", "contents": [
    {"name": "value", "type": "int"}, {"name": "hasLeft", "type": "char"}, {"name": "hasRight", "type": "char"},
    {"name": "left", "link": true, "if": "hasLeft"}, {"name": "right", "link": true, "if": "hasRight"}]},
  {"id": 784, "name": "Drawing", "contents": [
    {"name": "version", "type": "int"}, {"name": "title", "object": "tstring"},
    {"name": "count", "type": "unsigned short"},
    {"name": "points", "repeat": "count", "contents": [{"name": "x", "type": "double"}, {"name": "y", "type": "float"}]},
    {"name": "hasOwner", "type": "bool"}, {"name": "owner", "link": true, "if": "hasOwner"},
    {"name": "stamp", "type": "__int64"}, {"name": "tag", "type": "unsigned char"}]}]})";

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tobrel::test::registerTestClasses();
    ClassFactory::getInstance()->add(Drawing::Drawing_id, &Drawing::create);
    schema_ = tempPath("classes.json");
    writeText(schema_, kSchema);
    // Two drawings sharing one tree: the second holds a reference to it.
    tree_.reset(new Tree(7, new Tree(8), nullptr));
    Drawing first, second;
    first.version = 3;
    first.title = std::tstring("\x90\x7d\x96\xca");  // code page 932
    first.points = {{1.5, -2.25f}, {1e300, 0.1f}};
    first.owner = tree_.get();
    first.stamp = -1234567890123LL;
    first.tag = 200;
    second.title = std::tstring("second");
    second.owner = tree_.get();
    file_ = tempPath("drawings.bin");
    Persistable::readyToSerialize();
    {
      fvostream out(file_.c_str());
      out << &first << &second;
    }
  }

  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, tempPath("schema-registry.db")); }

  std::string schema_;
  std::string file_;
  std::unique_ptr<Tree> tree_;
};

TEST_F(SchemaTest, ApplicationClassesDecodeAndGiveBackTheSameBytes) {
  ToolResult plain = run({"dump", file_});
  EXPECT_EQ(plain.status, 1);
  EXPECT_NE(plain.err.find("unknown class id 0x0310"), std::string::npos) << plain.err;

  ToolResult text = run({"dump", "--schema", schema_, file_});
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* shown : {"#0 Drawing (0x0310)", "version: 3 (int)", "points: 2 items", "x: 1.5 (double)",
                            "y: -2.25 (float)", "owner: #2 Tree (0x0202)", "left: #3 Tree", "stamp: -1234567890123 (__int64)",
                            "tag: 200 (unsigned char)", "owner: reference to #2 Tree"}) {
    EXPECT_NE(text.out.find(shown), std::string::npos) << shown << "\n" << text.out;
  }

  ToolResult json = run({"dump", "--json", "--schema", schema_, file_});
  ASSERT_EQ(json.status, 0) << json.err;
  const std::string jsonPath = tempPath("drawings.json"), out = tempPath("drawings-back.bin");
  writeText(jsonPath, json.out);
  ToolResult undumped = run({"undump", "--schema", schema_, jsonPath, out});
  ASSERT_EQ(undumped.status, 0) << undumped.err;
  EXPECT_EQ(bytesOf(out), bytesOf(file_));
  // Without the schema the document cannot be written.
  EXPECT_EQ(run({"undump", jsonPath, out}).status, 1);

  ToolResult dot = run({"dump", "--dot", "--schema", schema_, file_});
  ASSERT_EQ(dot.status, 0) << dot.err;
  EXPECT_NE(dot.out.find("Drawing #0\\nversion=3\\ncount=2\\npoints[2]\\nhasOwner=true"), std::string::npos) << dot.out;
  EXPECT_NE(dot.out.find("[label=\"owner\"]"), std::string::npos);
  EXPECT_NE(dot.out.find("label=\"@ owner\""), std::string::npos);
}

TEST_F(SchemaTest, EditedFieldsReadBackAsEdited) {
  ToolResult json = run({"dump", "--json", "--schema", schema_, file_});
  ASSERT_EQ(json.status, 0) << json.err;
  nlohmann::json doc = nlohmann::json::parse(json.out);
  nlohmann::json& fields = doc["records"][0]["fields"];
  fields["points"][0]["x"] = -0.5;
  fields["points"].push_back({{"x", 4.0}, {"y", 8.0}});
  fields["count"] = 3;
  fields["title"]["text"] = "edited";
  doc["records"][1]["fields"]["owner"] = {{"reference", 3}};  // the tree's left child instead
  const std::string jsonPath = tempPath("edited.json"), out = tempPath("edited.bin");
  writeText(jsonPath, doc.dump());
  ToolResult undumped = run({"undump", "--schema", schema_, jsonPath, out});
  ASSERT_EQ(undumped.status, 0) << undumped.err;

  Persistable::readyToSerialize();
  fvistream in(out.c_str());
  Persistable* a = nullptr;
  Persistable* b = nullptr;
  in >> a >> b;
  std::unique_ptr<Drawing> first(dynamic_cast<Drawing*>(a)), second(dynamic_cast<Drawing*>(b));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->title, std::tstring("edited"));
  ASSERT_EQ(first->points.size(), 3u);
  EXPECT_EQ(first->points[0].x, -0.5);
  EXPECT_EQ(first->points[2].y, 8.0f);
  EXPECT_EQ(first->stamp, -1234567890123LL);
  ASSERT_NE(first->owner, nullptr);
  EXPECT_EQ(first->owner->value, 7);
  EXPECT_EQ(second->owner, first->owner->left);  // the changed reference
  delete first->owner;
}

TEST_F(SchemaTest, MismatchesAndBadSchemasStopWithWhereAndWhy) {
  // y declared 8 bytes wide: the record no longer closes where it should.
  std::string wrong = kSchema;
  wrong.replace(wrong.find("\"float\""), 7, "\"double\"");
  const std::string wrongPath = tempPath("wrong.json");
  writeText(wrongPath, wrong);
  ToolResult r = run({"dump", "--schema", wrongPath, file_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("offset "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("stopped at offset"), std::string::npos) << r.out;

  struct Case {
    const char* schema;
    const char* why;
  } cases[] = {
      {"{\"classes\": [{\"id\": 784, \"name\": \"D\", \"contents\": [{\"name\": \"n\", \"type\": \"word\"}]}]}",
       "/classes/0/contents/0/type: not one of the twelve primitive types"},
      {"{\"classes\": [{\"id\": 784, \"name\": \"D\", \"contents\": [{\"name\": \"r\", \"repeat\": \"n\", "
       "\"contents\": [{\"name\": \"x\", \"type\": \"int\"}]}, {\"name\": \"n\", \"type\": \"int\"}]}]}",
       "/classes/0/contents/0/repeat: no earlier field 'n'"},
      {"{\"classes\": [{\"id\": 61491, \"name\": \"K\", \"contents\": []}]}", "/classes/0/id: the library's own class"},
      {"{\"classes\": [{\"id\": 784, \"name\": \"D\", \"contents\": [{\"name\": \"n\", \"type\": \"int\"}, "
       "{\"name\": \"r\", \"repeat\": \"n\", \"contents\": []}]}]}",
       "needs a field that is not a repetition"},
      {"{\"classes\": [", "invalid JSON"},
  };
  for (const Case& c : cases) {
    writeText(wrongPath, c.schema);
    ToolResult bad = run({"dump", "--schema", wrongPath, file_});
    EXPECT_EQ(bad.status, 1) << c.schema;
    EXPECT_NE(bad.err.find(c.why), std::string::npos) << c.why << "\n" << bad.err;
  }

  // A repetition whose count disagrees with its items is refused by undump.
  ToolResult json = run({"dump", "--json", "--schema", schema_, file_});
  nlohmann::json doc = nlohmann::json::parse(json.out);
  doc["records"][0]["fields"]["count"] = 5;
  const std::string jsonPath = tempPath("count.json"), out = tempPath("count.bin");
  writeText(jsonPath, doc.dump());
  ToolResult refused = run({"undump", "--schema", schema_, jsonPath, out});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("/records/0/fields/points: 2 items, but its count field says 5"), std::string::npos)
      << refused.err;
}

}  // namespace
