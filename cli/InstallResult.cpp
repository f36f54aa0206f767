// InstallResult: the install outcome as a JSON document.
#include "cli/InstallResult.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/ConflictsCommand.h"
#include "cli/InstallCommand.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "common/Win1252.h"

namespace vey::cli {
namespace {

using nlohmann::ordered_json;

std::string_view KindName(LogKind kind) {
  switch (kind) {
    case LogKind::Debug: return "debug";
    case LogKind::Error: return "error";
    case LogKind::Warning: return "warning";
    case LogKind::Install: return "install";
    case LogKind::Status: return "status";
  }
  return "debug";
}

ordered_json StateJson(const TRunReport::FileState& s) {
  if (!s.exists) return nullptr;
  ordered_json j;
  j["size"] = s.size;
  j["sha256"] = s.sha256;
  return j;
}

std::string_view Verdict(int exitCode) {
  switch (exitCode) {
    case kExitOk: return "ok";
    case kExitWarnings: return "warnings";
    case kExitErrors: return "errors";
    case kExitAborted: return "failed";
    case kExitUsage: return "usage";
    default: return "not-run";
  }
}

}  // namespace

InstallResult::InstallResult(std::string destination, bool dryRun)
    : destination_(std::move(destination)), dryRun_(dryRun) {}

void InstallResult::SetFolders(std::string modFolder, std::string instructions) {
  modFolder_ = std::move(modFolder);
  instructions_ = std::move(instructions);
}

void InstallResult::Observe(platform::GameFileSystem& files, bool digests) {
  report_ = std::make_unique<TRunReport>(files, digests);
}

void InstallResult::SetGameFolder(const std::string& folder) {
  if (report_) report_->SetGameFolder(folder);
}

void InstallResult::Log(LogKind kind, std::string_view text) { log_.push_back({kind, std::string(text)}); }

void InstallResult::SetCounts(std::int32_t warnings, std::int32_t errors) {
  counted_ = true;
  warnings_ = warnings;
  errors_ = errors;
}

void InstallResult::SetFailure(std::string message) { failure_ = std::move(message); }

void InstallResult::Settle() {
  if (!report_) return;
  files_ = report_->Files();
  report_->Detach();
  // After a rollback only what could not be put back is still a change.
  if (report_->Rollback())
    std::erase_if(files_, [](const TRunReport::ChangedFile& f) {
      return f.before.exists == f.after.exists && f.before.size == f.after.size &&
             f.before.sha256 == f.after.sha256 && !f.before.sha256.empty();
    });
}

bool InstallResult::Write(int exitCode) const {
  ordered_json doc;
  doc["format"] = "veypatcher-install-result";
  doc["version"] = kVersion;
  doc["dryRun"] = dryRun_;
  doc["verdict"] = Verdict(exitCode);
  doc["exitCode"] = exitCode;
  doc["failure"] = failure_.empty() ? ordered_json(nullptr) : ordered_json(MessageToUtf8(failure_));
  // Empty when a usage error stopped the command before they were known.
  doc["modFolder"] = modFolder_.empty() ? ordered_json(nullptr) : ordered_json(modFolder_);
  doc["instructions"] = instructions_.empty() ? ordered_json(nullptr) : ordered_json(instructions_);
  const std::string game = report_ ? report_->GameFolder() : std::string();
  doc["gameFolder"] = game.empty() ? ordered_json(nullptr) : ordered_json(game);

  const std::vector<TRunReport::ChangedFile>& files = files_;
  ordered_json counts;
  counts["warnings"] = warnings_;
  counts["errors"] = errors_;
  counts["logLines"] = log_.size();
  counts["filesChanged"] = files.size();
  doc["counts"] = counts;

  ordered_json log = ordered_json::array();
  for (const Line& l : log_) log.push_back({{"kind", KindName(l.kind)}, {"text", MessageToUtf8(l.text)}});
  doc["log"] = std::move(log);

  ordered_json changed = ordered_json::array();
  for (const auto& f : files)
    changed.push_back({{"path", f.path}, {"what", f.What()}, {"before", StateJson(f.before)},
                       {"after", StateJson(f.after)}});
  doc["files"] = std::move(changed);

  ordered_json archives = ordered_json::array();
  ordered_json tables = ordered_json::array();
  ordered_json talk = ordered_json::array();
  ordered_json rollback = nullptr;
  const bool rolledBack = report_ && report_->Rollback();
  if (rolledBack) {
    const platform::RollbackResult& r = *report_->Rollback();
    rollback = {{"restored", r.restored}, {"removed", r.removed}, {"complete", r.problems.empty()},
                {"problems", r.problems}};
  }
  // What a rollback undid was not applied: only the files list keeps what it
  // could not put back.
  if (report_ && !rolledBack) {
    std::map<std::string, std::pair<ordered_json, ordered_json>> byArchive;
    std::vector<std::string> order;
    for (const auto& r : report_->Resources()) {
      auto [it, fresh] = byArchive.try_emplace(r.archive, ordered_json::array(), ordered_json::array());
      if (fresh) order.push_back(r.archive);
      (r.replaced ? it->second.second : it->second.first).push_back(r.resource);
    }
    for (const std::string& a : order)
      archives.push_back({{"archive", a}, {"added", byArchive[a].first}, {"replaced", byArchive[a].second}});
    for (const auto& t : report_->Tables()) {
      ordered_json rows = ordered_json::array();
      for (const auto& [index, label] : t.rows) rows.push_back({{"index", index}, {"label", label}});
      tables.push_back({{"table", t.table}, {"rowsAdded", rows}, {"columnsAdded", t.columns}});
    }
    std::map<std::string, std::pair<ordered_json, ordered_json>> byTable;  // appended, replaced
    std::vector<std::string> tableOrder;
    auto table = [&](const std::string& name) -> std::pair<ordered_json, ordered_json>& {
      auto [it, fresh] = byTable.try_emplace(name, ordered_json::array(), ordered_json::array());
      if (fresh) tableOrder.push_back(name);
      return it->second;
    };
    for (const auto& e : report_->Entries()) table(e.table).first.push_back({{"source", e.source}, {"strRef", e.strRef}});
    for (const auto& e : report_->Replaced())
      table(e.table).second.push_back({{"strRef", e.strRef}, {"file", e.file}, {"source", e.source}});
    for (const std::string& t : tableOrder)
      talk.push_back({{"table", t}, {"appended", byTable[t].first}, {"replaced", byTable[t].second}});
  }
  doc["archives"] = std::move(archives);
  doc["tables"] = std::move(tables);
  doc["talkTables"] = std::move(talk);
  doc["rollback"] = std::move(rollback);

  // The places this run wrote, and those that other recorded runs wrote too.
  ordered_json places = ordered_json::array();
  ordered_json conflicts = ordered_json::array();
  if (report_ && !rolledBack) {
    for (const TWritePlace& p : report_->Places()) places.push_back(PlaceJson(p));
    if (!game.empty() && (dryRun_ || !runId_.empty())) {
      TRecordedPlaces recorded = ReadRecordedPlaces(game);
      if (dryRun_)
        recorded.runs.push_back({"", std::filesystem::path(modFolder_).parent_path().filename().string(),
                                 report_->Places()});
      for (std::size_t i = 0; i < recorded.runs.size(); ++i) {
        if (dryRun_ ? i + 1 != recorded.runs.size() : recorded.runs[i].run != runId_) continue;
        for (const TConflict& c : FindConflicts(recorded.runs))
          if (std::find(c.writers.begin(), c.writers.end(), i) != c.writers.end())
            conflicts.push_back(ConflictJson(c, recorded.runs));
      }
    }
  }
  doc["places"] = std::move(places);
  doc["conflicts"] = std::move(conflicts);

  // Names from the disk need not be UTF-8; such bytes become U+FFFD.
  const std::string text = doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
  if (destination_ == "-") {
    std::cout << text << std::flush;
    return static_cast<bool>(std::cout);
  }
  std::ofstream out(destination_, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "Cannot write the result file \"" << destination_ << "\".\n";
    return false;
  }
  return true;
}

bool CanWriteResult(const std::string& destination) {
  if (destination == "-") return true;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path(destination);
  if (fs::is_directory(path, ec)) return false;
  if (fs::exists(path, ec)) return ::access(destination.c_str(), W_OK) == 0;
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void WriteUsageResult(int argc, char** argv, const std::string& message) {
  if (argc < 2 || std::string_view(argv[1]) != "install") return;
  std::string destination;
  bool dryRun = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--dry-run") dryRun = true;
    if (arg == "--json" && i + 1 < argc) destination = argv[++i];
    else if (arg.starts_with("--json=")) destination = std::string(arg.substr(7));
  }
  if (destination.empty() || !CanWriteResult(destination)) return;
  InstallResult result(destination, dryRun);
  result.SetFailure(message);
  result.Write(kExitUsage);
}

void PrintChanges(std::ostream& out, const std::vector<TRunReport::ChangedFile>& files) {
  out << "Dry run: nothing was written. ";
  if (files.empty()) {
    out << "The run would change no file of the game folder.\n";
    return;
  }
  out << "The run would change " << Counted(files.size(), "file") << " of the game folder:\n";
  for (const auto& f : files) {
    std::string what = f.What();
    what.resize(10, ' ');
    out << "  " << what << f.path;
    if (f.before.exists && f.after.exists && f.before.size != f.after.size)
      out << "  (" << f.before.size << " -> " << Counted(f.after.size, "byte") << ")";
    else if (f.after.exists && !f.before.exists)
      out << "  (" << Counted(f.after.size, "byte") << ")";
    out << '\n';
  }
}

}  // namespace vey::cli
