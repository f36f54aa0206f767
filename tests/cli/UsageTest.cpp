// Command-line usage: help and version succeed, every misuse is exit 64 with
// exactly one line of explanation on standard error.
#include <gtest/gtest.h>

#include "CliRun.h"

namespace vey::test {
namespace {

void ExpectUsageError(const std::vector<std::string>& args, const std::string& mentions) {
  CliResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 64);
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(CliUsage, VersionAndHelpSucceed) {
  CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "veypatcher-cli 0.1.0\n");

  CliResult help = RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage:"), std::string::npos);
}

TEST(CliUsage, MisuseExits64WithOneLineHint) {
  ExpectUsageError({}, "subcommand");
  ExpectUsageError({"--no-such-option"}, "--no-such-option");
  ExpectUsageError({"frobnicate"}, "frobnicate");
  ExpectUsageError({"summary", "--mod"}, "--mod");
  ExpectUsageError({"summary", "extra"}, "extra");
  ExpectUsageError({"dump"}, "FILE");
  ExpectUsageError({"dump", "/no/such/file.2da"}, "/no/such/file.2da");
}

TEST(CliUsage, EverySubcommandHasHelp) {
  for (const char* command : {"summary", "namespaces"}) {
    CliResult r = RunCli({command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("--mod"), std::string::npos) << command;
  }
  CliResult dump = RunCli({"dump", "--help"});
  EXPECT_EQ(dump.exitCode, 0);
  EXPECT_NE(dump.out.find("--json"), std::string::npos);
}

}  // namespace
}  // namespace vey::test
