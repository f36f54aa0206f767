// BuildRun: one build mod's operations inside one journal run.
#include "modlist/BuildRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>

#include "common/Counted.h"
#include "common/FileIO.h"
#include "common/Sha256.h"
#include "common/Win1252.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UVEYPatcher.h"
#include "engine/support/UConflicts.h"
#include "engine/support/UNamespaces.h"
#include "engine/support/URunReport.h"
#include "platform/GameLinks.h"
#include "platform/Headless.h"
#include "platform/ModArchive.h"
#include "platform/RunJournal.h"

namespace vey::modlist {
namespace fs = std::filesystem;

namespace {

// A step of the build that cannot be carried out; the mod is rolled back.
VEY_DECLARE_FAILURE(EBuildStepFailed);

constexpr std::string_view kTextureExtensions[] = {".tga", ".dds", ".tpc"};

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : "/") + p;
  return text;
}

// What stands on disk at path, without following a link.
enum class Kind { Missing, File, Folder, Other };
Kind KindOf(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return Kind::Missing;
  return S_ISREG(st.st_mode) ? Kind::File : S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Other;
}

class Runner {
 public:
  Runner(const ModPlan& plan, const BuildRunSetting& s, TRunReport* report)
      : plan_(plan), s_(s), files_(s.files), game_(fs::path(s.gameFolder).lexically_normal()), report_(report) {}

  BuildModRun Run() {
    for (const PlannedOp& op : plan_.ops) {
      Cancelled();
      switch (op.kind) {
        case PlannedOp::Kind::Copy: Copy(op); break;
        case PlannedOp::Kind::Delete: Delete(op); break;
        case PlannedOp::Kind::Rename: Rename(op); break;
        case PlannedOp::Kind::DelDuplicate: DelDuplicate(op); break;
        case PlannedOp::Kind::Patcher: Patcher(op); break;
      }
    }
    result_.verdict = result_.errors > 0 ? "errors" : result_.warnings > 0 ? "warnings" : "ok";
    return result_;
  }

 private:
  void Cancelled() const {
    if (s_.cancel && s_.cancel->load()) throw ECancelled("Installation interrupted.");
  }
  void Say(const std::string& line) const {
    if (s_.say) s_.say(line);
  }
  // The build file has a slip: the step is skipped with a warning.
  void FoundNothing(const PlannedOp& op) {
    ++result_.warnings;
    Say("Warning: " + op.step + " found nothing for \"" + Joined(op.gamePattern->parts) + "\" in the game; skipped.");
  }
  // A game folder a step writes into, never one a link leads out of.
  fs::path GameFolder(const BuildPath& path) const {
    if (path.parts.empty()) return game_;
    if (auto why = platform::LinkOutOfGame(game_, Joined(path.parts) + "/-"))
      throw EBuildStepFailed(*why);
    return files_.Resolve(game_, Joined(path.parts));
  }

  // The game entries a pattern matches now, the journal folder never among them.
  std::vector<fs::path> GameGlob(const BuildPath& pattern) const {
    std::vector<fs::path> level{game_};
    for (std::size_t depth = 0; depth < pattern.parts.size(); ++depth) {
      std::vector<fs::path> next;
      for (const fs::path& folder : level) {
        if (!files_.IsDirectory(folder)) continue;
        std::vector<std::string> names = files_.List(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
          if (depth == 0 && SameName(name, platform::journal::kHomeName)) continue;
          if (WildcardMatch(pattern.parts[depth], name)) next.push_back(folder / name);
        }
      }
      level = std::move(next);
    }
    if (pattern.parts.empty()) return {};
    for (const fs::path& p : level) {
      if (KindOf(files_.HostPath(p)) == Kind::Other)
        throw EBuildStepFailed("\"" + p.string() + "\" is a link or special file; a build's step follows no links.");
      if (auto why = platform::LinkOutOfGame(game_, p.lexically_relative(game_).generic_string()))
        throw EBuildStepFailed(*why);
    }
    return level;
  }

  void CopyFile(const fs::path& from, const fs::path& folder, const std::string& name, bool overwrite) {
    const fs::path target = files_.Child(folder, name);
    if (!overwrite && files_.Exists(target)) {
      Say("Kept \"" + target.lexically_relative(game_).generic_string() + "\": the build does not overwrite it.");
      return;
    }
    files_.CreateDirectories(folder);
    files_.CopyFile(from, target);
    ++copied_;
    if (report_) report_->FileInstalled(target.string());
  }

  // A file or a folder with everything in it; the mod's side is a stranger's
  // and its links and special files are refused.
  void CopyTree(const fs::path& from, const fs::path& folder, const std::string& name, bool overwrite) {
    switch (KindOf(from)) {
      case Kind::File: return CopyFile(from, folder, name, overwrite);
      case Kind::Folder: break;
      default: throw EBuildStepFailed("\"" + from.string() + "\" is a link or special file; it is not installed.");
    }
    const fs::path target = files_.Child(folder, name);
    files_.CreateDirectories(target);
    std::vector<fs::path> children;
    for (const auto& entry : fs::directory_iterator(from)) children.push_back(entry.path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
      Cancelled();
      CopyTree(child, target, child.filename().string(), overwrite);
    }
  }

