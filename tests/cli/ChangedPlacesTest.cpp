// The places a run records (places.txt beside each run, and the conflict
// report made of them) stay the same, line for line, while the way they are
// found changes: the demo and a generated workload mod, each installed twice
// into one game, against the record kept in tests/cli/data/places; and GFF
// edits of every shape against a whole comparison of each document before
// and after the run.
//
// VEY_WRITE_PLACES=1 writes the kept record from the present program instead
// of comparing (only ever from a program known to be right).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "CliRun.h"
#include "formats/UFormatDiff.h"
#include "formats/UGFFFile.h"
#include "support/GameFiles.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test::changed_places {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> RunFolders(const fs::path& game) {
  std::vector<fs::path> runs;
  for (const auto& e : fs::directory_iterator(game / ".veypatcher/runs")) runs.push_back(e.path());
  std::sort(runs.begin(), runs.end());
  return runs;
}

// Each run's places.txt, then the conflict report, with the run ids (which
// hold the time) replaced by their order.
std::string Record(const fs::path& game) {
  std::string text;
  const std::vector<fs::path> runs = RunFolders(game);
  for (std::size_t i = 0; i < runs.size(); ++i)
    text += "== run " + std::to_string(i + 1) + " places.txt\n" + ReadText(runs[i] / "places.txt");
  CliResult report = RunCli({"conflicts", "--game", game.string()});
  text += "== conflicts (exit " + std::to_string(report.exitCode) + ")\n" + report.out;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::string id = runs[i].filename().string();
    for (std::size_t at; (at = text.find(id)) != std::string::npos;)
      text.replace(at, id.size(), "RUN" + std::to_string(i + 1));
  }
  for (std::size_t at; (at = text.find(game.string())) != std::string::npos;) text.replace(at, game.string().size(), "GAME");
  return text;
}

void CompareWithKept(const std::string& name, const std::string& record) {
  const fs::path kept = fs::path(VEY_SOURCE_DIR) / "tests/cli/data/places" / (name + ".txt");
  if (const char* write = std::getenv("VEY_WRITE_PLACES"); write && std::string(write) == "1") {
    std::ofstream(kept, std::ios::binary) << record;
    return;
  }
  ASSERT_TRUE(fs::exists(kept)) << kept;
  const std::vector<std::string> want = Lines(ReadText(kept)), got = Lines(record);
  for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    ASSERT_LT(i, want.size()) << "line " << i + 1 << " is new: " << got[i];
    ASSERT_LT(i, got.size()) << "line " << i + 1 << " is missing: " << want[i];
    ASSERT_EQ(got[i], want[i]) << "line " << i + 1 << " of " << name;
  }
}

struct Workload {
  const char* name;
  const char* generator;  // relative to the checkout, given OUTDIR
  const char* options;
};

// Named in test output by its name alone.
void PrintTo(const Workload& w, std::ostream* os) { *os << w.name; }

class KeptPlaces : public ::testing::TestWithParam<Workload> {};

TEST_P(KeptPlaces, TwoInstallsRecordTheSamePlacesAsBefore) {
  TempDir dir;
  const Workload& w = GetParam();
  const std::string command = std::string("python3 \"" VEY_SOURCE_DIR "/") + w.generator + "\" \"" +
                              (dir.Path() / "w").string() + "\" " + w.options + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const fs::path game = dir.Path() / "w/game", mod = dir.Path() / "w/mod";
  std::string exits;
  for (bool again : {false, true}) {
    std::vector<std::string> args{"install", "--mod", mod.string(), "--game", game.string(), "--yes",
                                  "--compiler", VEY_SOURCE_DIR "/demo/standin-compiler"};
    // Again over itself: its new columns are there already (errors), and
    // every place it writes is written twice.
    if (again) args.push_back("--reinstall");
    CliResult r = RunCli(args);
    ASSERT_LE(r.exitCode, again ? 2 : 0) << r.out << r.err;
    exits += "== install exit " + std::to_string(r.exitCode) + "\n";
  }
  CompareWithKept(w.name, exits + Record(game));
}

INSTANTIATE_TEST_SUITE_P(Workloads, KeptPlaces,
                         ::testing::Values(Workload{"demo", "demo/make_demo_game.py", ""},
                                           Workload{"smoke", "bench/make_smoke_workload.py", "--size 3 --seed 7"}),
                         [](const auto& info) { return std::string(info.param.name); });

