// tobrel undump FILE.json OUT: a stream file written back from the JSON that
// dump --json prints, as dumped or as edited.
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "TobrelTools/export.h"
#include "cli/command.h"
#include "cli/dump/schema.h"
#include "cli/dump/stream_encoder.h"

TOBREL_MODULE_ID("undump.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

std::string readWhole(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw Failure(path + ": is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure(path + ": cannot open for reading");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw Failure(path + ": read error");
  return text.str();
}

// Writes beside the target and renames, so that the target is either the
// old file or the complete new one, never a part.
void replaceFile(const std::string& path, const std::string& bytes) {
  std::random_device random;
  const std::string temp = path + ".undump-" + std::to_string(random()) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure(path + ": cannot create " + temp);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      throw Failure(path + ": write error");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw Failure(path + ": " + ec.message());
  }
}

int runUndump(const Invocation& invocation) {
  const std::string& jsonPath = invocation.args[0];
  const std::string& outPath = invocation.args[1];
  std::unique_ptr<Schema> schema;
  if (invocation.has("schema")) {
    try {
      schema.reset(new Schema(Schema::load(invocation.value("schema"))));
    } catch (const std::runtime_error& e) {
      throw Failure(e.what());
    }
  }
  std::string bytes;
  try {
    bytes = StreamEncoder(schema.get()).encodeText(readWhole(jsonPath));
  } catch (const EncodeError& e) {
    throw Failure(jsonPath + ": " + e.what() + "; nothing written");
  }
  replaceFile(outPath, bytes);
  return kExitOk;
}

}  // namespace

Command undumpCommand() {
  Command c;
  c.path = "undump";
  c.synopsis = "FILE.json OUT [--schema CLASSES.json]";
  c.summary = "Write a stream file back from the JSON that dump --json prints, as is or edited.";
  c.details =
      "A document printed by dump --json gives back the dumped file byte for byte. Edits are\n"
      "taken: change a text or a value's data, add or remove records and elements, point a\n"
      "reference elsewhere. References name the \"index\" of an earlier record as the document\n"
      "shows it; indices are renumbered in the file written. Offsets, sizes, counts, lengths and\n"
      "the summary are worked out again and may be left out.\n"
      "\n"
      "A document that does not parse, or that describes no readable file (a reference to an\n"
      "index no earlier record has, a wrong type for a field), is refused with its location and\n"
      "the reason; OUT is then left as it was. OUT is replaced only when complete.\n";
  c.options = {{"schema", "CLASSES.json", "write the application classes declared in this file (as dump read them)"}};
  c.minArgs = 2;
  c.maxArgs = 2;
  c.run = runUndump;
  return c;
}

}  // namespace cli
}  // namespace tobrel
