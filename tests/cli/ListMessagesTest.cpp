// What `modlist` says to the person reading it: a finding keeps the place
// `validate` gives it, a long list of findings ends with its sum, counts
// agree with their nouns, an entry that ends with errors says which, an
// archive's unpacked copy is named for what it is, and an installation type
// is found by the name its own files give it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {
namespace fs = std::filesystem;

bool Says(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Copies w.txt into override, with count settings the installer does not know.
std::string IniWithUnknownSettings(int count) {
  std::string ini = "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n";
  for (int i = 0; i < count; ++i) ini += "Colour" + std::to_string(i) + "=red\n";
  return ini + "[InstallList]\nf=override\n[f]\nFile0=w.txt\n";
}

class ListMessages : public ::testing::Test {
 protected:
  ListMessages() { dir.Write("game/dialog.tlk", "TLK "); }
  void Mod(const std::string& name, const std::string& ini) {
    dir.Write("src/" + name + "/veypatchdata/w.txt", name);
    dir.Write("src/" + name + "/veypatchdata/changes.ini", ini);
  }
  void List(const std::string& text) { dir.Write("list.toml", text); }
  static std::string Entry(const std::string& name, const std::string& source, const std::string& more = {}) {
    return "[[mod]]\nname = \"" + name + "\"\nsource = \"" + source + "\"\n" + more;
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args) {
      if (a == "GAME") a = (dir / "game").string();
      if (a == "LIST") a = (dir / "list.toml").string();
    }
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  TempDir dir;
};

// Every finding of `validate` ("FILE:LINE: SEVERITY: [SECTION] KEY: TEXT")
// is in the check as "NAME: SEVERITY: FILE:LINE: [SECTION] KEY: TEXT"; the
// sum follows only a long list, and only once.
TEST_F(ListMessages, CheckKeepsTheValidatorsPlaceAndSumsALongList) {
  const struct {
    int unknown;
    const char* sum;  // empty: none
  } cases[] = {{2, ""}, {12, "  Long: 0 errors, 12 warnings\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unknown);
    Mod("long", IniWithUnknownSettings(c.unknown));
    List(Entry("Long", "src/long"));
    const CliResult validate = Run({"validate", "--mod", (dir / "src/long").string()});
    const CliResult check = Run({"modlist", "check", "LIST"});
    EXPECT_EQ(check.exitCode, 1) << check.out;
    const std::regex finding(R"(^([^:]+:[0-9]+): (warning|error): (.*)$)");
    int seen = 0;
    for (const std::string& line : Lines(validate.out)) {
      std::smatch m;
      if (!std::regex_match(line, m, finding)) continue;
      ++seen;
      EXPECT_TRUE(HasLine(check.out, "  Long: " + m[2].str() + ": " + m[1].str() + ": " + m[3].str()))
          << line << "\n" << check.out;
    }
    EXPECT_EQ(seen, c.unknown) << validate.out;
    EXPECT_TRUE(Says(check.out, "[Settings] Colour1: ")) << check.out;
    if (*c.sum) {
      const std::size_t at = check.out.find(c.sum);
      EXPECT_NE(at, std::string::npos) << check.out;
      EXPECT_EQ(check.out.find(c.sum, at + 1), std::string::npos) << check.out;
    } else {
      EXPECT_FALSE(Says(check.out, " warnings\n")) << check.out;
    }
  }
}

// One of a kind is said in the singular, every other count in the plural.
TEST_F(ListMessages, CountsAgreeWithTheirNouns) {
  Mod("one", IniWithUnknownSettings(0));
  const CliResult dry = Run({"install", "--mod", (dir / "src/one").string(), "--game", "GAME", "--dry-run", "--yes"});
  EXPECT_TRUE(Says(dry.out, "The run would change 1 file of the game folder:")) << dry.out << dry.err;

  // A file that is there already is a warning of the run.
  dir.Write("game/override/w.txt", "there");
  dir.Write("game/override/x.txt", "there");
  List(Entry("One", "src/one"));
  const CliResult one = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(one.exitCode, 1) << one.out;
  EXPECT_TRUE(Says(one.out, "Checking the 1 mod of \"list\"...")) << one.out;
  EXPECT_TRUE(Says(one.err, "Install the 1 mod of \"list\"")) << one.err;
  EXPECT_TRUE(Says(one.out, " (0 errors, 1 warning)\n")) << one.out;

  Mod("two", "[Settings]\nFileExists=1\nInstallerMode=1\n[InstallList]\nf=override\n[f]\nFile0=w.txt\nFile1=x.txt\n");
  dir.Write("src/two/veypatchdata/x.txt", "x");
  List(Entry("Two", "src/two") + Entry("Again", "src/one"));
  const CliResult two = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_TRUE(Says(two.out, "Checking the 2 mods of \"list\"...")) << two.out;
  EXPECT_TRUE(Says(two.err, "Install the 2 mods of \"list\"")) << two.err;
  EXPECT_TRUE(Says(two.out, " (0 errors, 2 warnings)\n")) << two.out;
}

// An entry whose run ends with errors gives the first of them, on the
// terminal and in the JSON result; a clean entry gives none.
TEST_F(ListMessages, DryRunGivesTheFirstErrorOfAnEntry) {
  Mod("fine", IniWithUnknownSettings(0));
  // Only the run finds that the patch lies past the end of the script.
  Mod("broken", "[Settings]\nFileExists=1\nInstallerMode=1\n[HACKList]\nF=short.ncs\n[short.ncs]\n100=5\n");
  dir.Write("src/broken/veypatchdata/short.ncs", "NCS V1.0B");
  List(Entry("Fine", "src/fine") + Entry("Broken", "src/broken"));
  const CliResult check = Run({"modlist", "check", "LIST", "--game", "GAME", "--json", "-"});
  EXPECT_EQ(check.exitCode, 2) << check.err;
  const std::regex line(R"(  2/2 Broken: errors \((.+)\)\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(check.err, m, line)) << check.err;
  const std::string first = m[1].str();
  EXPECT_TRUE(Says(first, "short.ncs")) << first;
  EXPECT_TRUE(Says(check.err, "  1/2 Fine: ok\n")) << check.err;
  std::string quoted;  // as JSON writes it
  for (char ch : first) quoted += ch == '"' ? std::string("\\\"") : std::string(1, ch);
  EXPECT_TRUE(Says(check.out, "\"message\": \"" + quoted + "\"")) << check.out;
  EXPECT_TRUE(Says(check.out, "\"message\": null")) << check.out;
}

// A type is named by its identifier (letter case aside), its caption or
// the section that describes it in "namespaces.ini".
TEST_F(ListMessages, TypeIsFoundByIdentifierCaptionOrSection) {
  Mod("typed", IniWithUnknownSettings(0));
  dir.Write("src/typed/veypatchdata/namespaces.ini",
            "[Namespaces]\nNamespace1=heavy_option\nNamespace2=light_option\n"
            "[heavy_option]\nName=Heavy\n[light_option]\nName=Light\n");
  const struct {
    const char* type;
    bool accepted;
  } cases[] = {{"Namespace2", true}, {"namespace2", true}, {"Light", true},
               {"light_option", true}, {"LIGHT_OPTION", true}, {"lite", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    List(Entry("T", "src/typed", std::string("type = \"") + c.type + "\"\n"));
    const CliResult check = Run({"modlist", "check", "LIST", "--json", "-"});
    EXPECT_EQ(check.exitCode, c.accepted ? 0 : 2) << check.err;
    if (c.accepted) EXPECT_TRUE(Says(check.out, "\"type\": \"Namespace2\"")) << check.out;
    else EXPECT_TRUE(Says(check.err, "no installation type \"lite\"")) << check.err;
  }
}

// The list's install unpacked every archive during its check: the copy it
// then installs from is the one already there, and it says so.
TEST_F(ListMessages, InstallNamesTheUnpackedCopyItUses) {
  if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) GTEST_SKIP() << "bsdtar is missing";
  Mod("zipped", IniWithUnknownSettings(0));
  const std::string zip = "cd '" + (dir / "src/zipped").string() + "' && bsdtar --format zip -cf '" +
                          (dir / "zipped.zip").string() + "' .";
  ASSERT_EQ(std::system(zip.c_str()), 0);
  List(Entry("Zipped", "zipped.zip"));
  const CliResult install = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(install.exitCode, 0) << install.out;
  const std::regex using_(R"re(Using the unpacked copy in "([^"]+)"; the backup folder and the log are kept there\.)re");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(install.out, m, using_)) << install.out;
  EXPECT_TRUE(fs::exists(fs::path(m[1].str()) / "veypatchdata" / "changes.ini")) << m[1];
  EXPECT_FALSE(Says(install.out, "Unpacked in")) << install.out;
}

}  // namespace
}  // namespace vey::test
