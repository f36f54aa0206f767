// ModListState: the entries' states from the journal.
#include "cli/ModListState.h"

namespace vey::cli {

std::vector<EntryStatus> ListStatus(const std::vector<PreparedMod>& mods, const std::vector<TInstalledRun>& runs,
                                    const ListRecord& record) {
  std::vector<EntryStatus> states(mods.size());
  std::string lastRun;
  for (std::size_t i = 0; i < mods.size(); ++i) {
    const PreparedMod& m = mods[i];
    const ListRecordEntry* earlier = record.Find(m.entry->name);
    const std::string legacy = earlier ? earlier->run : std::string();
    TInstalledMatch match;
    if (m.versionKnown) {
      match = FindInstalled(runs, m.version, legacy);
    } else {
      // Nothing to compare with: a run of its name tells only that some
      // version of it is there.
      for (const TInstalledRun& run : runs)
        if (run.entry == m.entry->name || (!legacy.empty() && run.run.id == legacy))
          match = {TInstalledState::kChanged, &run};
    }
    EntryStatus& s = states[i];
    if (!match.run) continue;
    s.run = match.run->run.id;
    s.started = match.run->run.started;
    if (match.state == TInstalledState::kChanged) {
      s.state = EntryState::kChanged;
    } else {
      // Run ids begin with their start time: a later entry installed before
      // an earlier one reads out of order.
      s.state = s.run < lastRun ? EntryState::kOutOfOrder : EntryState::kInstalled;
    }
    lastRun = std::max(lastRun, s.run);
  }
  return states;
}

std::string StateText(EntryState state) {
  switch (state) {
    case EntryState::kInstalled:
      return "installed";
    case EntryState::kChanged:
      return "installed from a different source";
    case EntryState::kOutOfOrder:
      return "out of order";
    case EntryState::kNotInstalled:
      break;
  }
  return "not installed";
}

}  // namespace vey::cli
