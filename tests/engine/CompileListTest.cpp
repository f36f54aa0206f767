// CompileList: tokens put into script sources, the compiler started with its
// arguments in the mod's folder, compiled scripts installed into override or
// archives (saved once per run of scripts for one archive), sources restored.
// The compiler is a small shell script written by the tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "EngineFixture.h"
#include "support/SmallArchive.h"

namespace vey::test {
namespace {


// Prints its folder and arguments (one line ending in CR LF), refuses a source
// holding FAILME, and otherwise writes "NCS " and the source to the -o path.
constexpr std::string_view kFakeCompiler = R"SH(#!/bin/sh
echo "cwd=$(pwd)"
for a in "$@"; do echo "arg=$a"; done
printf 'crlf line\r\n'
while [ $# -gt 0 ]; do
  case "$1" in
    -c) src=$2; shift ;;
    -o) out=$2; shift ;;
  esac
  shift
done
if grep -q FAILME "$src"; then echo "error: cannot compile"; exit 1; fi
{ printf 'NCS '; cat "$src"; } > "$out"
)SH";

class CompileList : public ::testing::Test {
 protected:
  void SetUp() override { f.MakeGame(); }
  // The person's own compiler, outside the mod; run without the sandbox so
  // that these tests do not depend on the machine.
  void Compiler(std::string_view script = kFakeCompiler) {
    const auto path = f.dir.Write("person/compiler", script);
    ::chmod(path.c_str(), 0755);
    f.compiler.Compiler = path.string();
    f.compiler.Sandbox = false;
  }
  void Source(const std::string& name, std::string_view text) {
    f.dir.Write("mod/veypatchdata/" + name, text);
  }
  std::string Data(const std::string& name) const { return f.ReadFile(f.Data() + name); }
  std::size_t IndexOf(std::string_view line) const {
    return static_cast<std::size_t>(std::find(f.lines.begin(), f.lines.end(), line) -
                                    f.lines.begin());
  }
  EngineFixture f;
};

constexpr std::string_view kTokenSource =
    "void main()\n{\n  int a = #StrRef5#; // #strref5#\n  int b = #2DAMEMORY2##2DAMEMORY2#;\r\n"
    "  int c = #2DAMEMORY3#;\n}";

TEST_F(CompileList, TokensAreReplacedTheScriptCompiledIntoOverrideAndTheSourceRestored) {
  f.Ini(std::string(kInstaller) +
        "ScriptCompilerFlags=-g \"x y\"\n[CompileList]\nScript0=k_test.nss\n");
  Compiler();
  Source("k_test.nss", kTokenSource);
  TVEYPatcher& e = f.Engine();
  e.StrRefTable.push_back({5, 4242});
  e.Memory = {"x", "17"};
  e.CountWorkItems();
  e.FileHandler.GetGameFolder();
  f.lines.clear();
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  e.ProcessCompileList();

  // Slot 3 does not exist and the lower-case token is no token: both stay.
  EXPECT_EQ(f.ReadFile(f.Game() + "override/k_test.ncs"),
            "NCS void main()\r\n{\r\n  int a = 4242; // #strref5#\r\n  int b = 1717;\r\n  int c = "
            "#2DAMEMORY3#;\r\n}\r\n");
  EXPECT_EQ(Data("k_test.nss"), kTokenSource);
  EXPECT_FALSE(f.Exists(f.Data() + "k_test.ncs"));
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp"));
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);

  const std::vector<std::string> expected = {
      " [Install] \tModifying and compiling scripts...",
      " [Install] \tScripts are compiled by your own compiler \"" + f.compiler.Compiler +
          "\", a native program, without a sandbox (it was turned off).",
      " [Debug] \tReplacing tokens in script k_test.nss...",
      " [Install] \tCompiling modified script k_test.nss...",
      // In the data folder, with names relative to it.
      " [Debug] \tNWNNSSComp says: cwd=" + f.App() + "veypatchdata",
      " [Debug] \tNWNNSSComp says: arg=-g",
      " [Debug] \tNWNNSSComp says: arg=x y",
      " [Debug] \tNWNNSSComp says: arg=-c",
      " [Debug] \tNWNNSSComp says: arg=k_test.nss",
      " [Debug] \tNWNNSSComp says: arg=-o",
      " [Debug] \tNWNNSSComp says: arg=k_test.ncs",
      " [Debug] \tNWNNSSComp says: crlf line",
  };
  EXPECT_EQ(f.lines, expected);
  EXPECT_EQ(e.ProgressCount(), 1);
  EXPECT_EQ(e.WarningCount() + e.ErrorCount(), 0);
}

