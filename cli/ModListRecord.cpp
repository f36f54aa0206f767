// ModListRecord: the list records of .veypatcher/lists/, as JSON.
#include "cli/ModListRecord.h"

#include <nlohmann/json.hpp>

#include <fstream>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "platform/JournalDir.h"
#include "platform/RunJournal.h"

namespace vey::cli {
namespace fs = std::filesystem;

ListRecord::ListRecord(const fs::path& gameFolder, const fs::path& listFile) {
  std::error_code ec;
  listFile_ = fs::weakly_canonical(fs::absolute(listFile), ec).string();
  const std::string key = Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(listFile_.data()), listFile_.size()));
  game_ = gameFolder;
  name_ = key.substr(0, 16) + ".json";
  file_ = platform::JournalHome(gameFolder) / platform::journal::kListsFolder / name_;
  // Reached by handle: a link at lists/ or at the record is refused by name
  // (EJournalUnusable), a FIFO too, never waited on.
  std::optional<std::string> text;
  if (const auto home = platform::JournalFolder::OpenHome(gameFolder, false))
    if (const auto lists = home->Folder(platform::journal::kListsFolder)) text = lists->ReadText(name_, 16u << 20);
  if (!text) return;
  try {
    const nlohmann::json doc = nlohmann::json::parse(*text);
    // A record of another game folder's journal resumes nothing here; one
    // written before records carried the id is this folder's.
    if (doc.contains("journal") && doc.at("journal") != platform::ReadJournalIdentity(gameFolder)) return;
    for (const auto& e : doc.at("entries"))
      entries_.push_back({e.at("name"), e.at("sourceSha256"), e.at("instructionSha256"), e.at("type"), e.at("run"),
                          e.at("verdict")});
  } catch (const nlohmann::json::exception&) {
    // A damaged record resumes nothing: every entry runs again.
    entries_.clear();
  }
}

const ListRecordEntry* ListRecord::Find(const std::string& name) const {
  for (const auto& e : entries_)
    if (e.name == name) return &e;
  return nullptr;
}

void ListRecord::Put(const ListRecordEntry& entry) {
  bool replaced = false;
  for (auto& e : entries_)
    if (e.name == entry.name) {
      e = entry;
      replaced = true;
    }
  if (!replaced) entries_.push_back(entry);
  Save();
}

void ListRecord::Save() const {
  nlohmann::ordered_json doc{{"version", 1},
                              {"list", listFile_},
                              {"journal", platform::ReadJournalIdentity(game_)},
                              {"entries", nlohmann::ordered_json::array()}};
  for (const auto& e : entries_)
    doc["entries"].push_back({{"name", e.name},
                              {"sourceSha256", e.sourceSha256},
                              {"instructionSha256", e.instructionSha256},
                              {"type", e.type},
                              {"run", e.run},
                              {"verdict", e.verdict}});
  const std::string text = doc.dump(2) + "\n";
  platform::JournalFolder::Home(game_).MakeFolder(platform::journal::kListsFolder).WriteText(name_, text);
}

std::set<std::string> LiveRuns(const fs::path& gameFolder) {
  std::set<std::string> ids;
  for (const platform::RunRecord& run : platform::ListRuns(gameFolder))
    if (run.Finished() && run.verdict != "failed") ids.insert(run.id);
  return ids;
}

}  // namespace vey::cli
