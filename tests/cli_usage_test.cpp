// The command line of every tobrel command: a wrong one exits with status 2,
// prints nothing on stdout, and says exactly what is wrong and where to find
// the right usage; help is no error.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

namespace {

using tobrel::test::runTobrel;
using tobrel::test::tempPath;
using tobrel::test::ToolResult;

class UsageTest : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args) { return runTobrel(args, tempPath("usage-registry.db")); }

  // Runs the words and checks status 2, empty stdout and the whole stderr:
  // "tobrel: <message>" and the hint to the help of `where`.
  void expectUsage(const std::vector<std::string>& words, const std::string& message, const std::string& where) {
    std::string shown;
    for (const std::string& w : words) shown += " '" + w + "'";
    SCOPED_TRACE("tobrel" + shown);
    ToolResult r = run(words);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tobrel: " + message + "\nTry 'tobrel" + (where.empty() ? "" : " " + where) + " --help'.\n");
  }
};

const char kBadRoot[] =
    "'Software\\X' does not start with a root key (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
    "HKEY_USERS, or HKCR, HKCU, HKLM, HKU)";

TEST_F(UsageTest, CommandsAndGroupsThatDoNotExist) {
  expectUsage({}, "no command given", "");
  expectUsage({"frob"}, "unknown command 'frob'", "");
  expectUsage({"--frob"}, "unknown command '--frob'", "");
  expectUsage({"reg"}, "'reg' needs a subcommand", "reg");
  expectUsage({"reg", "frob"}, "unknown reg subcommand 'frob'", "reg");
  expectUsage({"REG", "show"}, "unknown command 'REG'", "");
}

// The exact message for a wrong argument count quotes the command's synopsis
// (every command's count is checked by the test below, from its help).
TEST_F(UsageTest, ArgumentCountMessagesQuoteTheSynopsis) {
  expectUsage({"dump"}, "missing arguments: usage: tobrel dump FILE [--json | --dot | --offsets] [--schema CLASSES.json]",
              "dump");
  expectUsage({"reg", "load", "f", "HKCU\\A"}, "too many arguments: usage: tobrel reg load FILE [--to PATH]", "reg load");
}

TEST_F(UsageTest, OptionMessagesSayWhichOptionAndWhy) {
  // Flags take no value, options need one, and none may be given twice.
  expectUsage({"dump", "f.bin", "--json=yes"}, "option '--json' takes no value", "dump");
  expectUsage({"reg", "load", "f.bin", "--to"}, "option '--to' needs a value (PATH)", "reg load");
  expectUsage({"reg", "load", "f.bin", "--to=HKCU\\A", "--to", "HKCU\\B"}, "option '--to' given twice", "reg load");
  // Output forms that exclude each other.
  for (const std::vector<std::string>& pair : {std::vector<std::string>{"--json", "--dot"}, {"--json", "--offsets"},
                                               {"--dot", "--offsets"}}) {
    expectUsage({"dump", "f.bin", pair[0], pair[1]}, "--json, --dot and --offsets do not go together", "dump");
  }
}

TEST_F(UsageTest, RegistryPathsThatNameNoRoot) {
  for (const char* command : {"show", "remove", "protect", "unprotect"}) {
    expectUsage({"reg", command, "Software\\X"}, kBadRoot, std::string("reg ") + command);
  }
  expectUsage({"reg", "save", "Software\\X", tempPath("x.bin")}, kBadRoot, "reg save");
  expectUsage({"reg", "export", "Software\\X", tempPath("x.reg")}, kBadRoot, "reg export");
  expectUsage({"reg", "show", ""}, "empty registry path", "reg show");
  expectUsage({"reg", "load", tempPath("x.bin"), "--to", "Software\\X"}, kBadRoot, "reg load");
  // A root key is not removed as a whole, however it is spelled.
  expectUsage({"reg", "remove", "HKCU"}, "refusing to remove the root key HKEY_CURRENT_USER as a whole", "reg remove");
  expectUsage({"reg", "remove", "hkey_local_machine\\"}, "refusing to remove the root key HKEY_LOCAL_MACHINE as a whole",
              "reg remove");
}

TEST_F(UsageTest, HelpIsNoError) {
  // "--help" or "-h" anywhere before "--" wins over whatever else is wrong;
  // "help CMD" is "CMD --help".
  const std::string dumpHelp = run({"dump", "--help"}).out;
  EXPECT_EQ(dumpHelp.find("usage: tobrel dump FILE"), 0u) << dumpHelp;
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--help"}, {"help"}, {"help", "reg", "show"}, {"reg", "--help"},
        {"reg", "diff", "--frob", "-h"}, {"dump", "a", "b", "c", "-h"}, {"help", "dump"}}) {
    ToolResult r = run(words);
    EXPECT_EQ(r.status, 0) << words[0];
    EXPECT_EQ(r.out.compare(0, 14, "usage: tobrel "), 0) << r.out;
    EXPECT_EQ(r.err, "");
    if (std::find(words.begin(), words.end(), "dump") != words.end()) {
      EXPECT_EQ(r.out, dumpHelp);
    }
  }
  EXPECT_EQ(run({"--version"}).out.find("tobrel "), 0u);
  // After "--" it is an argument.
  expectUsage({"reg", "show", "--", "--help"}, "'--help' does not start with a root key (HKEY_CLASSES_ROOT, "
              "HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, or HKCR, HKCU, HKLM, HKU)", "reg show");
  ToolResult literal = run({"dump", "--", "--help"});
  EXPECT_EQ(literal.status, 1);
  EXPECT_NE(literal.err.find("fvistream open error: filename=--help"), std::string::npos);
}

