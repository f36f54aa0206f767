// ConflictsCommand: the conflict report of a game folder from its journals.
#include "cli/ConflictsCommand.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "common/Win1252.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

using nlohmann::ordered_json;

constexpr int kExitSome = 1;

std::string GameFolder(const std::string& given) {
  std::error_code ec;
  std::filesystem::path game = std::filesystem::absolute(given, ec);
  if (!std::filesystem::is_directory(game, ec)) throw UsageError("--game: \"" + given + "\" is not a folder");
  return game.lexically_normal().string();
}

// Labels and field paths come from game files (Windows-1252); file names
// from the disk.
std::string Label(const std::string& text) { return Win1252ToUtf8(text); }
std::string FileName(const std::string& path) { return MessageToUtf8(PathText(path)); }

}  // namespace

std::string PlaceText(const TWritePlace& p) {
  const std::string file = FileName(p.file);
  switch (p.kind) {
    case TWritePlace::Kind::File: return file + " (the whole file)";
    case TWritePlace::Kind::Resource: return file + ", resource " + FileName(p.item);
    case TWritePlace::Kind::Cell: return file + ", row \"" + Label(p.item) + "\", column \"" + Label(p.column) + "\"";
    case TWritePlace::Kind::Field: return file + ", field " + Label(p.item);
    case TWritePlace::Kind::Entry: return file + ", entry " + p.item;
  }
  return file;
}

namespace {

ordered_json WriterJson(const TRunPlaces& run) {
  return {{"run", run.run}, {"mod", FileName(run.mod)}, {"name", run.Name()}};
}

int ShowConflicts(const std::string& given, const std::string& jsonFile) {
  const std::string game = GameFolder(given);
  const TRecordedPlaces recorded = ReadRecordedPlaces(game);
  const std::vector<TConflict> conflicts = FindConflicts(recorded.runs);
  std::ostream& out = jsonFile == "-" ? std::cerr : std::cout;

  if (conflicts.empty()) {
    out << "No place in this game folder was written by more than one of the " << Counted(recorded.runs.size(), "recorded run")
        << ".\n";
  } else {
    out << Counted(conflicts.size(), "place") << (conflicts.size() == 1 ? " was" : " were")
        << " written by more than one mod; the one that wrote last wins:\n";
    for (const TConflict& c : conflicts) {
      out << "  " << platform::TerminalText(PlaceText(c.place)) << '\n';
      for (std::size_t w : c.writers) {
        const TRunPlaces& run = recorded.runs[w];
        out << (w == c.Winner() ? "    wins:    " : "    wrote:   ") << platform::TerminalText(run.Name())
            << " (run " << platform::TerminalText(run.run) << ")\n";
      }
    }
  }
  if (!recorded.unrecorded.empty()) {
    out << "These runs were recorded without their places (by an older version, or their record is missing) and "
           "are not compared:\n";
    for (const std::string& id : recorded.unrecorded) out << "  " << platform::TerminalText(id) << '\n';
  }
  for (const std::string& problem : recorded.problems)
    std::cerr << "Damaged record, left out: " << platform::TerminalText(problem) << '\n';

  if (!jsonFile.empty()) {
    ordered_json doc;
    doc["format"] = "veypatcher-conflicts";
    doc["version"] = 1;
    doc["gameFolder"] = game;
    ordered_json runs = ordered_json::array();
    for (const TRunPlaces& run : recorded.runs) runs.push_back(WriterJson(run));
    doc["runs"] = std::move(runs);
    ordered_json list = ordered_json::array();
    for (const TConflict& c : conflicts) list.push_back(ConflictJson(c, recorded.runs));
    doc["conflicts"] = std::move(list);
    doc["unrecorded"] = recorded.unrecorded;
    ordered_json problems = ordered_json::array();
    for (const std::string& p : recorded.problems) problems.push_back(FileName(p));
    doc["problems"] = std::move(problems);
    const std::string text = doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
    if (jsonFile == "-") {
      std::cout << text << std::flush;
    } else {
      std::ofstream file(jsonFile, std::ios::binary | std::ios::trunc);
      file << text;
      file.close();
      if (!file) {
        std::cerr << "Cannot write the result file \"" << jsonFile << "\".\n";
        return kExitFailed;
      }
    }
  }
  return conflicts.empty() ? kExitOk : kExitSome;
}

}  // namespace

ordered_json PlaceJson(const TWritePlace& p) {
  ordered_json j;
  j["kind"] = std::string(KindName(p.kind));
  j["file"] = FileName(p.file);
  switch (p.kind) {
    case TWritePlace::Kind::File: break;
    case TWritePlace::Kind::Resource: j["resource"] = FileName(p.item); break;
    case TWritePlace::Kind::Cell:
      j["row"] = Label(p.item);
      j["column"] = Label(p.column);
      break;
    case TWritePlace::Kind::Field: j["field"] = Label(p.item); break;
    case TWritePlace::Kind::Entry: j["entry"] = std::stoll(p.item); break;
  }
  return j;
}

ordered_json ConflictJson(const TConflict& c, const std::vector<TRunPlaces>& runs) {
  ordered_json j = PlaceJson(c.place);
  ordered_json writers = ordered_json::array();
  for (std::size_t w : c.writers) writers.push_back(WriterJson(runs[w]));
  j["writers"] = std::move(writers);
  j["winner"] = WriterJson(runs[c.Winner()]);
  return j;
}

void RegisterConflictsCommand(CLI::App& app, int& exitCode) {
  struct Options {
    std::string game, json;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("conflicts", "List the places in a game folder that several mods wrote");
  cmd->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  cmd->add_option("--json", options->json,
                  "Also write the report as JSON (docs/conflicts.md) to this file; - for standard output, "
                  "the text then goes to standard error");
  cmd->footer(
      "Compares what every recorded run wrote: whole files, archive resources, 2DA cells (file, row label, "
      "column), GFF fields (file, field path) and replaced talk-table entries. A mod that writes a whole file "
      "later than others changed things inside it wins over them too. Exit status: 0 no place written twice; "
      "1 some; 2 the JSON file cannot be written; 64 usage error.");
  cmd->callback([options, &exitCode] { exitCode = ShowConflicts(options->game, options->json); });
}

}  // namespace vey::cli
