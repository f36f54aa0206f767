// GamesCommand: lists what the game finder sees, with the edition when a
// registry tells it and where each folder was seen.
#include "cli/GamesCommand.h"

#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/GameChoice.h"
#include "platform/GameFinder.h"

namespace vey::cli {

void RegisterGamesCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand(
      "games", "List the game folders found in Wine prefixes, Steam libraries, Proton, Lutris and Heroic");
  auto edition = std::make_shared<int>(0);
  command->add_option("--edition", *edition, "Leave out folders a registry gives to the other edition (1 or 2)")
      ->check(CLI::Range(1, 2));
  command->footer(
      "A folder counts when it holds a talk table \"dialog.tlk\" and a key file \"chitin.key\".\n"
      "Exit status: 0 at least one game folder found; 1 none found; 64 usage error.");
  command->callback([edition, &exitCode] {
    const auto games =
        platform::ForEdition(platform::GameFinder(platform::FinderPlaces::FromEnvironment()).FindAll(), *edition);
    if (games.empty()) {
      std::cerr << "No game folder found. Give it to install with --game DIR.\n";
      exitCode = 1;
      return;
    }
    std::cout << GameListing(games, false) << std::flush;
    exitCode = kExitOk;
  });
}

}  // namespace vey::cli
