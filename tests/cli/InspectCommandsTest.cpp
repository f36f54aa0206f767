// dump of one archive resource, of 2DA text tables and with a talk table;
// diff's output and exit codes.
#include <gtest/gtest.h>

#include "CliRun.h"
#include "formats/UGFFFile.h"
#include "support/SmallArchive.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

std::string Item(std::uint32_t strref) {
  TGFFFile doc;
  doc.New("UTI ");
  doc.AddField(std::make_unique<TGFF_CExoLocString>("LocName", strref), "");
  doc.AddField(std::make_unique<TGFF_CExoString>("Tag", "BLADE"), "");
  const auto bytes = doc.SaveToBytes();
  return std::string(bytes.begin(), bytes.end());
}

class Inspect : public ::testing::Test {
 protected:
  TempDir dir;
  std::string Path(std::string_view name, const std::vector<std::uint8_t>& bytes) { return dir.Write(name, bytes).string(); }
  std::string Path(std::string_view name, std::string_view text) { return dir.Write(name, text).string(); }
  std::string Archive() {
    return Path("m01.mod", MakeArchive({{"m01_blade", "uti", Item(1)}, {"m01", "nss", "void main() {}\n"},
                                        {"m01", "ifo", std::string("\x01\x02", 2)}}));
  }
  std::string Tlk() { return Path("dialog.tlk", TalkTable(std::vector<std::string>{"Zero", "Long Sword", "A blade."})); }
};

TEST_F(Inspect, DumpPrintsOneResourceByItsFormatOrAsItIs) {
  const std::string archive = Archive();
  CliResult r = RunCli({"dump", archive, "M01_Blade.UTI"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "GFF UTI V3.2, top-level struct type 0\n  LocName (ExoLocString) = StrRef 1\n  Tag (ExoString) = \"BLADE\"\n");
  r = RunCli({"dump", archive, "m01.nss"});
  EXPECT_EQ(r.out, "void main() {}\n");

  const std::string extracted = (dir / "out.uti").string();
  r = RunCli({"dump", archive, "m01_blade.uti", "-o", extracted});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(dir.Read("out.uti"), Item(1));
  EXPECT_EQ(RunCli({"dump", archive, "m01.ifo", "-o", "-"}).out, std::string("\x01\x02", 2));
}

TEST_F(Inspect, DumpOfAMissingResourceSaysWhatIsThere) {
  const std::string archive = Archive();
  CliResult r = RunCli({"dump", archive, "m01.utc"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("no resource \"m01.utc\" in the archive; it holds m01.nss, m01.ifo"), std::string::npos) << r.err;
  r = RunCli({"dump", archive, "nothing"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("lists its 3 resources"), std::string::npos) << r.err;
  r = RunCli({"dump", Tlk(), "x.uti"});
  EXPECT_EQ(r.exitCode, 64);
  EXPECT_NE(r.err.find("is a talk table, not an archive"), std::string::npos) << r.err;
}

TEST_F(Inspect, DumpReadsTheTextFormOfTables) {
  CliResult r = RunCli({"dump", Path("t.2da", "2DA V2.0\n\n label name\n0 \"big axe\" 1\n")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "2DA V2.0, 1 row, 2 columns\n   label    name\n0  big axe  1\n");
}

TEST_F(Inspect, DumpWithATalkTableShowsTheTextsOfStringNumbers) {
  const std::string tlk = Tlk();
  const std::string table = Path("t.2da", TwoDA({"label", "Name", "cost", "desc"},
                                                {{"sword", "1", "2", "2"}, {"axe", "7", "1", "****"}}));
  CliResult r = RunCli({"dump", table, "--tlk", tlk});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Only the columns named like string numbers are looked up; cost stays a number.
  EXPECT_EQ(r.out,
            "2DA V2.b, 2 rows, 4 columns\n"
            "   label  Name                       cost  desc\n"
            "0  sword  1 \"Long Sword\"             2     2 \"A blade.\"\n"
            "1  axe    7 (not in the talk table)  1     ****\n");
  r = RunCli({"dump", table, "--tlk", tlk, "--json"});
  EXPECT_NE(r.out.find("\"strref_texts\":{\"Name\":\"Long Sword\",\"desc\":\"A blade.\"}"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"strref_texts\":{\"Name\":null}"), std::string::npos) << r.out;

  const std::string item = Path("x.uti", Item(2));
  r = RunCli({"dump", item, "--tlk", tlk});
  EXPECT_NE(r.out.find("LocName (ExoLocString) = StrRef 2 \"A blade.\"\n"), std::string::npos) << r.out;
  r = RunCli({"dump", item, "--tlk", tlk, "--json"});
  EXPECT_NE(r.out.find("{\"strref\":2,\"strref_text\":\"A blade.\",\"substrings\":[]}"), std::string::npos) << r.out;
  r = RunCli({"dump", Archive(), "m01_blade.uti", "--tlk", tlk});
  EXPECT_NE(r.out.find("StrRef 1 \"Long Sword\""), std::string::npos) << r.out;

  r = RunCli({"dump", item, "--tlk", table});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("t.2da: Type mismatch. Specified file is not a valid TLK file! (TLK)"), std::string::npos) << r.err;
}

TEST_F(Inspect, DiffPrintsOneLinePerDifferenceAndExitsLikeDiff) {
  const std::string a = Path("a.2da", "2DA V2.0\n\nlabel cost\n0 sword 5\n");
  const std::string same = Path("same.2da", TwoDA({"label", "cost"}, {{"sword", "5"}}));
  const std::string b = Path("b.2da", "2DA V2.0\n\nlabel cost\n0 sword 6\n1 \"Caf\xE9 axe\" 1\n");
  CliResult r = RunCli({"diff", a, same});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  r = RunCli({"diff", a, b});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.out, "~ row 0, column \"cost\": 5 -> 6\n+ row 1: 1 \"Caf\xC3\xA9 axe\" 1\n");
  EXPECT_EQ(RunCli({"diff", b, a}).out, "~ row 0, column \"cost\": 6 -> 5\n- row 1: 1 \"Caf\xC3\xA9 axe\" 1\n");

  const std::string first = Path("a.uti", Item(1));
  const std::string second = Path("b.uti", Item(2));
  r = RunCli({"diff", first, second});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "~ LocName(strref): 1 -> 2\n");

  // Archive resources by their SHA-256.
  const std::string modA = Path("a.mod", MakeArchive({{"x", "nss", "abc"}}));
  const std::string modB = Path("b.mod", MakeArchive({{"X", "nss", "abd"}}));
  r = RunCli({"diff", modA, modB});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out,
            "~ x.nss: 3 bytes, sha256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad -> 3 bytes, "
            "sha256 a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9\n");
}

TEST_F(Inspect, DiffOfFilesItCannotCompareExits2) {
  const std::string table = Path("a.2da", TwoDA({"label"}, {{"x"}}));
  const struct {
    std::string second;
    const char* message;
  } cases[] = {
      {Tlk(), "(a 2DA table) with"},
      {Path("b.2da", "2DA V2.0\n\nlabel\n0 \"x\n"), "b.2da: Malformatted data encountered while reading 2DA text"},
      {Path("c.txt", "hello"), "c.txt: not a 2DA, TLK, GFF, ERF/RIM or SSF file"},
  };
  for (const auto& c : cases) {
    CliResult r = RunCli({"diff", table, c.second});
    EXPECT_EQ(r.exitCode, 2) << c.second;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(RunCli({"diff", table}).exitCode, 64);
}

}  // namespace
}  // namespace vey::test
