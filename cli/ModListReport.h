// ModListReport: what `modlist check` and `modlist install` tell about the
// list: the closing table of every entry's verdict, the places two entries
// write, and the whole result as JSON for mod managers
// (docs/modlist-result.schema.json).
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/ModListPrepare.h"
#include "engine/support/UConflicts.h"
#include "cli/ModListRun.h"

namespace vey::cli {

void PrintClosingTable(std::ostream& out, const std::vector<PreparedMod>& mods, const std::vector<EntryRun>& runs);

// The places (files, archive resources, 2DA cells, GFF fields, talk-table
// entries) two or more entries wrote in a dry run, with the entry that
// writes last and so wins. places[i]: what entry i wrote.
void PrintConflicts(std::ostream& out, const std::vector<TRunPlaces>& places);

class ListReport {
 public:
  static constexpr int kVersion = 1;
  // destination: a file, "-" for standard output, empty for none.
  ListReport(std::string command, std::string destination);

  void SetList(const ModList& list, const std::string& gameFolder);
  void SetEntries(const std::vector<PreparedMod>& mods, const std::vector<EntryRun>& runs,
                  const std::vector<TRunPlaces>& places);
  // Writes the document (when one is wanted) and returns exitCode, or 2 when
  // the document cannot be written and nothing worse happened.
  int Finish(int exitCode, const std::optional<std::filesystem::path>& record);

 private:
  std::string command_, destination_;
  std::string list_, name_, game_;
  nlohmann::ordered_json entries_ = nlohmann::ordered_json::array();
  nlohmann::ordered_json conflicts_ = nlohmann::ordered_json::array();
};

}  // namespace vey::cli
