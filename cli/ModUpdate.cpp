// ModUpdate: the replay that replaces runs by newer versions of their mods.
#include "cli/ModUpdate.h"

#include <iostream>
#include <set>

#include "cli/CliCommon.h"
#include "cli/InstallCommand.h"
#include "cli/JournalOutput.h"
#include "common/PathText.h"
#include "engine/run/UReplay.h"
#include "engine/run/UTransaction.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

constexpr int kUpdateRefused = 1;
constexpr int kUpdateIncomplete = 2;
constexpr int kUpdateFailed = 3;

std::string Shown(const std::string& text) { return platform::TerminalText(PathText(text)); }

bool Installed(int code) { return code == kExitOk || code == kExitWarnings || code == kExitErrors; }

}  // namespace

int UpdateInPlace(const std::string& gameFolder, const std::map<std::string, InstallNew>& replacements,
                  std::ostream& out) {
  if (replacements.empty()) return kExitOk;
  TRunHistory history(gameFolder);
  try {
    history.Lock("update");
    RecoverFirst(history);
  } catch (const ERunRefused& e) {
    out << Shown(e.what()) << '\n';
    return e.Code() == kRefusedLocked ? kExitLocked : kExitJournal;
  }
  // Run ids begin with their start time: the first map key is the oldest run.
  const std::string first = replacements.begin()->first;
  std::set<std::string> replaced;
  for (const auto& [id, install] : replacements) replaced.insert(id);
  TReplay replay(history, gameFolder);
  std::vector<std::string> refusals;
  if (!replay.Plan(first, refusals, replaced)) {
    out << "Run " << Shown(first) << " is no longer recorded in this game folder; nothing was changed.\n";
    return kUpdateRefused;
  }
  if (!refusals.empty()) {
    out << "Refusing to update; nothing was changed:\n";
    for (const std::string& why : refusals) out << "  " << Shown(why) << '\n';
    return kUpdateRefused;
  }
  const auto& later = replay.Later();
  out << "Taking run " << Shown(first) << (later.empty() ? "" : " and the runs after it")
      << " out to put the new version in its place...\n";
  std::vector<std::string> problems;
  try {
    problems = replay.Undo();
  } catch (const Exception& e) {
    out << Shown(e.what()) << "\nNothing was changed.\n";
    return kUpdateIncomplete;
  }
  if (!problems.empty()) {
    out << "These files could not be put back:\n";
    for (const std::string& p : problems) out << "  " << Shown(p) << '\n';
    return kUpdateIncomplete;
  }
  const auto putBack = [&] {
    out << "Putting back everything this update changed...\n";
    const std::vector<std::string> left = replay.RollBack();
    if (!left.empty()) {
      out << "These could not be put back:\n";
      for (const std::string& p : left) out << "  " << Shown(p) << '\n';
      return kUpdateIncomplete;
    }
    out << "The game and its history are as they were before this command.\n";
    return kUpdateFailed;
  };
  // The replaced run first, then every later run in its order: a newer
  // version where one replaces it, else the mod installed again as it was.
  std::vector<std::pair<std::string, const TRunSource*>> steps{{first, nullptr}};
  for (std::size_t n = 0; n < later.size(); ++n) steps.emplace_back(later[n].id, &replay.Sources()[n]);
  for (std::size_t n = 0; n < steps.size(); ++n) {
    const auto& [id, source] = steps[n];
    int code = kExitAborted;
    bool asBefore = false;
    try {
      if (auto newer = replacements.find(id); newer != replacements.end()) {
        code = newer->second();
        asBefore = Installed(code);
      } else {
        out << "Installing again " << Shown(source->modFolder) << " (was run " << Shown(id) << "):\n" << std::flush;
        code = InstallAgain(*source, gameFolder);
        asBefore = ReinstalledAsBefore(code, later[n - 1].verdict);
      }
    } catch (const CLI::ParseError& e) {
      out << Shown(e.what()) << '\n';
    } catch (const std::exception& e) {
      out << "An unhandled error occured! " << Shown(e.what()) << '\n';
    }
    if (!asBefore) {
      out << "The update could not install the build again as it was (at run " << Shown(id) << ").\n";
      return putBack();
    }
  }
  replay.Done();
  return kExitOk;
}

}  // namespace vey::cli
