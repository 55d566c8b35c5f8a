// tobrel reg diff A B: what changed between two registry subtrees, each a
// stream file written by reg save or a live registry path.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "TobrelTools/export.h"
#include "cli/command.h"
#include "cli/dump/json.h"
#include "cli/dump/render.h"
#include "cli/progress.h"
#include "cli/reg/commands.h"
#include "cli/reg/paths.h"
#include "cli/reg/support.h"
#include "cli/reg/tree_diff.h"
#include "cli/reg/tree_steps.h"
#include "cli/text_escape.h"
#include "cli/writer.h"

TOBREL_MODULE_ID("diff.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

const int kExitDifferent = 1;

// A file when one exists at that name, else a registry path.
std::unique_ptr<regtree> openSide(const std::string& text) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(text, ec)) return readTreeFile(text);
  RegistryPath path;
  try {
    path = parseRegistryPath(text);
  } catch (const UsageError&) {
    throw Failure(text + ": neither a file nor a registry path");
  }
  if (!keyExists(path.root, path.subkey)) throw Failure(path.text() + ": no such key");
  std::unique_ptr<regtree> tree(new regtree(path.root, path.subkey.c_str()));
  RegistryBatch snapshot(false);
  Progress progress;
  loadTree(*tree, progress, "loading " + path.text());
  return tree;
}

std::string text(const std::tstring& s) { return std::string(s.data(), s.size()); }

// A value's type and data as reg show shows them: the lines after its name.
std::string shown(const regval_t& value) {
  regval_t unnamed(value);
  unnamed.setName(std::tstring(""));
  std::string all = text(unnamed.toString());
  std::size_t type = all.find("\nType: ");
  return type == std::string::npos ? all : all.substr(type + 1);
}

// Key paths, names, class names and text data are code page 932: shown for
// the terminal as reg show shows them.
std::string keyLabel(const std::string& path) { return displayText("\\" + path); }

void indented(Writer& out, const char* prefix, const std::string& stored) {
  const std::string lines = displayText(stored);
  std::size_t start = 0;
  while (start < lines.size()) {
    std::size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    out.put("    ").put(prefix).put(lines.data() + start, end - start).put('\n');
    start = end + 1;
  }
}

void printText(Writer& out, const std::string& a, const std::string& b, const std::vector<TreeDifference>& diffs) {
  out.put("--- ").put(a).put("\n+++ ").put(b).put('\n');
  for (const TreeDifference& d : diffs) {
    const char* mark = d.change == TreeDifference::kAdded ? "+" : d.change == TreeDifference::kRemoved ? "-" : "~";
    if (!d.isValue()) {
      out.put(mark).put(" key   ").put(keyLabel(d.keyPath)).put('\n');
      if (d.change == TreeDifference::kChanged) {
        indented(out, "- ", "Class Name: " + text(d.keyBefore->getClass()));
        indented(out, "+ ", "Class Name: " + text(d.keyAfter->getClass()));
      }
      continue;
    }
    const regval_t& named = d.after ? *d.after : *d.before;
    out.put(mark).put(" value ").put(keyLabel(d.keyPath)).put(" \"").put(displayText(text(named.getName()))).put("\"\n");
    if (d.change != TreeDifference::kChanged) {
      indented(out, "", shown(named));
      continue;
    }
    std::string before = shown(*d.before), after = shown(*d.after);
    if (before == after) {
      // The shown form hides the difference (bytes after a text's NUL):
      // the bytes say it.
      before += "Bytes: " + hexBytes(d.before->getData(), static_cast<std::size_t>(d.before->getDataSize()), ' ');
      after += "Bytes: " + hexBytes(d.after->getData(), static_cast<std::size_t>(d.after->getDataSize()), ' ');
    }
    indented(out, "- ", before);
    indented(out, "+ ", after);
  }
}