  void Copy(const PlannedOp& op) {
    const fs::path folder = GameFolder(op.destination);
    copied_ = 0;
    if (op.gamePattern) {
      const auto matches = GameGlob(*op.gamePattern);
      if (matches.empty()) return FoundNothing(op);
      for (const fs::path& match : matches) {
        CopyTree(files_.HostPath(match), folder, match.filename().string(), op.overwrite);
        if (op.move && files_.IsFile(match)) files_.RemoveFile(match);
      }
    } else {
      for (const TreeItem& item : op.items) CopyTree(item.real, folder, item.parts.back(), op.overwrite);
    }
    Say(op.step + ": " + Counted(copied_, "file") + " into \"" +
        (op.destination.parts.empty() ? std::string(".") : Joined(op.destination.parts)) + "\".");
  }

  void Delete(const PlannedOp& op) {
    int removed = 0;
    const auto matches = GameGlob(*op.gamePattern);
    if (matches.empty()) return FoundNothing(op);
    for (const fs::path& match : matches) {
      if (!files_.IsFile(match)) continue;
      files_.RemoveFile(match);
      ++removed;
    }
    Say(op.step + ": " + Counted(removed, "file") + " removed.");
  }

  void Rename(const PlannedOp& op) {
    const auto matches = GameGlob(*op.gamePattern);
    if (matches.empty()) return FoundNothing(op);
    for (const fs::path& match : matches) {
      const fs::path target = match.parent_path() / op.newName;
      if (files_.Exists(target) && !SameName(target.filename().string(), match.filename().string()))
        throw EBuildStepFailed(op.step + ": \"" + target.lexically_relative(game_).generic_string() +
                               "\" exists already; nothing is renamed over it.");
      files_.Rename(match, target);
    }
  }

  void DelDuplicate(const PlannedOp& op) {
    const fs::path folder = GameFolder(op.destination);
    if (!files_.IsDirectory(folder)) return;
    const std::vector<std::string> names = files_.List(folder);
    auto stemAndExtension = [](const std::string& name) {
      const fs::path p(name);
      return std::make_pair(FoldCase(p.stem().string()), FoldCase(p.extension().string()));
    };
    int removed = 0;
    for (const std::string& name : names) {
      const auto [stem, extension] = stemAndExtension(name);
      if (extension != FoldCase(op.extension)) continue;
      const bool twin = std::any_of(names.begin(), names.end(), [&](const std::string& other) {
        const auto [otherStem, otherExtension] = stemAndExtension(other);
        return otherStem == stem && otherExtension != extension &&
               std::find(std::begin(kTextureExtensions), std::end(kTextureExtensions), otherExtension) !=
                   std::end(kTextureExtensions);
      });
      if (!twin) continue;
      files_.RemoveFile(folder / name);
      ++removed;
    }
    Say(op.step + ": " + Counted(removed, "duplicate") + " removed.");
  }

  void Patcher(const PlannedOp& op) {
    const fs::path data = files_.Child(op.modFolder, "veypatchdata");
    TNamespaces types(files_, data);
    std::string iniName(kDefaultIniName), typeId;
    fs::path dataPath = data;
    const std::string& wanted = op.installationType;
    const bool position = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    if (types.Load()) {
      const auto& ids = types.NamespaceIds();
      int index = -1;
      if (wanted.empty()) {
        if (ids.size() != 1)
          throw EBuildStepFailed(op.step + ": the mod has " + std::to_string(ids.size()) +
                                 " installation types and the build names none.");
        index = 0;
      } else if (position) {
        index = wanted.size() < 6 ? std::stoi(wanted) : -1;
      } else {
        for (int i = 0; i < static_cast<int>(ids.size()) && index < 0; ++i) {
          types.Select(i);
          if (SameName(types.GetNamespaceIni(), wanted)) index = i;
        }
      }
      if (index < 0 || index >= static_cast<int>(ids.size()))
        throw EBuildStepFailed(op.step + ": the mod has no installation type \"" + wanted + "\".");
      types.Select(index);
      typeId = ids[index];
      iniName = types.GetNamespaceIni();
      dataPath = types.GetNamespacePath();
    } else if (!wanted.empty() && !position) {
      iniName = wanted;
    }
    std::ostringstream quiet;
    platform::Console console{&quiet, nullptr, false};
    platform::HeadlessMessageBoxes messages(console, true);
    platform::HeadlessOpenDialog openDialog(nullptr);
    platform::GivenFolder chooser(game_.string());
    platform::EmptyRegistry registry;
    platform::HeadlessEventPump events;
    PatcherPlatform bundle{openDialog, chooser, registry, events, messages, files_};
    std::string appPath = op.modFolder.lexically_normal().string();
    if (appPath.back() != '/') appPath += '/';
    std::string dataText = dataPath.lexically_normal().string();
    if (dataText.back() != '/') dataText += '/';
    TVEYPatcher patcher(iniName, bundle, appPath, dataText);
    platform::RichTextLog richLog;
    patcher.RichLog = &richLog;
    patcher.Report = report_;
    if (s_.onLogLine) patcher.OnLogLine = s_.onLogLine;
    // The build's run holds the journal and the lock; the installer's
    // changes are recorded in it with the mod's other steps.
    patcher.RunOptions.journal = false;
    patcher.RunOptions.installationType = typeId;
    patcher.RunOptions.cancel = s_.cancel;
    TRunResult result;
    patcher.Run(result);
    result_.warnings += std::max<int>(result.Warnings, patcher.WarningCount());
    result_.errors += std::max<int>(result.Errors, patcher.ErrorCount());
    try {
      richLog.SaveToFile(fs::path(appPath) / "installlog.rtf");
    } catch (const Exception&) {
      // A log that cannot be saved leaves the installation as it is.
    }
  }

