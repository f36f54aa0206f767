// ModListReport: the closing table, the predicted conflicts and the JSON result.
#include "cli/ModListReport.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>

#include "cli/ConflictsCommand.h"
#include "common/Counted.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

using nlohmann::ordered_json;

std::string Shown(const EntryRun& run) {
  if (run.verdict == "ok") return "done";
  if (run.verdict == "skipped") return "already installed";
  return run.verdict;
}

ordered_json ListOptionalText(const std::optional<std::string>& value) { return value ? ordered_json(*value) : ordered_json(); }

}  // namespace

void PrintClosingTable(std::ostream& out, const std::vector<PreparedMod>& mods, const std::vector<EntryRun>& runs) {
  std::size_t width = 4;
  for (const PreparedMod& m : mods) width = std::max(width, m.entry->name.size());
  width = std::min<std::size_t>(width, 48);
  out << '\n' << std::left << std::setw(5) << "#" << std::setw(static_cast<int>(width) + 2) << "Mod" << "Verdict\n";
  for (std::size_t i = 0; i < mods.size(); ++i) {
    std::string name = mods[i].entry->name;
    if (name.size() > width) name = name.substr(0, width - 3) + "...";
    out << std::setw(5) << i + 1 << std::setw(static_cast<int>(width) + 2) << name << Shown(runs[i]);
    if (runs[i].warnings || runs[i].errors)
      out << " (" << Counted(runs[i].errors, "error") << ", " << Counted(runs[i].warnings, "warning") << ")";
    out << '\n';
  }
}

void PrintConflicts(std::ostream& out, const std::vector<TRunPlaces>& places) {
  const std::vector<TConflict> conflicts = FindConflicts(places);
  if (conflicts.empty()) {
    out << "No place in the game is written by more than one mod of the list.\n";
    return;
  }
  out << Counted(conflicts.size(), "place") << (conflicts.size() == 1 ? " is" : " are")
      << " written by more than one mod; the one that writes last wins:\n";
  for (const TConflict& c : conflicts) {
    out << "  " << platform::TerminalText(PlaceText(c.place)) << '\n';
    for (std::size_t w : c.writers)
      out << (w == c.Winner() ? "    wins:    " : "    writes:  ") << places[w].mod << '\n';
  }
}

ListReport::ListReport(std::string command, std::string destination)
    : command_(std::move(command)), destination_(std::move(destination)) {}

void ListReport::SetList(const ModList& list, const std::string& gameFolder) {
  list_ = list.file.string();
  name_ = list.name;
  game_ = gameFolder;
}

void ListReport::SetEntries(const std::vector<PreparedMod>& mods, const std::vector<EntryRun>& runs,
                            const std::vector<TRunPlaces>& places) {
  ordered_json entries = ordered_json::array();
  for (std::size_t i = 0; i < mods.size(); ++i) {
    const PreparedMod& m = mods[i];
    const EntryRun& run = i < runs.size() ? runs[i] : EntryRun{};
    ordered_json findings = ordered_json::array();
    for (const ListFinding& f : m.findings)
      findings.push_back({{"severity", f.error ? "error" : "warning"}, {"message", f.message}});
    entries.push_back({{"name", m.entry->name},
                       {"kind", m.entry->IsCopy() ? "copy" : "installer"},
                       {"source", m.entry->source.string()},
                       {"sourceSha256", m.sourceSha256.empty() ? ordered_json() : ordered_json(m.sourceSha256)},
                       {"type", m.mod.namespaceId.empty() ? ordered_json() : ordered_json(m.mod.namespaceId)},
                       {"findings", findings},
                       {"verdict", run.verdict.empty() ? ordered_json() : ordered_json(run.verdict)},
                       {"warnings", run.warnings},
                       {"errors", run.errors},
                       {"run", run.runId.empty() ? ordered_json() : ordered_json(run.runId)},
                       {"message", run.message.empty() ? ordered_json() : ordered_json(run.message)},
                       {"url", ListOptionalText(m.entry->url)},
                       {"version", ListOptionalText(m.entry->version)},
                       {"notes", ListOptionalText(m.entry->notes)}});
  }
  entries_ = std::move(entries);
  ordered_json conflicts = ordered_json::array();
  for (const TConflict& c : FindConflicts(places)) conflicts.push_back(ConflictJson(c, places));
  conflicts_ = std::move(conflicts);
}

int ListReport::Finish(int exitCode, const std::optional<std::filesystem::path>& record) {
  if (destination_.empty()) return exitCode;
  ordered_json doc{{"version", kVersion},
                   {"command", command_},
                   {"list", list_},
                   {"name", name_},
                   {"game", game_.empty() ? ordered_json() : ordered_json(game_)},
                   {"exitCode", exitCode},
                   {"record", record ? ordered_json(record->string()) : ordered_json()},
                   {"entries", entries_},
                   {"conflicts", conflicts_}};
  // Names from the list and the disk may hold bytes that are not UTF-8.
  const std::string text = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  if (destination_ == "-") {
    std::cout << text << std::flush;
    return exitCode;
  }
  std::ofstream file(destination_, std::ios::binary | std::ios::trunc);
  file << text;
  if (!file.flush()) {
    std::cerr << "Cannot write the JSON file \"" << destination_ << "\".\n";
    return exitCode == 0 ? 2 : exitCode;
  }
  return exitCode;
}

}  // namespace vey::cli