Json valueJson(const regval_t& v) {
  const char* typeName = regTypeName(static_cast<std::uint32_t>(v.getType()));
  Json j = {{"type", static_cast<std::uint32_t>(v.getType())},
            {"typeName", typeName ? Json(typeName) : Json(nullptr)},
            {"data", hexBytes(v.getData(), static_cast<std::size_t>(v.getDataSize()), 0)}};
  std::string show = shown(v);
  j["shown"] = cp932ToUtf8(show.data(), show.size(), nullptr);
  return j;
}

std::string utf8(const std::string& cp932) { return cp932ToUtf8(cp932.data(), cp932.size(), nullptr); }

void printJson(Writer& out, const std::string& a, const std::string& b, const std::vector<TreeDifference>& diffs) {
  Json list = Json::array();
  for (const TreeDifference& d : diffs) {
    static const char* const changes[] = {"added", "removed", "changed"};
    Json j = {{"change", changes[d.change]}, {"kind", d.isValue() ? "value" : "key"}, {"key", utf8(d.keyPath)}};
    if (d.isValue()) {
      j["name"] = utf8(text((d.after ? d.after : d.before)->getName()));
      if (d.before) j["before"] = valueJson(*d.before);
      if (d.after) j["after"] = valueJson(*d.after);
    } else if (d.change == TreeDifference::kChanged) {
      j["before"] = {{"className", utf8(text(d.keyBefore->getClass()))}};
      j["after"] = {{"className", utf8(text(d.keyAfter->getClass()))}};
    }
    list.push_back(std::move(j));
  }
  Json document = {{"a", a}, {"b", b}, {"equal", diffs.empty()}, {"differences", std::move(list)}};
  out.put(document.dump(1, ' ', false, Json::error_handler_t::replace)).put('\n');
}

int runDiff(const Invocation& invocation) {
  const std::string& a = invocation.args[0];
  const std::string& b = invocation.args[1];
  std::vector<TreeDifference> diffs;
  std::unique_ptr<regtree> before, after;
  try {
    before = openSide(a);
    after = openSide(b);
  } catch (const Failure& failure) {
    // As diff does: 2 for trouble, so that 1 always means "they differ".
    std::fprintf(stderr, "tobrel: %s\n", failure.what());
    return kExitUsage;
  }
  diffs = diffTrees(before->getTopkey(), after->getTopkey());
  Writer out(stdout);
  if (invocation.has("json")) printJson(out, a, b, diffs);
  else if (!diffs.empty()) printText(out, a, b, diffs);
  if (!out.flush()) throw Failure("write error on standard output");
  return diffs.empty() ? kExitOk : kExitDifferent;
}

}  // namespace

Command regDiffCommand() {
  Command c;
  c.path = "reg diff";
  c.synopsis = "A B [--json]";
  c.summary = "Show the keys and values added, removed or changed between two registry subtrees.";
  c.details =
      "A and B are each a stream file written by 'reg save' or a registry path (HKCU\\Software\\X);\n"
      "a name that is an existing file is taken as a file. The subtrees below the two top keys\n"
      "are compared; key and value names match as the registry matches them (letters in either\n"
      "case, full-width, Greek and Cyrillic ones too). Lines start with '+' (only in B), '-'\n"
      "(only in A) or '~' (changed); keys\n"
      "are shown by their path below the top key (\\ is the top key), values by their key and\n"
      "their name, with type and data as 'reg show' shows them. The contents of an added or\n"
      "removed key are listed too. Last write times are not compared.\n"
      "\n"
      "Exit status, as diff: 0 the subtrees are equal (nothing is printed), 1 they differ,\n"
      "2 wrong usage or a side that cannot be read.\n";
  c.options = {{"json", "", "print {\"a\", \"b\", \"equal\", \"differences\": [...]} for scripts"}};
  c.minArgs = 2;
  c.maxArgs = 2;
  c.run = runDiff;
  return c;
}

}  // namespace cli
}  // namespace tobrel
