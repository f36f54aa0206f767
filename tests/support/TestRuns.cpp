// TestRuns: journals of runs made by hand.
#include "support/TestRuns.h"

#include "platform/RunRecords.h"

namespace vey::test {

std::unique_ptr<platform::RunJournal> OpenTestRun(platform::GameFileSystem& files,
                                                  const std::filesystem::path& gameFolder,
                                                  const std::filesystem::path& modFolder) {
  platform::RunRecord header;
  header.modFolder = modFolder.string();
  header.journal = platform::ReadJournalIdentity(gameFolder);
  return std::make_unique<platform::RunJournal>(files, gameFolder, header);
}

}  // namespace vey::test