  const ModPlan& plan_;
  const BuildRunSetting& s_;
  platform::GameFileSystem& files_;
  fs::path game_;
  TRunReport* report_;
  BuildModRun result_;
  int copied_ = 0;
};

}  // namespace

std::string BuildRunInstructionText(const BuildMod& mod) { return "build: " + mod.name; }

std::string PlanDigest(const ModPlan& plan) {
  Sha256 digest;
  auto add = [&](const std::string& text) {
    digest.Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    digest.Update(std::span(reinterpret_cast<const std::uint8_t*>("\n"), 1));
  };
  add(plan.mod->guid + "\t" + plan.mod->name);
  for (const fs::path& download : plan.downloads) {
    std::string sha;
    try {
      sha = platform::LooksLikeArchive(download) ? platform::ArchiveSha256(download, platform::ModCacheHome())
                                                 : Sha256OfFile(download);
    } catch (const Exception&) {
      sha = "unreadable";
    }
    add(download.filename().string() + "\t" + sha);
  }
  for (const PlannedOp& op : plan.ops) {
    std::string line = op.step + "\t" + std::to_string(static_cast<int>(op.kind)) + "\t" +
                       Joined(op.destination.parts) + "\t" + op.newName + "\t" + op.extension + "\t" +
                       op.installationType + "\t" + (op.overwrite ? "1" : "0");
    if (op.gamePattern) line += "\t" + Joined(op.gamePattern->parts);
    for (const TreeItem& item : op.items) line += "\t" + Joined(item.parts);
    add(line);
  }
  return digest.HexDigest();
}

BuildModRun RunBuildMod(const ModPlan& plan, const std::string& digest, const BuildRunSetting& s) {
  BuildModRun run;
  const BuildMod& mod = *plan.mod;
  const fs::path game = fs::path(s.gameFolder).lexically_normal();
  std::optional<TRunHistory> history;
  std::unique_ptr<platform::RunJournal> journal;
  std::optional<TRunReport> ownReport;
  TRunReport* report = s.report;
  try {
    if (s.journal) {
      history.emplace(game.string());
      history->Lock(mod.name);
      // What a kill cut short is settled before anything else changes.
      history->RecoverUnfinished();
      platform::RunRecord header;
      // The run's folder is named after the mod.
      header.modFolder = (game / mod.name).string();
      header.instructionFile = BuildRunInstructionText(mod);
      header.instructionSha256 = digest;
      // Captions are the instruction files' text, in their code page; history shows them converted.
      header.caption = Utf8ToWin1252(mod.name);
      header.journal = platform::ReadJournalIdentity(game);
      journal = std::make_unique<platform::RunJournal>(s.files, game, header);
      if (!report) {
        ownReport.emplace(s.files, false);
        ownReport->SetGameFolder(game.string());
        report = &*ownReport;
      }
    }
  } catch (const ERunRefused& e) {
    run.verdict = e.Code() == kRefusedLocked ? "locked" : "failed";
    run.message = e.what();
    return run;
  } catch (const Exception& e) {
    run.verdict = "failed";
    run.message = e.what();
    return run;
  }
  s.files.AddWritableRoot(game);
  // No spelling of the journal and no link into it is a target.
  s.files.AddGuardedFolder(platform::JournalHome(game));
  try {
    run = Runner(plan, s, report).Run();
    if (journal) {
      const std::string text = PlacesText(report->Places());
      try {
        WriteFileAtomic(journal->Folder() / kPlacesFile,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
      } catch (const Exception&) {
        // Without it the run stays undoable; only the conflict report misses it.
      }
      if (ownReport) ownReport->Detach();
      journal->Finish(run.verdict);
      run.runId = journal->Record().id;
    }
  } catch (const Exception& e) {
    run.verdict = dynamic_cast<const ECancelled*>(&e) ? "cancelled" : "failed";
    run.message = e.what();
    if (journal) {
      if (ownReport) ownReport->Detach();
      const platform::RollbackResult r = journal->RollBack();
      if (s.say)
        s.say("Rolled back: " + std::to_string(r.restored) + " files put back and " + std::to_string(r.removed) +
              " new files and folders removed.");
    }
  }
  return run;
}

}  // namespace vey::modlist
