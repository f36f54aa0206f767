// UConflicts: the places in the game's files that runs wrote (whole files,
// archive resources, 2DA cells, GFF fields, replaced talk-table entries), the
// small record of them each run keeps in its journal folder, and the report
// of every place that two or more runs wrote, with the run that wrote last.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/JournalLayout.h"

namespace vey {

struct TWritePlace {
  enum class Kind { File, Resource, Cell, Field, Entry };
  Kind kind = Kind::File;
  // Relative to the game folder, '/' separated. A field of a document kept
  // in an archive names the archive, then the resource: "modules/a.mod/x.utc".
  std::string file;
  // The resource name, the cell's row label, the field path, or the entry's
  // number in the talk table; empty for a whole file.
  std::string item;
  std::string column;  // cells only

  auto operator<=>(const TWritePlace&) const = default;
};

// "file", "resource", "cell", "field", "entry".
std::string_view KindName(TWritePlace::Kind kind);

// What one run wrote, in run order for FindConflicts.
struct TRunPlaces {
  std::string run;  // the run's id
  std::string mod;  // the archive or folder it came from
  std::vector<TWritePlace> places;
  // The name people know the mod by; empty: mod.
  std::string name;
  const std::string& Name() const { return name.empty() ? mod : name; }
};

struct TConflict {
  TWritePlace place;  // spelled as the last writer spelled it
  // Indexes into the runs given, in run order; the last one wins.
  std::vector<std::size_t> writers;
  std::size_t Winner() const { return writers.back(); }
};

// Every place two or more runs wrote. A run that writes a whole file (or an
// archive resource) later than others changed things inside it also wins
// over them, at that file. Sorted by file, then place.
std::vector<TConflict> FindConflicts(const std::vector<TRunPlaces>& runs);

// The record in a run's journal folder.
inline constexpr std::string_view kPlacesFile = platform::journal::kPlacesFile;
std::string PlacesText(const std::vector<TWritePlace>& places);
// Reads a record written by anyone: a damaged line is left out and named in
// problems ("places.txt line 3: ..."); a record of another version or too
// large is refused as a whole, also through problems.
std::vector<TWritePlace> ParsePlaces(std::string_view text, std::vector<std::string>& problems);

// The record of every finished run in the game folder, oldest first. Runs
// without a record (recorded before places were kept) are named in
// unrecorded; damaged records in problems.
struct TRecordedPlaces {
  std::vector<TRunPlaces> runs;
  std::vector<std::string> unrecorded;
  std::vector<std::string> problems;
};
TRecordedPlaces ReadRecordedPlaces(const std::filesystem::path& gameFolder);

}  // namespace vey