TEST_F(CompileList, IncludeFilesAreOnlyPreparedAndKeptForDebuggingWhenAsked) {
  f.Ini(std::string(kInstaller) +
        "SaveProcessedScripts=1\n[CompileList]\nS0=inc.nss\nS1=spaced.nss\nS2=cond.nss\nS3=inc."
        "nss\n");
  Compiler();
  Source("inc.nss", "// helpers\nint X() { return #StrRef5#; }\n");
  Source("spaced.nss", "void main( )\n{}\n");
  Source("cond.nss", "INT StartingConditional()\n{ return TRUE; }\n");
  TVEYPatcher& e = f.Engine();
  e.StrRefTable.push_back({5, 8});
  e.ProcessCompileList();
  EXPECT_TRUE(
      f.Logged(" [Debug] \tScript \"inc.nss\" has no start function, assuming include file. "
               "Compile skipped..."));
  EXPECT_TRUE(f.Logged(
      " [Debug] \tScript \"spaced.nss\" has no start function, assuming include file. Compile "
      "skipped..."));
  EXPECT_FALSE(f.Exists(f.Game() + "override/spaced.ncs"));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/cond.ncs"),
            "NCS INT StartingConditional()\r\n{ return TRUE; }\r\n");
  EXPECT_EQ(f.ReadFile(f.Data() + "debug/inc.nss"), "// helpers\r\nint X() { return 8; }\r\n");
  // Listed twice, the include is still restored to what the mod shipped.
  EXPECT_EQ(Data("inc.nss"), "// helpers\nint X() { return #StrRef5#; }\n");
  EXPECT_EQ(Data("spaced.nss"), "void main( )\n{}\n");
  EXPECT_EQ(e.ProgressCount(), 4);
}

TEST_F(CompileList, FailedCompilationsAreErrorsAndTheNextScriptFollows) {
  f.Ini(std::string(kInstaller) + "[CompileList]\nS0=bad.nss\nS1=good.nss\n");
  Compiler();
  Source("bad.nss", "void main() { FAILME }\n");
  Source("good.nss", "void main() {}\n");
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  // What the compiler said about a failed script is shown with the error,
  // at any log level; about a compiled one only when debugging.
  const std::size_t said = IndexOf(" [Install] \tNWNNSSComp says: error: cannot compile");
  const std::size_t error = IndexOf(
      " [Error] \tUnable to find compiled version of file \"bad.nss\"! The compilation probably "
      "failed! Skipping...");
  ASSERT_LT(error, f.lines.size());
  EXPECT_LT(said, error);
  EXPECT_TRUE(f.Logged(" [Install] \tNWNNSSComp says: arg=bad.ncs"));
  EXPECT_TRUE(f.Logged(" [Debug] \tNWNNSSComp says: arg=good.ncs"));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/good.ncs"), "NCS void main() {}\r\n");
  EXPECT_EQ(Data("bad.nss"), "void main() { FAILME }\n");
  EXPECT_EQ(e.ProgressCount(), 2);
}

TEST_F(CompileList, MissingCompilerEndsTheStepBeforeAnythingIsPrepared) {
  f.Ini(std::string(kInstaller) + "[CompileList]\nS0=a.nss\n");
  Source("a.nss", "void main() { #StrRef1# }\n");
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_TRUE(f.Logged(
      " [Error] \tCould not locate nwnsscomp.exe in the VEYPatchData folder! Unable to compile "
      "scripts!"));
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp"));
  EXPECT_EQ(e.ProgressCount(), 0);
}

