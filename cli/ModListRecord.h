// ModListRecord: the record of a mod list's installation kept in the game
// folder (.veypatcher/lists/), which ties its entries to their runs, so that
// running the list again resumes and `modlist status` can tell what is there.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace vey::cli {

struct ListRecordEntry {
  std::string name;
  std::string sourceSha256;
  std::string instructionSha256;  // empty for a copy mod
  std::string type;               // installation type identifier, UTF-8
  std::string run;                // the run's id in the journal
  std::string verdict;
};

class ListRecord {
 public:
  // The record of this list (by its absolute path) in this game folder;
  // empty when there is none yet or it cannot be read.
  ListRecord(const std::filesystem::path& gameFolder, const std::filesystem::path& listFile);

  const ListRecordEntry* Find(const std::string& name) const;
  // Replaces the entry of that name (or adds it) and writes the record.
  void Put(const ListRecordEntry& entry);
  const std::filesystem::path& File() const { return file_; }

 private:
  void Save() const;

  std::filesystem::path game_;
  std::string name_;  // in the journal's lists/
  std::filesystem::path file_;
  std::string listFile_;
  std::vector<ListRecordEntry> entries_;
};

// The ids of the finished runs still recorded in the game folder (an
// uninstalled run is gone).
std::set<std::string> LiveRuns(const std::filesystem::path& gameFolder);

}  // namespace vey::cli