// Every command the tool lists, and every group of commands, refuses each
// kind of wrong usage with exit status 2, a message and a pointer to --help,
// and nothing on standard output. The commands and their arguments and
// options are read from the tool's own help, so a new command is covered
// as soon as it is listed.
TEST_F(UsageTest, EveryCommandAndGroupRefusesWrongUsageWithTwo) {
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(text.substr(start, end - start));
    }
    return out;
  };
  auto words = [](const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find(' ', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) out.push_back(text.substr(start, end - start));
    }
    return out;
  };
  auto expectUsageError = [this](const std::vector<std::string>& args, const std::string& message) {
    std::string shown;
    for (const std::string& a : args) shown += " " + a;
    ToolResult r = run(args);
    EXPECT_EQ(r.status, 2) << "tobrel" << shown << "\n" << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << "tobrel" << shown << "\n" << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << "tobrel" << shown << "\n" << r.err;
    EXPECT_EQ(r.out, "") << "tobrel" << shown;
  };

  // "  reg show        Show ...": the command is the text before the wide gap.
  std::vector<std::string> commands;
  bool inList = false;
  for (const std::string& line : lines(run({"--help"}).out)) {
    if (line == "commands:") inList = true;
    else if (line.empty()) inList = false;
    else if (inList) commands.push_back(line.substr(2, line.find("  ", 2) - 2));
  }
  ASSERT_GE(commands.size(), 10u);

  std::vector<std::string> groups;
  for (const std::string& command : commands) {
    std::vector<std::string> path = words(command);
    if (path.size() > 1 && std::find(groups.begin(), groups.end(), path[0]) == groups.end()) {
      groups.push_back(path[0]);
    }
  }
  ASSERT_FALSE(groups.empty());
  for (const std::string& group : groups) {
    SCOPED_TRACE(group);
    expectUsageError({group}, "'" + group + "' needs a subcommand");
    expectUsageError({group, "frob"}, "unknown " + group + " subcommand 'frob'");
    expectUsageError({group, "--frob"}, "unknown " + group + " subcommand '--frob'");
  }

  const std::string probeFile = tempPath("usage-probe.bin");
  const std::string probeKey = "HKCU\\Software\\TobrelUsageProbe";
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    std::vector<std::string> path = words(command);
    auto with = [&path](const std::vector<std::string>& args) {
      std::vector<std::string> all = path;
      all.insert(all.end(), args.begin(), args.end());
      return all;
    };
    // "usage: tobrel reg load FILE [--to PATH]"
    std::string usage = lines(run(with({"--help"})).out).at(0);
    std::vector<std::string> synopsis = words(usage.substr(std::string("usage: tobrel ").size() + command.size()));
    // Words outside brackets are arguments; inside, "--name" is an option,
    // followed by its value's name when it takes one ("[--to PATH]",
    // "[--json | --dot]").
    std::vector<std::string> required, flags, valued;
    bool variadic = false;
    int depth = 0;
    for (std::size_t i = 0; i < synopsis.size(); ++i) {
      std::string w = synopsis[i];
      if (w.find("...") != std::string::npos) variadic = true;
      if (w[0] == '[') ++depth;
      bool closes = w.back() == ']';
      std::string bare = w.substr(w[0] == '[' ? 1 : 0);
      while (!bare.empty() && bare.back() == ']') bare.pop_back();
      if (depth > 0 && bare.compare(0, 2, "--") == 0) {
        bool takesValue = !closes && i + 1 < synopsis.size() && synopsis[i + 1] != "|" &&
                          synopsis[i + 1].compare(0, 2, "--") != 0;
        (takesValue ? valued : flags).push_back(bare);
        if (takesValue) closes = synopsis[++i].back() == ']';
      } else if (depth == 0 && bare != "|") {
        required.push_back(bare.find("PATH") != std::string::npos ? probeKey : probeFile);
      }
      if (closes) --depth;
    }
    std::vector<std::string> unknown = required;
    unknown.push_back("--no-such-option");
    expectUsageError(with(unknown), "unknown option '--no-such-option'");
    std::vector<std::string> shortOption = required;
    shortOption.push_back("-q");
    expectUsageError(with(shortOption), "unknown option '-q'");
    if (!required.empty()) expectUsageError(with({}), "missing arguments");
    if (!variadic) {
      std::vector<std::string> extra = required;
      extra.push_back("extra");
      expectUsageError(with(extra), "too many arguments");
    }
    for (const std::string& flag : flags) {
      std::vector<std::string> args = required;
      args.push_back(flag + "=yes");
      expectUsageError(with(args), "takes no value");
      args.back() = flag;
      args.push_back(flag);
      expectUsageError(with(args), "given twice");
    }
    for (const std::string& option : valued) {
      std::vector<std::string> args = required;
      args.push_back(option);
      expectUsageError(with(args), "needs a value");
    }
  }
}

}  // namespace
