#include "cli/command.h"

#include <gtest/gtest.h>

namespace tobrel {
namespace cli {
namespace {

Command sample() {
  Command c;
  c.path = "reg load";
  c.synopsis = "FILE [--to PATH]";
  c.summary = "Restore a saved tree.";
  c.options = {{"to", "PATH", "restore below PATH"}, {"quiet", "", "say nothing"}};
  c.minArgs = 1;
  c.maxArgs = 1;
  c.run = nullptr;
  return c;
}

TEST(ParseArguments, OptionsWithAndWithoutValues) {
  Invocation a = parseArguments(sample(), {"--to", "HKCU\\X", "f.bin", "--quiet"});
  EXPECT_EQ(a.args, std::vector<std::string>{"f.bin"});
  EXPECT_EQ(a.value("to"), "HKCU\\X");
  EXPECT_TRUE(a.has("quiet"));
  Invocation b = parseArguments(sample(), {"--to=HKCU\\Y", "--", "--quiet"});
  EXPECT_EQ(b.value("to"), "HKCU\\Y");
  EXPECT_EQ(b.args, std::vector<std::string>{"--quiet"});
  EXPECT_FALSE(b.has("quiet"));
  // a lone "-" is an argument (a file name by convention)
  EXPECT_EQ(parseArguments(sample(), {"-"}).args, std::vector<std::string>{"-"});
}

TEST(CommandHelp, ListsUsageAndOptions) {
  std::string help = commandHelp(sample());
  EXPECT_EQ(help.find("usage: tobrel reg load FILE [--to PATH]\n"), 0u);
  EXPECT_NE(help.find("  --to PATH           restore below PATH\n"), std::string::npos) << help;
  EXPECT_NE(help.find("  -h, --help"), std::string::npos);
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
