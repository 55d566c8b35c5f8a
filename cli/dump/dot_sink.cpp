#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "cli/dump/field_value.h"
#include "cli/dump/render.h"
#include "cli/text_escape.h"
#include "cli/writer.h"

TOBREL_MODULE_ID("dot_sink.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

// Texts in a node are cut to this many characters.
const std::size_t kShortText = 24;
// Runs of same-class siblings longer than this are collapsed (when the file
// has more objects than the threshold): the first kHeadKept and the last one
// are drawn, the rest is one node.
const std::size_t kLongRun = 4;
const std::size_t kHeadKept = 2;

// A label line for Graphviz: UTF-8, quotes and backslashes escaped, control
// characters shown as '.', at most `limit` characters.
std::string labelText(const std::string& utf8, std::size_t limit = kShortText) {
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) != 0x80 && ++chars > limit) {
      out += "...";
      break;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c);
  }
  return out;
}

std::string number(const char* format, std::uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// Collects the objects while the decoder walks the file, and draws them at
// the end, when the runs of siblings are known.
class DotSink : public DumpSink {
 public:
  DotSink(Writer& out, std::size_t collapseAbove) : out_(out), collapseAbove_(collapseAbove) {
    nodes_.push_back(Node());  // the file itself, parent of the top-level records
    nodes_[0].classId = 0;
  }

  void beginFile(const std::string& path, std::uint64_t size) override {
    nodes_[0].label = labelText(path, path.size()) + "\\n" + number("%" PRIu64 " bytes", size);
    open_.push_back(0);
  }

  void beginObject(const char* label, const ObjectInfo& object) override {
    open_.push_back(add(label, object));
  }

  void endObject(std::uint64_t) override { open_.pop_back(); }

  void reference(const char* label, const ReferenceInfo& ref) override {
    links_.push_back(Link{open_.back(), byIndex_[static_cast<std::size_t>(ref.index)], edgeLabel(label)});
  }

  void text(const char* label, const ObjectInfo& object, const TextInfo& text) override {
    std::size_t n = add(label, object);
    std::string utf8 = text.wide ? utf16ToUtf8(text.units, nullptr)
                                 : cp932ToUtf8(text.bytes.data(), text.bytes.size(), nullptr);
    nodes_[n].label += "\\n\\\"" + labelText(utf8) + "\\\"";
  }

  void leadingWord(std::uint64_t, std::int32_t) override {}

  void rootKey(std::uint64_t, std::uint32_t handle) override {
    const char* name = rootKeyName(handle);
    current().label += "\\n" + (name ? std::string(name) : number("0x%08" PRIX64, handle));
  }

  void lastWrite(std::uint64_t, std::uint32_t, std::uint32_t) override {}

  void valueType(std::uint64_t, std::uint32_t type) override {
    const char* name = regTypeName(type);
    current().label += "\\n" + (name ? std::string(name) : number("type %" PRIu64, type));
  }

  void valueData(std::uint64_t, std::uint32_t type, const std::string& data) override {
    std::string shown = isTextType(type) ? "\\\"" + labelText(cp932ToUtf8(data.data(), data.size(), nullptr)) + "\\\""
                                         : labelText(hexBytes(data.data(), data.size(), ' '));
    current().label += number(", %" PRIu64 " bytes", data.size()) + ": " + shown;
  }

  void beginElements(std::uint64_t, std::int32_t count) override {
    current().label += number("\\n%" PRIu64 " elements", static_cast<std::uint64_t>(count));
    current().elements = 0;
  }

  void endElements() override { current().elements = -1; }

  // An application class's fields: the primitives of the record itself,
  // name=value, and the item count of each repetition.
  void beginFields() override {}
  void endFields() override {}

  void field(std::uint64_t, const char* name, Primitive type, std::uint64_t bits) override {
    if (items_ == 0) current().label += "\\n" + labelText(std::string(name) + "=" + fieldJson(type, bits).dump());
  }

  void beginRepeat(std::uint64_t, const char* name, std::int64_t count) override {
    if (items_ == 0) current().label += "\\n" + labelText(std::string(name)) + "[" + std::to_string(count) + "]";
    ++items_;
  }

  void beginItem(std::uint64_t, std::int64_t) override {}
  void endItem() override {}
  void endRepeat() override { --items_; }

  void error(std::uint64_t offset, const std::string& message) override {
    error_ = number("stopped at offset %" PRIu64 ": ", offset) + labelText(message, message.size());
  }

  void endFile(std::uint64_t, std::uint64_t objects, std::uint64_t, std::uint64_t) override {
    if (objects > collapseAbove_) collapse();
    draw(objects);
  }

 private:
  struct Node {
    std::string label;
    unsigned short classId = 0;
    std::size_t parent = 0;
    std::string edge;                  // the label of the edge from the parent
    std::vector<std::size_t> children;
    long elements = -1;                // while a key's elements are read: how many so far
    std::size_t shownAs = 0;           // itself, or the node that stands for it when collapsed
    std::size_t hidden = 0;            // a collapsed run: how many objects it stands for
  };
  struct Link {
    std::size_t from, to;
    std::string label;
  };

  Node& current() { return nodes_[open_.back()]; }

  static std::string edgeLabel(const char* label) { return label ? label : ""; }

  std::size_t add(const char* label, const ObjectInfo& object) {
    const std::size_t n = nodes_.size();
    Node node;
    node.classId = object.classId;
    node.parent = open_.back();
    node.shownAs = n;
    node.label = std::string(object.className) + " #" + std::to_string(object.index);
    if (object.idIgnored) node.label += number(" (id 0x%04" PRIX64 ")", object.classId);
    Node& parent = nodes_[node.parent];
    node.edge = parent.elements >= 0 ? "[" + std::to_string(parent.elements++) + "]" : edgeLabel(label);
    parent.children.push_back(n);
    nodes_.push_back(std::move(node));
    byIndex_.push_back(n);
    return n;
  }

  // Each run of more than kLongRun siblings of one class keeps its first
  // kHeadKept and its last member; the others, and all below them, are
  // shown by one node.
  void collapse() {
    for (std::size_t p = 0; p < nodes_.size(); ++p) {
      if (nodes_[p].shownAs != p || nodes_[p].hidden) continue;  // already inside a collapsed run
      const std::vector<std::size_t>& kids = nodes_[p].children;
      std::size_t start = 0;
      while (start < kids.size()) {
        std::size_t end = start + 1;
        while (end < kids.size() && nodes_[kids[end]].classId == nodes_[kids[start]].classId) ++end;
        if (end - start > kLongRun) {
          const std::size_t stand = kids[start + kHeadKept];
          std::size_t count = 0;
          for (std::size_t k = start + kHeadKept; k + 1 < end; ++k) count += hide(kids[k], stand);
          Node& s = nodes_[stand];
          s.hidden = count;
          s.label = std::to_string(end - start - kHeadKept - 1) + " more " + className(s) + " (collapsed, " +
                    std::to_string(count) + " objects)";
          s.shownAs = stand;
        }
        start = end;
      }
    }
  }

  std::size_t hide(std::size_t n, std::size_t stand) {
    std::size_t count = 1;
    nodes_[n].shownAs = stand;
    for (std::size_t c : nodes_[n].children) count += hide(c, stand);
    return count;
  }

  static std::string edge(std::size_t from, std::size_t to) {
    return "  n" + std::to_string(from) + " -> n" + std::to_string(to);
  }

  std::string className(const Node& n) const { return n.label.substr(0, n.label.find(" #")); }

  void draw(std::uint64_t objects) {
    out_.put("digraph stream {\n  node [shape=box, fontsize=10];\n  edge [fontsize=9];\n");
    std::size_t hiddenTotal = 0;
    for (const Node& n : nodes_) hiddenTotal += n.hidden;
    std::string title = nodes_[0].label;
    if (hiddenTotal) {
      title += "\\n" + std::to_string(objects) + " objects, more than " + std::to_string(collapseAbove_) +
               ": runs of same-class siblings are collapsed";
    }
    out_.put("  n0 [shape=folder, label=\"").put(title).put("\"];\n");
    for (std::size_t i = 1; i < nodes_.size(); ++i) {
      const Node& n = nodes_[i];
      if (n.shownAs != i) continue;
      out_.put("  n" + std::to_string(i) + " [label=\"").put(n.label).put('"');
      if (n.hidden) out_.put(", style=dashed");
      out_.put("];\n");
      out_.put(edge(nodes_[n.parent].shownAs, i));
      if (!n.edge.empty()) out_.put(" [label=\"").put(n.edge).put("\"]");
      out_.put(";\n");
    }
    for (const Link& link : links_) {
      out_.put(edge(nodes_[link.from].shownAs, nodes_[link.to].shownAs));
      out_.put(" [style=dashed, color=blue, constraint=false");
      out_.put(", label=\"").put(link.label.empty() ? "@" : "@ " + link.label).put("\"];\n");
    }
    if (!error_.empty()) out_.put("  stop [shape=note, color=red, label=\"").put(error_).put("\"];\n");
    out_.put("}\n");
  }

  Writer& out_;
  const std::size_t collapseAbove_;
  std::vector<Node> nodes_;
  std::vector<std::size_t> open_;     // the records being read, innermost last
  std::vector<std::size_t> byIndex_;  // node of each object index
  std::vector<Link> links_;
  std::string error_;
  int items_ = 0;  // repetitions being read; their items' fields are not shown
};

}  // namespace

std::unique_ptr<DumpSink> makeDotSink(Writer& out, std::size_t collapseAbove) {
  return std::unique_ptr<DumpSink>(new DotSink(out, collapseAbove));
}

}  // namespace cli
}  // namespace tobrel
