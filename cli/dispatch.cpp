#include "cli/dispatch.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "cli/command.h"

TOBREL_MODULE_ID("dispatch.cpp", "2026.12.05");

#ifndef TOBREL_VERSION
#define TOBREL_VERSION "unknown"
#endif

namespace tobrel {
namespace cli {

namespace {

bool isHelp(const std::string& word) { return word == "--help" || word == "-h"; }

// The commands whose path starts with `prefix` words ("reg" lists the reg
// subcommands; "" lists all).
std::string commandList(const std::vector<Command>& commands, const std::string& prefix) {
  std::string text;
  for (const Command& c : commands) {
    if (!prefix.empty() && c.path.compare(0, prefix.size() + 1, prefix + " ") != 0) continue;
    std::string left = "  " + c.path;
    if (left.size() < 18) left.resize(18, ' ');
    else left += "  ";
    text += left + c.summary + "\n";
  }
  return text;
}

std::string toolHelp(const std::vector<Command>& commands) {
  return "usage: tobrel COMMAND [ARGUMENTS] [OPTIONS]\n"
         "\n"
         "The TobrelTools command-line tool: inspect stream files, and save, restore, import\n"
         "and export registry subtrees.\n"
         "\n"
         "commands:\n" +
         commandList(commands, "") +
         "\n"
         "Registry paths are a root key and a subkey path joined by a backslash, for example\n"
         "HKEY_CURRENT_USER\\Software\\Example or HKCU\\Software\\Example (also HKCR, HKLM, HKU).\n"
#if !defined(_WIN32)
         "The registry is the store named by the environment variable TOBREL_REGISTRY, by default\n"
         "${XDG_DATA_HOME:-$HOME/.local/share}/TobrelTools/registry.db.\n"
#endif
         "\n"
         "Run 'tobrel COMMAND --help' for the arguments and options of a command.\n"
         "Exit status: 0 success, 1 the work failed, 2 wrong usage.\n";
}

std::string groupHelp(const std::vector<Command>& commands, const std::string& group) {
  return "usage: tobrel " + group + " SUBCOMMAND [ARGUMENTS] [OPTIONS]\n\nsubcommands:\n" +
         commandList(commands, group) + "\nRun 'tobrel " + group + " SUBCOMMAND --help' for details.\n";
}

int usage(const std::string& where, const std::string& message) {
  std::fprintf(stderr, "tobrel: %s\nTry 'tobrel%s --help'.\n", message.c_str(),
               where.empty() ? "" : (" " + where).c_str());
  return kExitUsage;
}

// Everything before "--" counts for help.
bool asksForHelp(const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    if (w == "--") return false;
    if (isHelp(w)) return true;
  }
  return false;
}

int runCommand(const Command& command, const std::vector<std::string>& words) {
  if (asksForHelp(words)) {
    std::fputs(commandHelp(command).c_str(), stdout);
    return kExitOk;
  }
  try {
    Invocation invocation = parseArguments(command, words);
    int status = command.run(invocation);
    if (std::fflush(stdout) != 0) {
      std::fprintf(stderr, "tobrel: write error on standard output\n");
      return kExitFailure;
    }
    return status;
  } catch (const UsageError& e) {
    return usage(command.path, e.what());
  } catch (const Failure& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tobrel: %s\n", e.what());
    return kExitFailure;
  } catch (InternalException* e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tobrel: %s\n", e->getMsg().c_str());
    delete e;
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tobrel: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace

std::vector<Command> allCommands() {
  std::vector<Command> commands;
  commands.push_back(dumpCommand());
  commands.push_back(undumpCommand());
  for (Command& c : regCommands()) commands.push_back(c);
  commands.push_back(demoCommand());
  return commands;
}

int runTool(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  const std::vector<Command> commands = allCommands();
  if (words.empty()) return usage("", "no command given");
  if (isHelp(words[0]) || words[0] == "help") {
    if (words.size() > 1 && words[0] == "help") {
      words.erase(words.begin());
      words.push_back("--help");
    } else {
      std::fputs(toolHelp(commands).c_str(), stdout);
      return kExitOk;
    }
  }
  if (words[0] == "--version") {
    std::printf("tobrel %s\n", TOBREL_VERSION);
    return kExitOk;
  }

  // The longest command path that the first words spell.
  const Command* best = nullptr;
  std::size_t bestWords = 0;
  for (const Command& c : commands) {
    std::size_t n = 0;
    std::size_t pos = 0;
    bool match = true;
    while (match && pos <= c.path.size()) {
      std::size_t end = c.path.find(' ', pos);
      if (end == std::string::npos) end = c.path.size();
      match = n < words.size() && words[n] == c.path.substr(pos, end - pos);
      ++n;
      pos = end + 1;
    }
    if (match && n > bestWords) {
      best = &c;
      bestWords = n;
    }
  }
  if (!best) {
    // A group word ("reg") alone, with help, or with an unknown subcommand.
    std::string group = words[0];
    if (!commandList(commands, group).empty()) {
      if (words.size() > 1 && isHelp(words[1])) {
        std::fputs(groupHelp(commands, group).c_str(), stdout);
        return kExitOk;
      }
      if (words.size() == 1) return usage(group, "'" + group + "' needs a subcommand");
      return usage(group, "unknown " + group + " subcommand '" + words[1] + "'");
    }
    return usage("", "unknown command '" + words[0] + "'");
  }
  return runCommand(*best, std::vector<std::string>(words.begin() + bestWords, words.end()));
}

}  // namespace cli
}  // namespace tobrel
