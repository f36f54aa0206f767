// ModListState: what the game's journal says of each entry of a list:
// installed, not installed, installed from another version of its source,
// or installed out of the list's order. Whatever list, path or command put
// a mod there, its run says so; the list's own record only names the runs
// of entries recorded before runs carried their entry's name.
#pragma once

#include <string>
#include <vector>

#include "cli/ModListPrepare.h"
#include "cli/ModListRecord.h"
#include "engine/support/UModIdentity.h"

namespace vey::cli {

enum class EntryState { kNotInstalled, kInstalled, kChanged, kOutOfOrder };

struct EntryStatus {
  EntryState state = EntryState::kNotInstalled;
  std::string run;      // the run that installed it, when one did
  std::string started;  // when that run started, UTC
  bool Installed() const { return state == EntryState::kInstalled || state == EntryState::kOutOfOrder; }
};

// One status per entry of mods. An entry whose source could not be read is
// "changed" when a run of its name stands (it can no longer be compared),
// else not installed.
std::vector<EntryStatus> ListStatus(const std::vector<PreparedMod>& mods, const std::vector<TInstalledRun>& runs,
                                    const ListRecord& record);

// "installed", "not installed", "installed from a different source", "out of order".
std::string StateText(EntryState state);

}  // namespace vey::cli
