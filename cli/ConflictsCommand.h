// ConflictsCommand: `veypatcher-cli conflicts` lists every place in a game
// folder that two or more recorded runs wrote, and the run that wins.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "engine/support/UConflicts.h"

namespace vey::cli {

void RegisterConflictsCommand(CLI::App& app, int& exitCode);

// A place in words: "override/a.2da, row \"1\", column \"label\"" (UTF-8).
std::string PlaceText(const TWritePlace& place);
// A place as JSON: kind, file and the fields of its kind.
nlohmann::ordered_json PlaceJson(const TWritePlace& place);
// A conflict as JSON, its writers named from runs.
nlohmann::ordered_json ConflictJson(const TConflict& conflict, const std::vector<TRunPlaces>& runs);

}  // namespace vey::cli
