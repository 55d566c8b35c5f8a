// tobrel dump FILE: the structure of a stream file.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/fistream.h"
#include "cli/command.h"
#include "cli/dump/decoder.h"
#include "cli/dump/render.h"
#include "cli/dump/schema.h"
#include "cli/progress.h"
#include "cli/writer.h"

TOBREL_MODULE_ID("dump.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

int runDump(const Invocation& invocation) {
  const std::string& path = invocation.args[0];
  if (invocation.has("json") + invocation.has("dot") + invocation.has("offsets") > 1) {
    throw UsageError("--json, --dot and --offsets do not go together");
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw Failure(path + ": is a directory");
  std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) size = 0;

  std::unique_ptr<fvistream> in;
  try {
    in.reset(new fvistream(path.c_str()));
  } catch (InternalException* e) {
    std::string message = e->getMsg();
    delete e;
    throw Failure(message);
  }

  std::unique_ptr<Schema> schema;
  if (invocation.has("schema")) {
    try {
      schema.reset(new Schema(Schema::load(invocation.value("schema"))));
    } catch (const std::runtime_error& e) {
      throw Failure(e.what());
    }
  }

  Writer out(stdout);
  std::unique_ptr<DumpSink> sink =
      invocation.has("json") ? makeJsonSink(out)
      : invocation.has("dot") ? makeDotSink(out, kDotCollapseAbove)
                              : makeTextSink(out, invocation.has("offsets"));
  Progress progress;
  DumpDecoder decoder(*in, *sink, schema.get());
  decoder.setProgress(&progress, size);

  // The stop is part of the output; stderr gets it as well, so that a
  // script sees why the exit status is 1.
  bool ok = decoder.run(path, size);
  if (!out.flush()) throw Failure("write error on standard output");
  if (!ok) throw Failure(path + ": " + decoder.stopMessage());
  return kExitOk;
}

}  // namespace

Command dumpCommand() {
  Command c;
  c.path = "dump";
  c.synopsis = "FILE [--json | --dot | --offsets] [--schema CLASSES.json]";
  c.summary = "Show the records of a stream file: objects, references, texts, registry elements.";
  c.details =
      "Each object record is shown with its index (what later references point to), its class id\n"
      "and class name, and its contents: tstring texts in double quotes (code page 932 shown as\n"
      "UTF-8, other bytes escaped), registry keys with class, name, last write time and elements,\n"
      "registry values with name, type and data, registry trees with root key and subkey.\n"
      "Records nest by indentation. A file may hold several records one after another.\n"
      "\n"
      "Record contents carry no length: an unknown class id or a damaged record ends the dump\n"
      "with the byte offset and the reason, and the exit status is 1.\n"
      "\n"
      "--json prints the document that 'tobrel undump' writes back (docs/dump-json.md).\n"
      "--dot prints the object graph for Graphviz: 'tobrel dump --dot FILE | dot -Tsvg > graph.svg'.\n"
      "One node per object record, solid edges to nested records, dashed blue edges for references.\n"
      "Above " + std::to_string(kDotCollapseAbove) + " objects, runs of more than four same-class siblings are drawn as\n"
      "their first two, one node for the rest and their last.\n"
      "\n"
      "--schema names a JSON file that declares an application's own classes: per class id a\n"
      "name and the fields its saveContents writes (docs/dump-schema.md). Their records are then\n"
      "decoded as the library's own; a record that does not match its declaration stops the dump.\n";
  c.options = {{"json", "", "print the structure as one JSON document"},
               {"dot", "", "print the object graph in Graphviz's language"},
               {"offsets", "", "start every line with the file offset of what it shows"},
               {"schema", "CLASSES.json", "decode the application classes declared in this file"}};
  c.minArgs = 1;
  c.maxArgs = 1;
  c.run = runDump;
  return c;
}

}  // namespace cli
}  // namespace tobrel
