// The installation type of a mod that offers several, asked for on a
// terminal when --namespace is missing; without a terminal the types are
// listed and the command stops as a usage error.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ModFolder.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

const char* const kTypes =
    "[Namespaces]\nstd=default\nlite=LiteSection\n"
    "[default]\nDescription=All of it\n"
    "[LiteSection]\nName=Light install\nIniName=lite.ini\nDataPath=lite\n";

TEST(InstallationTypeQuestion, TerminalAnswerChoosesTheType) {
  TempDir mod;
  mod.Write("veypatchdata/namespaces.ini", kTypes);
  mod.Write("veypatchdata/changes.ini", "[Settings]\n");
  mod.Write("veypatchdata/lite/lite.ini", "[Settings]\n");
  struct Case {
    const char* answers;
    const char* chosen;  // null: a usage error
  } cases[] = {
      {"2\n", "lite"},
      {"1\n", "std"},
      {"lite\n", "lite"},
      {" 2 \r\n", "lite"},
      {"\n0\n3\nheavy\n99999999999\n1\n", "std"},  // asked again until an answer fits
      {"", nullptr},                                // the input ends: nothing chosen
  };
  platform::GameFileSystem fs;
  for (const Case& c : cases) {
    std::ostringstream out;
    std::istringstream in(c.answers);
    const platform::Console console{&out, &in, true};
    cli::ModOptions options;
    options.modDir = mod.Path().string();
    if (!c.chosen) {
      EXPECT_THROW(cli::SelectMod(options, fs, &console), cli::UsageError) << c.answers;
      continue;
    }
    const cli::ModSelection s = cli::SelectMod(options, fs, &console);
    EXPECT_EQ(s.namespaceId, c.chosen) << c.answers;
    EXPECT_EQ(s.iniName, std::string(c.chosen) == "lite" ? "lite.ini" : "changes.ini") << c.answers;
    EXPECT_NE(out.str().find("  [2] Light install  (lite)\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Which one? [1-2] "), std::string::npos) << out.str();
  }

  // Without a terminal nothing is read: the types are listed in the usage error.
  std::ostringstream out;
  std::istringstream in("2\n");
  const platform::Console noTerminal{&out, &in, false};
  cli::ModOptions options;
  options.modDir = mod.Path().string();
  try {
    cli::SelectMod(options, fs, &noTerminal);
    ADD_FAILURE() << "no usage error";
  } catch (const cli::UsageError& e) {
    EXPECT_NE(e.Details().find("  lite  Light install\n"), std::string::npos) << e.Details();
  }
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace vey::test