// GFF edits of every shape: the field places of the run are exactly the
// differences of each document with itself before the run, in their order.
class FieldPlaces : public ::testing::Test {
 protected:
  TempDir dir;
};

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
  const std::string text = ReadText(path);
  return {text.begin(), text.end()};
}

TEST_F(FieldPlaces, AreTheDifferencesOfEachDocumentInTheirOrder) {
  // A document with a list of structs, a nested struct, a localized string
  // with two languages and plain values.
  TGFFFile doc;
  doc.New("UTC ");
  auto* root = doc.RootStruct();
  root->AddField(std::make_unique<TGFF_CExoString>("Tag", "guard"));
  root->AddField(std::make_unique<TGFF_SInt>("HitPoints", 10));
  root->AddField(std::make_unique<TGFF_SFloat>("Weight", 1.5f));
  auto name = std::make_unique<TGFF_CExoLocString>("FirstName", 5);
  name->AddSubstring(0, "Guard");
  name->AddSubstring(2, "Garde");
  root->AddField(std::move(name));
  auto list = std::make_unique<TGFFList>("ItemList");
  for (int i = 0; i < 3; ++i) {
    auto s = std::make_unique<TGFFStruct>();
    s->SetStructType(static_cast<std::uint32_t>(i));
    s->AddField(std::make_unique<TGFF_CResRef>("Item", "item" + std::to_string(i)));
    s->AddField(std::make_unique<TGFF_SWord>("Count", 1));
    list->AddStruct(std::move(s));
  }
  root->AddField(std::move(list));
  auto inner = std::make_unique<TGFFStruct>("Stats");
  inner->SetStructType(4);
  inner->AddField(std::make_unique<TGFF_SByte>("Str", 10));
  root->AddField(std::move(inner));
  dir.Write("game/override/guard.utc", doc.SaveToBytes());
  dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));

  const std::string ini =
      "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[GFFList]\nG0=guard.utc\n"
      "[guard.utc]\n"
      // Written in an order unlike the document's; Tag keeps its value.
      "Stats\\Str=12\nItemList\\2\\Count=4\nTag=guard\nFirstName(lang2)=Gardien\nFirstName(strref)=9\n"
      "HitPoints=10\nWeight=1.50\nItemList\\0\\Item=sword\n"
      "AddField0=new_item\nAddField1=stats_again\nAddField2=new_name\nAddField3=tag_again\n"
      // Set inside the struct added above: named by the added struct only.
      "ItemList\\3\\Item=axe\n"
      "[new_item]\nFieldType=Struct\nPath=ItemList\nTypeId=listindex\nAddField0=new_item_ref\n"
      "[new_item_ref]\nFieldType=ResRef\nLabel=Item\nValue=shield\n"
      "[stats_again]\nFieldType=Struct\nLabel=Stats\nTypeId=7\nAddField0=stats_dex\n"
      "[stats_dex]\nFieldType=Byte\nLabel=Dex\nValue=14\n"
      "[new_name]\nFieldType=ExoLocString\nLabel=LastName\nStrRef=-1\nlang0=Smith\n"
      "[tag_again]\nFieldType=ExoString\nLabel=Tag\nValue=captain\n";
  dir.Write("mod/veypatchdata/changes.ini", ini);
  dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 x}");
  const fs::path game = dir.Path() / "game";
  const std::vector<std::uint8_t> before = FileBytes(game / "override/guard.utc");

  CliResult r = RunCli({"install", "--mod", (dir.Path() / "mod").string(), "--game", game.string(), "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  TGFFFile was, now;
  was.LoadFromBytes(before);
  now.LoadFromBytes(FileBytes(game / "override/guard.utc"));
  std::string expected;
  for (const TDifference& d : DiffDocuments(was, now)) expected += "field\toverride/guard.utc\t" + d.where + "\n";
  ASSERT_NE(expected.find("ItemList\\3\n"), std::string::npos) << expected;
  std::string got;
  for (const std::string& line : Lines(ReadText(RunFolders(game).back() / "places.txt")))
    if (line.rfind("field\t", 0) == 0) got += line + "\n";
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace vey::test::changed_places