TEST_F(CompileList, ConsecutiveScriptsForOneArchiveAreSavedTogether) {
  f.Ini(std::string(kInstaller) +
        "[CompileList]\n!DefaultDestination=modules\\a.mod\nS1=one.nss\nReplace2=two.nss\nS3=three."
        "nss\n"
        "[three.nss]\n!Destination=Modules\\B.RIM\n!SaveAs=renamed.nss\n"
        "[one.nss]\n!OverrideType=warn\n");
  Compiler();
  f.WriteFile(f.Game() + "modules/a.mod",
              MakeArchive({{"one", "ncs", "old one"}, {"two", "ncs", "old two"}}));
  f.WriteFile(f.Game() + "modules/b.rim", MakeArchive({}, "RIM "));
  f.WriteFile(f.Game() + "override/one.ncs", {1});
  for (const char* name : {"one.nss", "two.nss", "three.nss"})
    Source(name, std::string("void main() {} // ") + name);
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();

  auto a = ArchiveContents(f.Game() + "modules/a.mod");
  EXPECT_EQ(a["one.ncs"], "old one");
  EXPECT_EQ(a["two.ncs"], "NCS void main() {} // two.nss\r\n");
  auto b = ArchiveContents(f.Game() + "modules/b.rim");
  EXPECT_EQ(b["renamed.ncs"], "NCS void main() {} // three.nss\r\n");
  EXPECT_EQ(b.size(), 1u);
  EXPECT_EQ(ArchiveContents(f.App() + "backup/a.mod")["two.ncs"], "old two");

  EXPECT_TRUE(f.Logged(
      " [Warning] \tFile \"one.ncs\" already exists in archive \"a.mod\", file skipped..."));
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named one.ncs already exists in the override folder! This may cause "
      "incompatibility with the one used by this mod!"));
  EXPECT_TRUE(f.Logged(" [Install] \tSaving unaltered backup copy of destination file a.mod in " +
                       f.App() + "backup/"));
  const std::size_t addTwo =
      IndexOf(" [Install] \tAdding script \"two.ncs\" to archive \"a.mod\"...");
  const std::size_t saveA = IndexOf(" [Debug] \tSaving changes to ERF/RIM file a.mod...");
  const std::size_t addThree =
      IndexOf(" [Install] \tAdding script \"renamed.ncs\" to archive \"b.rim\"...");
  const std::size_t saveB = IndexOf(" [Debug] \tSaving changes to ERF/RIM file b.rim...");
  EXPECT_LT(addTwo, saveA);
  EXPECT_LT(saveA, addThree);
  EXPECT_LT(addThree, saveB);
  EXPECT_LT(saveB, f.lines.size());
  EXPECT_EQ(f.CountContaining("Saving changes to ERF/RIM file"), 2u);
  // The compiled files waited in the work folder only until their archive was saved.
  EXPECT_TRUE(!f.Exists(f.Data() + "erfpatch_temp") ||
              std::filesystem::is_empty(f.Data() + "erfpatch_temp"));
  EXPECT_EQ(Data("two.nss"), "void main() {} // two.nss");
}

TEST_F(CompileList, AFailureLeavingTheStepStillSavesTheArchiveAndRestoresSources) {
  f.Ini(std::string(kInstaller) +
        "[CompileList]\nS1=one.nss\nS2=two.nss\n[one.nss]\n!Destination=modules\\a.mod\n");
  Compiler();
  f.WriteFile(f.Game() + "modules/a.mod", MakeArchive({}));
  // A folder where the compiled script should go makes the copy fail.
  std::filesystem::create_directories(f.Game() + "override/two.ncs");
  Source("one.nss", "void main() { #StrRef1# }");
  Source("two.nss", "void main() { #StrRef1# }");
  TVEYPatcher& e = f.Engine();
  e.StrRefTable.push_back({1, 99});
  EXPECT_THROW(e.ProcessCompileList(), Exception);
  EXPECT_EQ(Data("one.nss"), "void main() { #StrRef1# }");
  EXPECT_EQ(Data("two.nss"), "void main() { #StrRef1# }");
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp"));
  EXPECT_EQ(ArchiveContents(f.Game() + "modules/a.mod")["one.ncs"], "NCS void main() { 99 }\r\n");
}

TEST_F(CompileList, NamesLeadingOutOfTheDataFolderAreRefused) {
  f.Ini(std::string(kInstaller) +
        "[CompileList]\n!DefaultDestination=C:\\game\\x.mod\nS1=..\\..\\evil.nss\nS2=ok.nss\nS3="
        "far.nss\n"
        "[ok.nss]\n!SaveAs=../ok.nss\n!Destination=override\n[far.nss]\n!Destination=/tmp/x.mod\n");
  Compiler();
  f.dir.Write("evil.nss", "void main() {}");
  Source("ok.nss", "void main() {}");
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_TRUE(f.Logged(
      " [Error] \tRefusing to compile \"..\\..\\evil.nss\": the name \"..\\..\\evil.nss\" leads "
      "outside its folder. Skipping..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tRefusing to compile \"ok.nss\": the name \"../ok.nss\" leads outside its folder. "
      "Skipping..."));
  EXPECT_TRUE(
      f.Logged(" [Error] \tRefusing to compile \"far.nss\": the destination \"/tmp/x.mod\" leads "
               "outside its "
               "folder. Skipping..."));
  EXPECT_EQ(f.dir.Read("evil.nss"), "void main() {}");
  EXPECT_FALSE(f.Exists(f.App() + "ok.ncs"));
  EXPECT_EQ(f.CountContaining("Compiling modified script"), 0u);
  EXPECT_EQ(e.ProgressCount(), 3);
}

}  // namespace
}  // namespace vey::test
