// UReplay: the checks, the kept versions and the rollback of a replay.
#include "engine/run/UReplay.h"
#include "platform/GameLinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/Sha256.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "engine/run/UTransaction.h"
#include "platform/JournalDir.h"
#include "platform/RunRecords.h"

namespace vey {
namespace fs = std::filesystem;
namespace {

using platform::EntryType;
using platform::JournalFolder;
namespace journal = platform::journal;

// What Keep kept, written last: without it the replay had changed nothing.
constexpr std::string_view kKeptList = journal::kKeptList;

JournalFolder Home(const fs::path& game) { return JournalFolder::Home(game, false); }

// A hard link where the file system allows one, else a copy: the kept
// version must not change when the game file is replaced.
bool KeepFile(const fs::path& from, const JournalFolder& to, const std::string& name) {
  if (::linkat(AT_FDCWD, from.c_str(), to.Fd(), name.c_str(), 0) == 0) return true;
  std::error_code ec;
  fs::copy_file(from, to.Through(name), fs::copy_options::overwrite_existing, ec);
  return !ec;
}

// A run's record: its old versions by link (they are only ever renamed), its
// text files by copy, so that nothing written to them while the run is
// undone reaches the kept record. Anything but files and folders in the
// record is refused by name.
void KeepTree(const JournalFolder& from, const JournalFolder& to, bool link) {
  for (const std::string& name : from.List()) {
    const EntryType type = from.TypeOf(name);
    if (type == EntryType::kFolder) {
      KeepTree(*from.Folder(name), to.MakeFolder(name), link || name == journal::kPreFolder);
    } else if (type != EntryType::kFile) {
      from.Refuse(name, type, "a file or a folder");
    } else if (link) {
      if (::linkat(from.Fd(), name.c_str(), to.Fd(), name.c_str(), 0) != 0) {
        std::error_code ec;
        fs::copy_file(from.Through(name), to.Through(name), fs::copy_options::overwrite_existing, ec);
        if (ec) throw EFCreateError(FormatMsg("Cannot keep \"%s\". %s", {PathText(from.PathOf(name)), ec.message()}));
      }
    } else {
      to.WriteText(name, from.ReadText(name).value_or(""));
    }
  }
}

// Puts a kept file back in one rename; across file systems (a linked
// override folder on another disk) by a copy beside the target first.
bool Restore(const JournalFolder& files, const std::string& name, const fs::path& target) {
  const EntryType type = files.TypeOf(name);
  // Gone already: a put-back cut short moved it into place.
  if (type == EntryType::kMissing) return true;
  // Only a plain file was ever kept: a link would land in the game.
  if (type != EntryType::kFile) return false;
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (::renameat(files.Fd(), name.c_str(), AT_FDCWD, target.c_str()) == 0) return true;
  const fs::path temp = target.string() + ".vey-replay.tmp";
  fs::copy_file(files.Through(name), temp, fs::copy_options::overwrite_existing, ec);
  if (ec) return false;
  struct stat st {};
  if (::fstatat(files.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) ::chmod(temp.c_str(), st.st_mode & 07777);
  return ::rename(temp.c_str(), target.c_str()) == 0;
}

struct State {
  bool exists = false;
  std::string sha256;
};

State Present(const fs::path& path) {
  State s;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
  s.exists = true;
  try {
    s.sha256 = Sha256OfFile(path);
  } catch (const Exception&) {
  }
  return s;
}

}  // namespace

TReplay::TReplay(TRunHistory& history, fs::path gameFolder)
    : history_(history), game_(std::move(gameFolder)), keep_(platform::JournalHome(game_) / platform::journal::kReplayFolder) {}

TReplay::~TReplay() = default;

bool TReplay::Plan(const std::string& id, std::vector<std::string>& refusals, const std::set<std::string>& replaced) {
  const std::vector<platform::RunRecord> runs = history_.Runs();
  auto it = std::find_if(runs.begin(), runs.end(), [&](const auto& r) { return r.Finished() && r.id == id; });
  if (it == runs.end()) return false;
  target_ = *it;
  later_.clear();
  sources_.clear();
  asked_.clear();
  for (++it; it != runs.end(); ++it) {
    // Its changes may lie over the run's: undoing the run beneath it would
    // mix the two.
    if (it->Damaged())
      refusals.push_back(FormatMsg("Run %s, installed after it, cannot be used: its record is damaged (see history).",
                                   {it->id}));
    else if (it->Finished())
      later_.push_back(*it);
  }

  std::error_code ec;
  if (Home(game_).TypeOf(journal::kReplayFolder) != EntryType::kMissing)
    refusals.push_back(FormatMsg("An earlier replay did not finish; the files it kept are in %s.", {keep_.string()}));

  const fs::path runsFolder = platform::JournalHome(game_) / journal::kRunsFolder;
  for (const platform::RunRecord& run : later_) {
    if (replaced.count(run.id)) {
      sources_.emplace_back();
      continue;
    }
    std::string problem;
    std::optional<TRunSource> source = ReadRunSource(runsFolder / run.id, problem);
    if (!source) {
      refusals.push_back(FormatMsg("Run %s cannot be installed again: %s.", {run.id, problem}));
      sources_.emplace_back();
      continue;
    }
    // The record lies in the game folder: what it asks beyond the mod's own
    // install is the person's to give, never the record's.
    for (const TRecordRight& right : RightsAsked(*source)) {
      asked_.emplace_back(run.id, right);
      if (!RightGiven(right, granted_)) refusals.push_back(RightRefusal(right, run.id));
    }
    if (!source->archive.empty()) {
      if (!fs::is_regular_file(source->archive, ec))
        refusals.push_back(FormatMsg("The archive of run %s is missing: %s", {run.id, source->archive}));
      else if (Sha256OfFile(source->archive) != source->archiveSha256)
        refusals.push_back(FormatMsg("The archive of run %s is not the one installed: %s", {run.id, source->archive}));
    }
    if (!fs::is_directory(source->modFolder, ec))
      refusals.push_back(FormatMsg("The mod of run %s is missing: %s", {run.id, source->modFolder}));
    else if (!ModDigests(source->modFolder).Matches(source->digest))
      refusals.push_back(FormatMsg("The files of the mod of run %s changed since it was installed: %s",
                                   {run.id, source->modFolder}));
    sources_.push_back(std::move(*source));
  }

  // Undoing puts back old versions over what the runs left; a file changed
  // since by anything else would lose that change.
  std::map<std::string, std::pair<const platform::JournalFile*, const std::string*>> last;
  last.clear();
  for (const platform::JournalFile& f : target_.files) last[f.path] = {&f, &target_.id};
  for (const platform::RunRecord& run : later_)
    for (const platform::JournalFile& f : run.files) last[f.path] = {&f, &run.id};
  for (const auto& [path, wrote] : last) {
    const State now = Present(game_ / path);
    const platform::JournalFile& f = *wrote.first;
    if (now.exists != f.existsAfter || (now.exists && now.sha256 != f.sha256After))
      refusals.push_back(FormatMsg("%s changed after run %s.", {path, *wrote.second}));
  }
  return true;
}

void TReplay::Keep() {
  const JournalFolder home = Home(game_);
  const JournalFolder keep = home.MakeFolder(journal::kReplayFolder);
  const JournalFolder files = keep.MakeFolder(journal::kKeptFiles);
  const JournalFolder runs = keep.MakeFolder(journal::kKeptRuns);
  std::set<std::string> paths;
  for (const platform::JournalFile& f : target_.files) paths.insert(f.path);
  for (const platform::RunRecord& run : later_)
    for (const platform::JournalFile& f : run.files) paths.insert(f.path);
  kept_.clear();
  for (const std::string& path : paths) {
    // What a record names is kept only from inside the game folder.
    if (auto why = platform::LinkOutOfGame(game_, path)) throw EPathError(*why);
    const fs::path file = game_ / path;
    struct stat st {};
    const bool exists = ::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (exists && !KeepFile(file, files, std::to_string(kept_.size())))
      throw EFCreateError(FormatMsg("Cannot keep a copy of \"%s\" before the replay.", {file.string()}));
    kept_.push_back({path, exists});
  }
  const std::optional<JournalFolder> runsFolder = home.Folder(journal::kRunsFolder);
  std::vector<const platform::RunRecord*> undone{&target_};
  for (const platform::RunRecord& run : later_) undone.push_back(&run);
  for (const platform::RunRecord* run : undone) {
    const std::optional<JournalFolder> record = runsFolder ? runsFolder->Folder(run->id) : std::nullopt;
    if (!record)
      throw EFCreateError(FormatMsg("Cannot keep a copy of the record of run %s before the replay.", {run->id}));
    KeepTree(*record, runs.MakeFolder(run->id), false);
  }
  idsBefore_.clear();
  for (const platform::RunRecord& run : history_.Runs()) idsBefore_.push_back(run.id);
  // Written down whole before anything changes, so that a kill later on can
  // be reversed by the next start.
  std::string text = "target\t" + platform::EscapeRecordText(target_.id) + "\n";
  // The journal it belongs to: a replay folder of another game folder is
  // never put back here.
  text += "journal\t" + platform::ReadJournalIdentity(game_) + "\n";
  for (const std::string& id : idsBefore_) text += "run\t" + platform::EscapeRecordText(id) + "\n";
  for (const KeptFile& f : kept_)
    text += std::string("file\t") + (f.existed ? "1" : "0") + "\t" + platform::EscapeRecordText(f.path) + "\n";
  keep.WriteText(kKeptList, text);
}

bool TReplay::ReadKept() {
  target_ = {};
  idsBefore_.clear();
  kept_.clear();
  const std::optional<JournalFolder> keep = Home(game_).Folder(journal::kReplayFolder);
  if (!keep) return false;
  for (const std::string& line : keep->ReadLines(kKeptList)) {
    const auto f = platform::journal::SplitTabs(line);
    const auto value = platform::journal::Unescape(f.back());
    if (!value) return false;
    if (f.size() == 2 && f[0] == "target") {
      target_.id = *value;
    } else if (f.size() == 2 && f[0] == "journal") {
      // Kept before journals had ids: no line, and this folder's.
      if (*value != platform::ReadJournalIdentity(game_)) return false;
    } else if (f.size() == 2 && f[0] == "run") {
      idsBefore_.push_back(*value);
    } else if (f.size() == 3 && f[0] == "file" && (f[1] == "0" || f[1] == "1") &&
               !platform::journal::PathProblem(*value)) {
      kept_.push_back({*value, f[1] == "1"});
    } else {
      return false;
    }
  }
  return !target_.id.empty();
}

std::vector<std::string> TReplay::Undo() {
  try {
    Keep();
  } catch (const Exception&) {
    // Nothing was changed yet; a half-kept copy would only block the next try.
    Done();
    throw;
  }
  std::vector<const platform::RunRecord*> order;
  for (auto it = later_.rbegin(); it != later_.rend(); ++it) order.push_back(&*it);
  order.push_back(&target_);
  std::vector<std::string> problems;
  try {
    for (const platform::RunRecord* run : order) {
      const platform::RollbackResult r = history_.Undo(*run);
      if (r.problems.empty()) continue;
      problems = r.problems;
      break;
    }
  } catch (const Exception& e) {
    problems.push_back(e.what());
  }
  if (problems.empty()) return {};
  for (const std::string& p : PutBack()) problems.push_back(p);
  return problems;
}

std::vector<std::string> TReplay::RollBack() {
  std::vector<std::string> problems;
  const std::vector<platform::RunRecord> runs = history_.Runs();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (std::find(idsBefore_.begin(), idsBefore_.end(), run->id) != idsBefore_.end()) continue;
    try {
      const platform::RollbackResult r = history_.Undo(*run);
      problems.insert(problems.end(), r.problems.begin(), r.problems.end());
    } catch (const Exception& e) {
      problems.push_back(e.what());
    }
  }
  for (const std::string& p : PutBack()) problems.push_back(p);
  return problems;
}

std::vector<std::string> TReplay::PutBack() {
  std::vector<std::string> problems;
  std::error_code ec;
  const JournalFolder home = Home(game_);
  const std::optional<JournalFolder> keep = home.Folder(journal::kReplayFolder);
  if (!keep) return {keep_.string() + " is missing"};
  const std::optional<JournalFolder> files = keep->Folder(journal::kKeptFiles);
  for (std::size_t n = 0; n < kept_.size(); ++n) {
    if (auto why = platform::LinkOutOfGame(game_, kept_[n].path)) {
      problems.push_back(*why);
      continue;
    }
    const fs::path target = game_ / kept_[n].path;
    if (kept_[n].existed) {
      if (!files || !Restore(*files, std::to_string(n), target)) problems.push_back(kept_[n].path);
    } else if (fs::exists(fs::symlink_status(target, ec)) && !fs::remove(target, ec)) {
      problems.push_back(kept_[n].path);
    }
  }
  const JournalFolder runs = home.MakeFolder(journal::kRunsFolder);
  if (const std::optional<JournalFolder> kept = keep->Folder(journal::kKeptRuns)) {
    for (const std::string& name : kept->List()) {
      // Only records the replay kept go back: folders.
      if (kept->TypeOf(name) != EntryType::kFolder) {
        problems.push_back(kept->PathOf(name).string() + " is not a kept record");
        continue;
      }
      try {
        runs.Remove(name);
        kept->Rename(name, runs, name);
      } catch (const Exception&) {
        problems.push_back(runs.PathOf(name).string());
      }
    }
  }
  // What could not be put back stays where it was kept, for the person.
  if (problems.empty()) Drop();
  return problems;
}

void TReplay::Done() { Drop(); }

void TReplay::Drop() {
  // The list first: a kill while the rest goes leaves copies, not a replay
  // to reverse with half of them.
  const JournalFolder home = Home(game_);
  if (home.TypeOf(journal::kReplayFolder) == EntryType::kFolder) home.Folder(journal::kReplayFolder)->Remove(kKeptList);
  home.Remove(journal::kReplayFolder);
}

std::optional<std::string> TReplay::RecoverCutShort(TRunHistory& history, const fs::path& gameFolder) {
  TReplay replay(history, gameFolder);
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  if (!home) return std::nullopt;
  // Anything but a folder at replay/, or but a file at its list, is refused
  // by name: it was never a replay's.
  const std::optional<JournalFolder> keep = home->Folder(journal::kReplayFolder);
  if (!keep) return std::nullopt;
  const EntryType list = keep->TypeOf(kKeptList);
  if (list == EntryType::kMissing) {
    replay.Drop();
    return std::nullopt;
  }
  if (list != EntryType::kFile) keep->Refuse(kKeptList, list, "a file");
  const auto refuse = [&](const std::string& why) {
    throw ERunRefused(FormatMsg("An uninstall with --replay was cut short and cannot be reversed: %s. Nothing more "
                                "was changed, and no installation can start until this is settled. What it kept is "
                                "in %s; once the game's files are as they should be, remove that folder.",
                                {why, replay.keep_.string()}),
                      kRefusedJournal);
  };
  if (!replay.ReadKept()) refuse(std::string(kKeptList) + " is damaged or of another game folder's journal");
  // Checked whole before anything is acted on: the runs before it name the
  // run it was taking out, and what it kept are plain files and folders.
  if (std::find(replay.idsBefore_.begin(), replay.idsBefore_.end(), replay.target_.id) == replay.idsBefore_.end())
    refuse(std::string(kKeptList) + " does not hold together (its run is not among the runs before it)");
  const std::optional<JournalFolder> files = keep->Folder(journal::kKeptFiles);
  for (std::size_t n = 0; n < replay.kept_.size(); ++n) {
    const EntryType type = files ? files->TypeOf(std::to_string(n)) : EntryType::kMissing;
    if (replay.kept_[n].existed && type != EntryType::kFile && type != EntryType::kMissing)
      files->Refuse(std::to_string(n), type, "a file");
  }
  if (const std::optional<JournalFolder> runs = keep->Folder(journal::kKeptRuns))
    for (const std::string& name : runs->List())
      if (const EntryType type = runs->TypeOf(name); type != EntryType::kFolder) runs->Refuse(name, type, "a folder");
  std::vector<std::string> problems = replay.RollBack();
  if (!problems.empty()) {
    std::string list;
    for (const std::string& p : problems) list += (list.empty() ? "" : ", ") + p;
    refuse("these could not be put back: " + list);
  }
  return replay.target_.id;
}

}  // namespace vey
