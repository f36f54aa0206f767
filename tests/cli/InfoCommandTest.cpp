// `info`: the information text printed for a terminal, the choice of styles,
// the nearest terminal colours, and the refusals.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "CliRun.h"
#include "cli/InfoCommand.h"
#include "cli/TerminalStyle.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

rtf::Document Read(std::string_view text) {
  return rtf::ReadRtf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

const char* const kInfo =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}{\\f2\\fcharset204 Cyr;}}"
    "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;}"
    "{\\*\\themedata 504b0304}\\pard\\qc\\b\\cf2 Better Swords\\b0\\cf0\\par\\pard "
    "{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'B7}}\\fi-360\\li720 One\\line two\\par\\pard "
    "See {\\field{\\*\\fldinst HYPERLINK \"https://example.org/mod\"}{\\fldrslt the page}}.\\par"
    "{\\f2 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}}";

TEST(InfoCommand, PrintsTheInformationTextWithoutStylesWhenNotATerminal) {
  TempDir mod;
  mod.Write("veypatchdata/info.rtf", kInfo);
  CliResult r = RunCli({"info", "--mod", mod.Path().string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Better Swords\n"
            "  \u2022 One\n"
            "     two\n"
            "See the page <https://example.org/mod>.\n"
            "\u041F\u0440\u0438\u0432\u0435\u0442\n");
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(InfoCommand, InstallationTypeChoosesItsInformationFile) {
  TempDir mod;
  mod.Write("veypatchdata/namespaces.ini",
            "[Namespaces]\nstd=default\nlite=Lite\n[Lite]\nName=Light\nInfoName=lite.rtf\nDataPath=lite\n");
  mod.Write("veypatchdata/info.rtf", "{\\rtf1 Full install}");
  mod.Write("veypatchdata/lite/lite.rtf", "{\\rtf1 Light install}");
  // --type is the option's name; --namespace, its first name, still works.
  CliResult lite = RunCli({"info", "--mod", mod.Path().string(), "--type", "lite"});
  EXPECT_EQ(lite.exitCode, 0) << lite.err;
  EXPECT_EQ(lite.out, "Light install\n");
  CliResult full = RunCli({"info", "--mod", mod.Path().string(), "--namespace", "std"});
  EXPECT_EQ(full.out, "Full install\n");
  CliResult none = RunCli({"info", "--mod", mod.Path().string()});
  EXPECT_EQ(none.exitCode, 64);  // a type must be chosen, and the message says how
  EXPECT_NE(none.err.find("choose one with --type ID"), std::string::npos) << none.err;
}

TEST(InfoCommand, MissingOrBinaryFilesAreRefused) {
  TempDir mod;
  CliResult missing = RunCli({"info", "--mod", mod.Path().string()});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("Cannot find the information file \"info.rtf\""), std::string::npos) << missing.err;
  EXPECT_TRUE(missing.out.empty());

  mod.Write("veypatchdata/info.rtf", std::string("MZ\x90\0\x03\0\0\0", 8));
  CliResult binary = RunCli({"info", "--mod", mod.Path().string()});
  EXPECT_EQ(binary.exitCode, 2);
  EXPECT_EQ(binary.err, "The information file \"info.rtf\" is neither RTF nor text.\n");

  mod.Write("veypatchdata/info.rtf", "Plain notes\r\nsecond line\r\n");
  CliResult text = RunCli({"info", "--mod", mod.Path().string()});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_EQ(text.out, "Plain notes\nsecond line\n");
}

TEST(InfoRender, StylesAsTerminalEscapes) {
  struct Case {
    const char* body;
    const char* expected;
  };
  const std::string tables =
      "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;\\red255\\green255\\blue0;"
      "\\red5\\green99\\blue193;\\red255\\green255\\blue255;}";
  const Case cases[] = {
      {"plain", "plain\n"},
      {"\\b bold", "\x1b[1mbold\x1b[0m\n"},
      {"\\i\\ul\\strike all", "\x1b[3;4;9mall\x1b[0m\n"},
      {"\\cf2 red", "\x1b[31mred\x1b[0m\n"},
      {"\\cf1 black\\cf5 white", "blackwhite\n"},  // the page's ink and paper: the terminal's own
      {"\\cf4 link blue", "\x1b[34mlink blue\x1b[0m\n"},
      {"\\highlight3 marked", "\x1b[30;43mmarked\x1b[0m\n"},
      {"\\b a\\line b", "\x1b[1ma\x1b[0m\n\x1b[1mb\x1b[0m\n"},  // no style runs past a line break
      {"{\\field{\\*\\fldinst HYPERLINK \"https://x.org\"}{\\fldrslt x}}", "\x1b[4mx\x1b[0m <https://x.org>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(cli::RenderInfo(Read("{\\rtf1 " + tables + c.body + "}"), true), c.expected);
  }
  EXPECT_EQ(cli::RenderInfo(Read("{\\rtf1 " + tables + "\\b\\cf2 x}"), false), "x\n");
}

TEST(InfoRender, NearestOfTheSixteenTerminalColours) {
  struct Case {
    std::uint8_t r, g, b;
    std::optional<int> colour;
  };
  const Case cases[] = {
      {0, 0, 0, std::nullopt},     {255, 255, 255, std::nullopt}, {192, 192, 192, std::nullopt},
      {128, 128, 128, 8},          {128, 0, 0, 1},                {255, 0, 0, 1},
      {255, 128, 128, 9},          {0, 128, 0, 2},                {0, 0, 255, 4},
      {5, 99, 193, 4},             {0, 128, 128, 6},              {255, 255, 0, 3},
      {255, 165, 0, 3},            {128, 0, 128, 5},              {255, 160, 255, 13},
      {40, 0, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b));
    EXPECT_EQ(cli::NearestTerminalColour(c.r, c.g, c.b), c.colour);
  }
}

// Restores one environment variable when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(InfoRender, StylesOnlyForATerminalThatWantsThem) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  struct Case {
    const char* noColour;
    const char* term;
    bool onTerminal;
  };
  const Case cases[] = {
      {nullptr, "xterm-256color", true}, {"", "xterm", true},   {"1", "xterm", false},
      {nullptr, "dumb", false},          {nullptr, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.noColour ? c.noColour : "(unset)") + " " + (c.term ? c.term : "(unset)"));
    ScopedEnv noColour("NO_COLOR", c.noColour);
    ScopedEnv term("TERM", c.term);
    EXPECT_EQ(cli::TerminalWantsStyles(slave), c.onTerminal);
    EXPECT_FALSE(cli::TerminalWantsStyles(-1));
  }
  close(slave);
  close(master);
}

}  // namespace
}  // namespace vey::test
