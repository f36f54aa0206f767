// VerifyCommand: every file the recorded runs last wrote, hashed and compared
// with its digest after that run.
#include "cli/VerifyCommand.h"

#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/JournalOutput.h"
#include "common/Counted.h"
#include "engine/run/URunHistory.h"

namespace vey::cli {
namespace {

constexpr int kExitDiffers = 1;

int Verify(const std::string& given, const std::string& json) {
  const std::string game = GameFolder(given);
  TRunHistory history(game);
  const auto runs = history.Runs();
  const auto expected = platform::LastWrites(runs);
  const auto drifts = platform::FindDrifts(game, expected);
  std::size_t damaged = 0;
  for (const auto& run : runs) damaged += run.Damaged() ? 1 : 0;

  if (!json.empty()) {
    using nlohmann::ordered_json;
    ordered_json differences = ordered_json::array();
    for (const auto& d : drifts) differences.push_back({{"path", d.path}, {"state", d.state}, {"run", d.run}});
    ordered_json unfinished = ordered_json::array(), damagedIds = ordered_json::array();
    for (const auto& run : runs)
      if (run.Damaged())
        damagedIds.push_back(run.id);
      else if (!run.Finished())
        unfinished.push_back(run.id);
    ordered_json doc{{"gameFolder", game},
                     {"checkedFiles", expected.size()},
                     {"differences", std::move(differences)},
                     {"unfinishedRuns", std::move(unfinished)},
                     {"damagedRuns", std::move(damagedIds)}};
    if (!WriteResultFile(json, doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n"))
      return kExitFailed;
    if (json == "-") return drifts.empty() && damaged == 0 ? kExitOk : kExitDiffers;
  }
  for (const auto& run : runs)
    if (run.Damaged())
      std::cout << "The record of run " << run.id << " is damaged, so its files are not checked: " << run.damage.front()
                << " (see history).\n";
    else if (!run.Finished())
      std::cout << "The run " << run.id
                << " did not finish; the next install or uninstall puts its files back. It is not checked.\n";
  if (runs.empty()) {
    std::cout << "No installation has been recorded in this game folder.\n";
    return kExitOk;
  }
  for (const auto& d : drifts) std::cout << Pad(d.state, 10) << d.path << "  (last written by run " << d.run << ")\n";
  if (drifts.empty() && damaged > 0) {
    // Not "all": the damaged records' files were never looked at.
    std::cout << "The " << expected.size() << " files of the usable records are as the installer left them; "
              << damaged << " damaged records could not be checked.\n";
    return kExitDiffers;
  }
  if (drifts.empty()) {
    if (expected.size() == 1)
      std::cout << "The 1 file the installer wrote is as it left it.\n";
    else
      std::cout << "All " << Counted(expected.size(), "file") << " the installer wrote are as it left them.\n";
    return kExitOk;
  }
  std::cout << drifts.size() << " of " << Counted(expected.size(), "file") << " the installer wrote "
            << (drifts.size() == 1 ? "has" : "have") << " changed since (changed: edited in place; replaced: another "
               "file stands there; removed: gone).\n";
  return kExitDiffers;
}

}  // namespace

void RegisterVerifyCommand(CLI::App& app, int& exitCode) {
  struct Options {
    std::string game, json;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("verify", "Check that the files the installer wrote are still as it left them");
  command->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  command->add_option("--json", options->json,
                      "Also write the differences as JSON to this file (\"-\": standard output only)");
  command->footer(
      "Reads every file the recorded runs wrote last and compares its SHA-256 with the one recorded when "
      "that run ended, so an edit that keeps the size and time is found too. Changes nothing. Exit status: "
      "0 every file as the installer left it; 1 some changed, were replaced or removed (each named with the "
      "run that last wrote it) or a record is damaged; 2 the JSON file could not be written; 64 usage error.");
  command->callback([options, &exitCode] { exitCode = Verify(options->game, options->json); });
}

}  // namespace vey::cli
