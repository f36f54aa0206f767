// The conflict report over what runs wrote, and the record of places a run
// keeps in its journal folder, read back as untrusted input.
#include <gtest/gtest.h>

#include "engine/support/UConflicts.h"

namespace vey::test {
namespace {

using Kind = TWritePlace::Kind;

TWritePlace Whole(std::string file) { return {Kind::File, std::move(file), {}, {}}; }
TWritePlace Resource(std::string archive, std::string name) { return {Kind::Resource, std::move(archive), std::move(name), {}}; }
TWritePlace Cell(std::string table, std::string row, std::string column) {
  return {Kind::Cell, std::move(table), std::move(row), std::move(column)};
}
TWritePlace Field(std::string file, std::string path) { return {Kind::Field, std::move(file), std::move(path), {}}; }
TWritePlace Entry(std::string table, int strRef) { return {Kind::Entry, std::move(table), std::to_string(strRef), {}}; }

// The conflicts as "kind file item column: writer writer ...", winner last.
std::vector<std::string> Described(const std::vector<TRunPlaces>& runs) {
  std::vector<std::string> out;
  for (const TConflict& c : FindConflicts(runs)) {
    std::string line = std::string(KindName(c.place.kind)) + " " + c.place.file;
    if (!c.place.item.empty()) line += " " + c.place.item;
    if (!c.place.column.empty()) line += " " + c.place.column;
    line += ":";
    for (std::size_t w : c.writers) line += " " + runs[w].mod;
    out.push_back(line);
  }
  return out;
}

TEST(FindConflicts, EachKindWrittenTwiceNamesBothAndTheLastWins) {
  struct Case {
    const char* name;
    TWritePlace first, second;
    std::string expected;  // empty: no conflict
  };
  const Case cases[] = {
      {"same override file", Whole("override/a.utc"), Whole("override/a.utc"), "file override/a.utc: A B"},
      {"file names differ in case only", Whole("override/A.utc"), Whole("override/a.UTC"), "file override/a.UTC: A B"},
      {"other file", Whole("override/a.utc"), Whole("override/b.utc"), ""},
      {"same archive resource", Resource("modules/m.mod", "x.utc"), Resource("modules/m.mod", "X.UTC"),
       "resource modules/m.mod X.UTC: A B"},
      {"resource in another archive", Resource("modules/m.mod", "x.utc"), Resource("modules/n.mod", "x.utc"), ""},
      {"same cell", Cell("override/spells.2da", "12", "name"), Cell("override/spells.2da", "12", "NAME"),
       "cell override/spells.2da 12 NAME: A B"},
      {"same row, other column", Cell("override/spells.2da", "12", "name"), Cell("override/spells.2da", "12", "cost"), ""},
      {"same column, other row", Cell("override/spells.2da", "12", "name"), Cell("override/spells.2da", "13", "name"), ""},
      {"same field", Field("override/a.utc", "ItemList\\0\\Tag"), Field("override/a.utc", "ItemList\\0\\Tag"),
       "field override/a.utc ItemList\\0\\Tag: A B"},
      {"field labels keep their case", Field("override/a.utc", "Tag"), Field("override/a.utc", "TAG"), ""},
      {"same field of an archived document", Field("modules/m.mod/a.utc", "Tag"), Field("modules/m.mod/a.utc", "Tag"),
       "field modules/m.mod/a.utc Tag: A B"},
      {"same replaced entry", Entry("dialog.tlk", 25859), Entry("dialog.tlk", 25859), "entry dialog.tlk 25859: A B"},
      {"entry in the other table", Entry("dialog.tlk", 25859), Entry("dialogf.tlk", 25859), ""},
      // A whole file written after a cell change loses that change.
      {"whole file after a cell", Cell("override/spells.2da", "1", "name"), Whole("override/spells.2da"),
       "file override/spells.2da: A B"},
      {"cell after a whole file builds on it", Whole("override/spells.2da"), Cell("override/spells.2da", "1", "name"), ""},
      {"resource after a field of it", Field("modules/m.mod/a.utc", "Tag"), Resource("modules/m.mod", "a.utc"),
       "resource modules/m.mod a.utc: A B"},
      {"archive after a resource in it", Resource("modules/m.mod", "a.utc"), Whole("modules/m.mod"),
       "file modules/m.mod: A B"},
      {"archive after a field of one of its documents", Field("modules/m.mod/a.utc", "Tag"), Whole("modules/m.mod"),
       "file modules/m.mod: A B"},
      {"a file whose name only begins alike", Cell("override/spells.2da", "1", "name"), Whole("override/spells"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TRunPlaces> runs{{"1", "A", {c.first}}, {"2", "B", {c.second}}};
    const auto found = Described(runs);
    if (c.expected.empty())
      EXPECT_TRUE(found.empty()) << found.front();
    else
      EXPECT_EQ(found, std::vector<std::string>{c.expected});
  }
}

TEST(FindConflicts, WritersInRunOrderOnceEachAndSortedByFile) {
  const std::vector<TRunPlaces> runs{
      {"1", "A", {Cell("z.2da", "0", "c"), Cell("z.2da", "0", "c"), Whole("override/b.txt")}},
      {"2", "B", {Whole("override/b.txt")}},
      {"3", "C", {Cell("z.2da", "0", "c")}},
      {"4", "D", {Whole("override/b.txt"), Cell("z.2da", "1", "c")}},
      {"5", "E", {Whole("z.2da")}},
  };
  EXPECT_EQ(Described(runs), (std::vector<std::string>{"file override/b.txt: A B D", "file z.2da: A C D E",
                                                       "cell z.2da 0 c: A C"}));
  const auto conflicts = FindConflicts(runs);
  EXPECT_EQ(runs[conflicts[1].Winner()].mod, "E");
}

// A run that installs a file and then edits it conflicts with nobody; a
// whole write joins the writers of the same file before it and of what lay inside.
TEST(FindConflicts, WholeWritesJoinEveryEarlierWriterOnlyOnce) {
  EXPECT_TRUE(FindConflicts({{"1", "A", {Whole("override/a.2da"), Cell("override/a.2da", "0", "c")}}}).empty());
  EXPECT_TRUE(FindConflicts({{"1", "A", {Cell("override/a.2da", "0", "c"), Whole("override/a.2da")}}}).empty());
  const std::vector<TRunPlaces> runs{
      {"1", "A", {Whole("override/a.2da")}},
      {"2", "B", {Cell("override/a.2da", "0", "c")}},
      {"3", "C", {Whole("override/a.2da")}},
  };
  EXPECT_EQ(Described(runs), (std::vector<std::string>{"file override/a.2da: A B C"}));
}

TEST(PlacesRecord, RoundTripKeepsEveryByte) {
  const std::vector<TWritePlace> places{
      Whole("override/odd\tname%.txt"), Resource("modules/m.mod", "x.utc"),
      Cell("override/spells.2da", "row\xE9", "col 1%"), Field("modules/m.mod/a.utc", "List\\3\\Tag(lang0)"),
      Entry("dialog.tlk", 0)};
  std::vector<std::string> problems;
  EXPECT_EQ(ParsePlaces(PlacesText(places), problems), places);
  EXPECT_TRUE(problems.empty());
  // Written once however often the run wrote it.
  std::vector<TWritePlace> twice{places[1], places[1]};
  EXPECT_EQ(ParsePlaces(PlacesText(twice), problems).size(), 1u);
}

TEST(PlacesRecord, DamagedLinesAreNamedAndLeftOut) {
  struct Case {
    const char* line;
    const char* problem;  // empty: read
  };
  const Case cases[] = {
      {"file\toverride/a.txt", ""},
      {"cell\tt.2da\t0\tc", ""},
      {"entry\tdialog.tlk\t4294967295", ""},
      {"file\t/home/jane/.bashrc", "places.txt line 2: a path outside the game folder"},
      {"file\toverride/../../.bashrc", "places.txt line 2: a path outside the game folder"},
      {"file\t..", "places.txt line 2: a path outside the game folder"},
      {"file\t", "places.txt line 2: a path outside the game folder"},
      {"file\toverride/a.txt\textra", "places.txt line 2: wrong number of fields"},
      {"cell\tt.2da\t0", "places.txt line 2: wrong number of fields"},
      {"blob\tt.2da", "places.txt line 2: unknown kind of place"},
      {"file\toverride/a%2", "places.txt line 2: bad escape"},
      {"file\toverride/a%zz", "places.txt line 2: bad escape"},
      {"entry\tdialog.tlk\t12345678901234567890123", "places.txt line 2: not an entry number"},
      {"entry\tdialog.tlk\t-1", "places.txt line 2: not an entry number"},
      {"entry\tdialog.tlk\t", "places.txt line 2: not an entry number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> problems;
    const auto places = ParsePlaces(std::string("veypatcher-places 1\n") + c.line + "\nfile\tlast.txt\n", problems);
    if (*c.problem) {
      EXPECT_EQ(problems, std::vector<std::string>{c.problem});
      EXPECT_EQ(places.size(), 1u);  // the good line after it still counts
    } else {
      EXPECT_TRUE(problems.empty()) << problems.front();
      EXPECT_EQ(places.size(), 2u);
    }
  }
}

TEST(PlacesRecord, OtherVersionsAndCutLinesAreNotRead) {
  std::vector<std::string> problems;
  EXPECT_TRUE(ParsePlaces("veypatcher-places 2\nfile\ta.txt\n", problems).empty());
  EXPECT_EQ(problems, std::vector<std::string>{"places.txt line 1: not a record of places this version reads"});
  problems.clear();
  // A crash cut the last line: it never counts, and is no damage.
  EXPECT_EQ(ParsePlaces("veypatcher-places 1\nfile\ta.txt\nfile\tb.t", problems).size(), 1u);
  EXPECT_TRUE(problems.empty());
  EXPECT_TRUE(ParsePlaces("", problems).empty());
  EXPECT_TRUE(problems.empty());
}

}  // namespace
}  // namespace vey::test
