#include "cli/command.h"

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("command.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

const OptionSpec* findOption(const Command& command, const std::string& name) {
  for (const OptionSpec& option : command.options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

Invocation parseArguments(const Command& command, const std::vector<std::string>& words) {
  Invocation result;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      result.args.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word.compare(0, 2, "--") != 0) {
      throw UsageError("unknown option '" + word + "'");
    }
    std::string name = word.substr(2);
    std::string value;
    bool hasInlineValue = false;
    std::size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.erase(eq);
      hasInlineValue = true;
    }
    const OptionSpec* option = findOption(command, name);
    if (!option) throw UsageError("unknown option '--" + name + "'");
    if (option->valueName.empty()) {
      if (hasInlineValue) throw UsageError("option '--" + name + "' takes no value");
    } else if (!hasInlineValue) {
      if (i + 1 >= words.size()) {
        throw UsageError("option '--" + name + "' needs a value (" + option->valueName + ")");
      }
      value = words[++i];
    }
    if (result.options.count(name)) throw UsageError("option '--" + name + "' given twice");
    result.options[name] = value;
  }
  const std::string usage = "usage: tobrel " + command.path + (command.synopsis.empty() ? "" : " " + command.synopsis);
  if (result.args.size() < command.minArgs) throw UsageError("missing arguments: " + usage);
  if (result.args.size() > command.maxArgs) throw UsageError("too many arguments: " + usage);
  return result;
}

std::string commandHelp(const Command& command) {
  std::string text = "usage: tobrel " + command.path;
  if (!command.synopsis.empty()) text += " " + command.synopsis;
  text += "\n\n" + command.summary + "\n";
  if (!command.details.empty()) text += "\n" + command.details;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += "\noptions:\n";
  for (const OptionSpec& option : command.options) {
    std::string left = "  --" + option.name;
    if (!option.valueName.empty()) left += " " + option.valueName;
    if (left.size() < 22) left.resize(22, ' ');
    else left += "  ";
    text += left + option.help + "\n";
  }
  text += "  -h, --help          show this help and exit\n";
  return text;
}

}  // namespace cli
}  // namespace tobrel
