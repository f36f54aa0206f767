// JournalReset: undoing every recorded run of a game folder as one
// transaction. GAME/.veypatcher/reset.txt names the runs, newest first,
// before the first is touched; each run's record is kept under undone/ before
// its files go back; an interrupted reset is finished by the next start.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/RunJournal.h"

namespace vey::platform {

bool ResetPending(const std::filesystem::path& gameFolder);
// Records the runs to undo, newest first, forced to disk.
void BeginReset(const std::filesystem::path& gameFolder, const std::vector<std::string>& newestFirst);
// Undoes the recorded runs still in runs/, newest first, and ends the reset
// when all were put back. Stops at the first run that could not be: the
// reset stays pending, to be retried.
RollbackResult CompleteReset(const std::filesystem::path& gameFolder);

}  // namespace vey::platform
