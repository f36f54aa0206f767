// TestRuns: runs a test makes by hand, recorded in a game folder's journal
// as an install records them.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/GameFileSystem.h"
#include "platform/RunJournal.h"

namespace vey::test {

// Opens the journal of a run of the mod in modFolder: every change made
// through files from now on is recorded, until Finish or the journal's end
// (an unfinished run, as a kill leaves it).
std::unique_ptr<platform::RunJournal> OpenTestRun(platform::GameFileSystem& files,
                                                  const std::filesystem::path& gameFolder,
                                                  const std::filesystem::path& modFolder);

}  // namespace vey::test
