// UCompileList: the CompileList, which puts install-time values into the mod's
// script sources, compiles them with the compiler the mod ships, installs the
// compiled scripts into override or archives and restores the sources.
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/support/UProgramOutput.h"
#include "engine/support/URunReport.h"
#include "engine/run/UTransaction.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/RunJournal.h"
#include "formats/UERFHandler.h"

namespace vey {
namespace {

using Path = platform::GameFileSystem::Path;

constexpr std::string_view kCompilerName = "nwnnsscomp.exe";

// "a.b.nss" -> "a.b.ncs"; a name without extension gains one.
std::string WithNcsExtension(std::string_view name) {
  std::size_t cut = name.find_last_of("/\\");
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (cut != std::string_view::npos && dot < cut))
    return std::string(name) + ".ncs";
  return std::string(name.substr(0, dot)) + ".ncs";
}

bool HasStartFunction(std::string_view line) {
  const std::string lower = AsciiLowerCopy(line);
  for (std::string_view form :
       {"void main()", "void main ()", "int startingconditional()", "int startingconditional ()"})
    if (lower.find(form) != std::string::npos) return true;
  return false;
}

// Lines end at CR LF, LF or a lone CR; a last line without an end counts.
std::vector<std::string_view> SplitSourceLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The path below folder (which ends in '/'), or nullopt when it is not below it.
std::optional<std::string> RelativeInside(const std::string& path, const std::string& folder) {
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return std::nullopt;
  return path.substr(folder.size());
}

// A private copy of the data folder's script sources as the run sees them
// (the processed script among them), where the compiler can run with
// relative names while the real data folder stays untouched.
class TScratchCopy {
 public:
  TScratchCopy(platform::GameFileSystem& files, const std::string& dataFolder, const std::string& script,
               const std::string& scriptName) {
    std::string pattern = (std::filesystem::temp_directory_path() / "veypatcher-compile-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
      throw EFCreateError(FormatMsg("Cannot create folder \"%s\". %s", {pattern, SystemReason(errno)}));
    folder_ = pattern;
    // The include files a script may need: every source beside it.
    std::set<std::string> folders = {dataFolder};
    const std::size_t cut = scriptName.rfind('/');
    if (cut != std::string::npos) folders.insert(dataFolder + scriptName.substr(0, cut + 1));
    for (const std::string& from : folders) {
      const std::string into = folder_ + "/" + from.substr(dataFolder.size());
      for (const std::string& name : files.List(from)) {
        if (name.size() < 4 || !EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".nss") ||
            !files.IsFile(from + name))
          continue;
        Put(into + name, files.ReadFile(from + name));
      }
    }
    Put(folder_ + "/" + scriptName, files.ReadFile(script));
  }
  ~TScratchCopy() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TScratchCopy(const TScratchCopy&) = delete;
  TScratchCopy& operator=(const TScratchCopy&) = delete;

  const std::string& Folder() const { return folder_; }

 private:
  static void Put(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    WriteFileAtomic(path, bytes);
  }
  std::string folder_;
};

class ScriptCompiler {
 public:
  explicit ScriptCompiler(TVEYPatcher& patcher) : p_(patcher) {}
  ~ScriptCompiler();

  void Run();

 private:
  void CompileEntry(const std::string& key);
  // False when the compiled file is not there afterwards (logged).
  bool Compile(const TCompileFileInfo& info, const std::string& compiledPath);
  // A name for the compiler: under wine with Windows separators.
  std::string CompilerName(const std::string& relative) const {
    return launcher_->UnderWine() ? ReplaceAll(relative, "/", "\\") : relative;
  }
  void IntoArchive(const std::string& script, const std::string& compiledPath,
                   const std::string& ncsName, bool replace);
  void IntoOverride(const std::string& compiledPath, const std::string& ncsName, bool replace);
  void SaveArchive();
  void RestoreSources(bool keepDebugCopies);
  void Log(std::string_view pattern, std::initializer_list<std::string_view> values, LogKind kind) {
    p_.LogMessage(FormatMsg(pattern, values), kind);
  }
  platform::GameFileSystem& Files() { return p_.Files(); }

  TVEYPatcher& p_;
  std::string compilerFolder_;
  std::string compiler_;
  std::optional<TCompilerLauncher> launcher_;
  std::string defaultDestination_;
  std::unique_ptr<TERFHandler> archive_;
  std::string archivePath_;  // where archive_ belongs in the game folder
  std::vector<std::string> queuedTemps_;
  std::vector<TCompileFileInfo> prepared_;
  std::set<std::string> preparedPaths_;
  bool finished_ = false;
};

ScriptCompiler::~ScriptCompiler() {
  if (finished_) return;
  // A failure is leaving the step: what was already added to the open
  // archive is still written, and the mod's own sources are put back, so
  // that the next run starts from them and not from processed copies.
  try {
    if (archive_ && archive_->Modified()) SaveArchive();
  } catch (...) {
  }
  // Compiled scripts waiting for an archive that could not be written.
  for (const std::string& temp : queuedTemps_) {
    try {
      Files().RemoveFile(temp);
    } catch (...) {
    }
  }
  try {
    Files().RemoveEmptyDirectory(p_.DataPath() + "erfpatch_temp/");
  } catch (...) {
  }
  try {
    RestoreSources(false);
    Files().RemoveEmptyDirectory(p_.DataPath() + "nsspatch_temp/");
  } catch (...) {
  }
}

void ScriptCompiler::Run() {
  TQK_Inifile& ini = p_.IniFile();
  const std::vector<std::string> keys = ini.ReadSection("CompileList");
  if (keys.empty()) {
    finished_ = true;
    return;
  }
  p_.LogMessage("Modifying and compiling scripts...", LogKind::Install);
  // The compiler lives beside the installer even when a namespace picked
  // another data folder.
  compilerFolder_ = p_.AppPath() + "veypatchdata/";
  try {
    compiler_ = Files().Child(compilerFolder_, kCompilerName).string();
  } catch (const EPathError& e) {
    // The mod's compiler is a link to some program outside the mod.
    Log("%s Unable to compile scripts!", {e.what()}, LogKind::Error);
    finished_ = true;
    return;
  }
  if (p_.Compiler.Compiler.empty() && !Files().IsFile(compiler_)) {
    p_.LogMessage(
        "Could not locate nwnsscomp.exe in the VEYPatchData folder! Unable to compile scripts!",
        LogKind::Error);
    finished_ = true;
    return;
  }
  launcher_.emplace(Files(), p_.Compiler, compiler_, p_.DataPath(),
                    [this](std::string_view text, int kind) { p_.LogMessage(text, static_cast<LogKind>(kind)); });
  if (!launcher_->Prepare()) {
    finished_ = true;
    return;
  }
  Files().CreateDirectories(p_.DataPath() + "nsspatch_temp/");
  defaultDestination_ = ini.ReadString("CompileList", "!DefaultDestination", "override");

  for (const std::string& key : keys) {
    if (EqualsNoCase(key, "!DefaultDestination")) continue;
    try {
      CompileEntry(key);
    } catch (const EPathError& e) {
      // A link out of the data folder met on the way: this script is refused.
      Log("%s Skipping \"%s\"...", {e.what(), ini.ReadString("CompileList", key, "")}, LogKind::Error);
    }
    p_.AdvanceProgress(1);
  }
  if (archive_) {
    SaveArchive();
    archive_.reset();
  }
  RestoreSources(ini.ReadBool("Settings", "SaveProcessedScripts", false));
  finished_ = true;
  try {
    Files().RemoveEmptyDirectory(p_.DataPath() + "nsspatch_temp/");
  } catch (const Exception&) {
  }
}

void ScriptCompiler::CompileEntry(const std::string& key) {
  TQK_Inifile& ini = p_.IniFile();
  TPatchFileHandler& handler = p_.FileHandler;
  const std::string script = ini.ReadString("CompileList", key, "");
  p_.SetCurrentFile(script);
  const bool replace = StartsWithNoCase(key, "replace");
  const std::string destination = ini.SectionExists(script)
                                      ? ini.ReadString(script, "!Destination", defaultDestination_)
                                      : defaultDestination_;
  const std::string saveAs = p_.GetSaveAsName(script);
  // The script and its compiled file are joined to the data folder and an
  // archive destination to the game folder; none may lead out of it.
  const std::pair<std::string_view, const std::string*> checked[] = {
      {"name", &script}, {"name", &saveAs}, {"destination", &destination}};
  for (const auto& [what, value] : checked) {
    if (!platform::GameFileSystem::IsContained(*value)) {
      Log(HasControlCharacter(*value)
              ? "Refusing to compile \"%s\": the %s \"%s\" holds a control character. Skipping..."
              : "Refusing to compile \"%s\": the %s \"%s\" leads outside its folder. Skipping...",
          {script, what, *value}, LogKind::Error);
      return;
    }
  }
  if (!handler.LocateFile(script, fkScript, destination, replace)) return;
  if (!handler.InstallerMode && !EqualsNoCase(destination, "override")) {
    // A source picked by hand says nothing about the destination archive:
    // find it in the game folder as an installation would.
    auto archive = handler.JoinInside(handler.GetGameFolder(), destination);
    if (!archive) return;
    if (!TERFHandler::IsArchiveFile(Files().HostPath(*archive))) {
      Log("Unable to locate archive \"%s\" to insert script \"%s\" into, skipping...",
          {PathText(*archive), script}, LogKind::Error);
      return;
    }
    handler.DestinationPath = *archive;
  }

  const std::string sourcePath = handler.GetFilePath();
  // A script listed twice is prepared once: preparing it again would make
  // the processed text the copy that is restored afterwards.
  TCompileFileInfo info;
  if (preparedPaths_.insert(sourcePath).second) {
    info = p_.PrepareScript(sourcePath);
    prepared_.push_back(info);
  } else {
    for (const TCompileFileInfo& earlier : prepared_)
      if (earlier.ScriptPath == sourcePath) info = earlier;
  }
  Log("Replacing tokens in script %s...", {LastComponent(info.ScriptPath)}, LogKind::Debug);

  const std::string compiledPath =
      Files().Resolve(p_.DataPath(), WithNcsExtension(saveAs)).string();
  const std::string ncsName = LastComponent(compiledPath);
  if (info.IsInclude) {
    Log("Script \"%s\" has no start function, assuming include file. Compile skipped...",
        {handler.FileName}, LogKind::Debug);
    return;
  }
  if (!Compile(info, compiledPath)) return;
  if (EqualsNoCase(destination, "override"))
    IntoOverride(compiledPath, ncsName, replace);
  else
    IntoArchive(script, compiledPath, ncsName, replace);
}

bool ScriptCompiler::Compile(const TCompileFileInfo& info, const std::string& compiledPath) {
  const std::string scriptName = LastComponent(info.ScriptPath);
  const auto pump = [this] {
    p_.Platform().events.ProcessMessages();
    // Stopping is not left for the end of a long wine set-up or compile.
    if (p_.RunOptions.cancel && p_.RunOptions.cancel->load()) throw ECancelled("The installation was interrupted.");
  };
  launcher_->SetUpWine(pump);
  Log("Compiling modified script %s...", {scriptName}, LogKind::Install);
  // The compiler runs in the data folder and is given names relative to it:
  // it cuts an include file's path at the first dot of any folder name, so
  // no folder name may reach it. A dry run keeps the processed script
  // elsewhere; the compiler then runs in a scratch copy of the data folder,
  // and a script picked by hand outside the data folder is compiled there too.
  const std::string output = Files().BeforeWrite(compiledPath).string();
  std::optional<std::string> sourceName = RelativeInside(info.ScriptPath, p_.DataPath());
  std::optional<std::string> outputName = RelativeInside(compiledPath, p_.DataPath());
  const bool inPlace = sourceName && outputName && Files().HostPath(info.ScriptPath).string() == info.ScriptPath &&
                       output == compiledPath;
  std::optional<TScratchCopy> copy;
  std::string workDir = p_.DataPath();
  if (!inPlace) {
    if (!sourceName) sourceName = scriptName;
    if (!outputName) outputName = LastComponent(compiledPath);
    copy.emplace(Files(), p_.DataPath(), info.ScriptPath, *sourceName);
    workDir = copy->Folder();
  }
  // The flags are split as the compiler would split its own command line.
  std::vector<std::string> arguments;
  for (std::string& flag :
       SplitWindowsCommandLine(p_.IniFile().ReadString("Settings", "ScriptCompilerFlags", "")))
    arguments.push_back(std::move(flag));
  for (const std::string& a : {std::string("-c"), CompilerName(*sourceName), std::string("-o"),
                               CompilerName(*outputName)})
    arguments.push_back(a);
  // Only what this compile makes counts: an earlier file in the output's
  // place would pass for it when the compile fails.
  if (inPlace) {
    try {
      Files().RemoveFile(compiledPath);
    } catch (const Exception&) {
      // Not a file (a folder): the output is refused after the compile.
    }
  }
  const std::optional<TCompilerLauncher::TCompileRun> run = launcher_->Compile(arguments, workDir, pump);
  if (!run) {
    Files().WriteDone(compiledPath);
    Log("Unable to compile script %s: %s. Skipping...", {scriptName, launcher_->Problem()}, LogKind::Error);
    return false;
  }
  // The compiler's output is read as a stranger's, wherever it ran, and
  // what is installed is a copy of the installer's own making: a link or a
  // FIFO left in the output's place is refused, never followed.
  const TProgramOutput made = ReadProgramOutput(workDir, *outputName, kMaxCompiledScript);
  if (made.state == TProgramOutput::State::Read) {
    std::error_code ec;
    if (!inPlace) std::filesystem::create_directories(std::filesystem::path(output).parent_path(), ec);
    WriteFileAtomic(output, made.bytes);
  }
  // The compiler wrote into the data folder behind the file system's back.
  Files().ForgetListings();
  if (made.state == TProgramOutput::State::Refused && inPlace) {
    try {
      Files().RemoveFile(compiledPath);
    } catch (const Exception&) {
    }
  }
  Files().WriteDone(compiledPath);
  const bool compiled = made.state == TProgramOutput::State::Read;

  // Every line it printed, in order; a final line break ends the last line
  // rather than starting an empty one. When nothing was compiled they say
  // why, so they are shown with the error whatever the log level.
  const LogKind said = compiled ? LogKind::Debug : LogKind::Install;
  const std::string& printed = run->output;
  std::size_t start = 0;
  while (start < printed.size()) {
    std::size_t end = printed.find('\n', start);
    if (end == std::string::npos) end = printed.size();
    Log("NWNNSSComp says: %s", {ReplaceAll(std::string_view(printed).substr(start, end - start), "\r", "")}, said);
    start = end + 1;
  }
  if (!compiled && printed.empty() && !run->wineMessage.empty())
    Log("Wine says: %s", {run->wineMessage}, LogKind::Install);

  if (made.state == TProgramOutput::State::Refused) {
    Log("The compiled version of file \"%s\" is refused: %s. Skipping...", {p_.FileHandler.FileName, made.problem},
        LogKind::Error);
    return false;
  }
  if (!compiled) {
    Log("Unable to find compiled version of file \"%s\"! The compilation probably failed! "
        "Skipping...",
        {p_.FileHandler.FileName}, LogKind::Error);
    return false;
  }
  return true;
}

void ScriptCompiler::IntoArchive(const std::string& script, const std::string& compiledPath,
                                 const std::string& ncsName, bool replace) {
  TPatchFileHandler& handler = p_.FileHandler;
  const std::string workFolder = p_.DataPath() + "erfpatch_temp/";
  Files().CreateDirectories(workFolder);
  const std::string temp = Files().Child(workFolder, ncsName).string();
  Files().RemoveFile(temp);
  Files().CopyFile(compiledPath, temp);
  Files().RemoveFile(compiledPath);

  if (handler.BackupDestination())
    Log("Saving unaltered backup copy of destination file %s in %s",
        {PathText(LastComponent(handler.DestinationPath)), PathText(handler.BackupFolder())},
        LogKind::Install);
  // Consecutive scripts for one archive are added together; it is rebuilt
  // once when the destination changes.
  if (archive_ && archivePath_ != handler.DestinationPath) {
    SaveArchive();
    archive_.reset();
  }
  if (!archive_) {
    archive_ = std::make_unique<TERFHandler>(Files().HostPath(handler.DestinationPath));
    archivePath_ = handler.DestinationPath;
  }
  const std::string archiveName = LastComponent(archive_->FileName().string());
  const bool present = archive_->HasResource(ncsName, false);
  if (replace || !present) {
    Log("Adding script \"%s\" to archive \"%s\"...", {ncsName, PathText(archiveName)}, LogKind::Install);
    if (p_.Report) {
      p_.Report->ResourceStored(archivePath_, ncsName, present);
      p_.Report->ResourceInstalled(archivePath_, ncsName);
    }
    archive_->AddResource(Files().HostPath(temp), true);
  } else {
    Log("File \"%s\" already exists in archive \"%s\", file skipped...", {ncsName, PathText(archiveName)},
        LogKind::Warning);
  }
  queuedTemps_.push_back(temp);
  p_.CheckOverride(ncsName, script, defaultDestination_, false);
}

void ScriptCompiler::IntoOverride(const std::string& compiledPath, const std::string& ncsName,
                                  [[maybe_unused]] bool replace) {
  const Path overrideFolder = Files().Child(p_.FileHandler.GetGameFolder(), "override");
  Files().CreateDirectories(overrideFolder);
  const std::string target = Files().Child(overrideFolder, ncsName).string();
  // Replacing or not, the copy takes the target's place in one rename, which
  // keeps the mode of a file it replaces.
  Files().CopyFile(compiledPath, target);
  if (p_.Report) p_.Report->FileInstalled(target);
  Files().RemoveFile(compiledPath);
}

void ScriptCompiler::SaveArchive() {
  Log("Saving changes to ERF/RIM file %s...", {PathText(LastComponent(archive_->FileName().string()))},
      LogKind::Debug);
  archive_->SaveToFile(Files().BeforeWrite(archivePath_));
  Files().WriteDone(archivePath_);
  for (const std::string& temp : queuedTemps_) Files().RemoveFile(temp);
  queuedTemps_.clear();
}

void ScriptCompiler::RestoreSources(bool keepDebugCopies) {
  for (const TCompileFileInfo& info : prepared_) {
    if (keepDebugCopies) {
      const std::string debugFolder = p_.DataPath() + "debug/";
      Files().CreateDirectories(debugFolder);
      Files().CopyFile(info.ScriptPath, Files().Child(debugFolder, LastComponent(info.ScriptPath)));
    }
    if (Files().IsFile(info.SourceCopyPath)) {
      Files().CopyFile(info.SourceCopyPath, info.ScriptPath);
      Files().RemoveFile(info.SourceCopyPath);
    }
  }
  prepared_.clear();
}

}  // namespace

TCompileFileInfo TVEYPatcher::PrepareScript(const std::string& path) {
  TCompileFileInfo info;
  info.ScriptPath = path;
  const std::string tempFolder = DataPath() + "nsspatch_temp/";
  Files().CreateDirectories(tempFolder);
  info.SourceCopyPath = Files().Child(tempFolder, LastComponent(path)).string();
  Files().CopyFile(path, info.SourceCopyPath);

  const std::vector<std::uint8_t> original = Files().ReadFile(info.SourceCopyPath);
  const std::string_view text(reinterpret_cast<const char*>(original.data()), original.size());
  std::string processed;
  processed.reserve(original.size() + original.size() / 8);
  for (std::string_view line : SplitSourceLines(text)) {
    if (HasStartFunction(line)) info.IsInclude = false;
    std::string out(line);
    // Most lines hold no token; only those are worth a pass over every slot.
    if (out.find("#2DAMEMORY") != std::string::npos)
      for (std::size_t slot = 1; slot <= Memory.size(); ++slot)
        out = ReplaceAll(out, "#2DAMEMORY" + std::to_string(slot) + "#", Memory[slot - 1]);
    if (out.find("#StrRef") != std::string::npos)
      for (const TStrRefEntry& entry : StrRefTable)
        out = ReplaceAll(out, "#StrRef" + IntToStr(entry.Token) + "#", IntToStr(entry.Value));
    processed += out;
    processed += "\r\n";
  }
  Files().WriteFile(
      path, std::span(reinterpret_cast<const std::uint8_t*>(processed.data()), processed.size()));
  return info;
}

void TVEYPatcher::ProcessCompileList() {
  // Scripts are processed in place and compiled beside their sources.
  BeforeModFilesChange();
  ScriptCompiler compiler(*this);
  compiler.Run();
}

}  // namespace vey

namespace vey {

void TVEYPatcher::RecoverScriptSources() {
  // A run cut short while compiling leaves the mod's sources with their
  // tokens replaced and the originals in "nsspatch_temp"; the next
  // preparation would copy the processed text over those originals.
  const std::string tempFolder = DataPath() + "nsspatch_temp/";
  if (!Files().IsDirectory(tempFolder)) return;
  std::unordered_map<std::string, std::string> sources;
  for (const std::string& key : IniFile().ReadSection("CompileList")) {
    if (EqualsNoCase(key, "!DefaultDestination")) continue;
    const std::string script = IniFile().ReadString("CompileList", key, "");
    std::string source = IniFile().SectionExists(script) ? IniFile().ReadString(script, "!SourceFile", "") : "";
    if (source.empty()) source = script;
    if (source.empty() || !platform::GameFileSystem::IsContained(source)) continue;
    const std::string path = Files().Resolve(DataPath(), source).string();
    sources.emplace(LastComponent(path), path);
  }
  // The processed text is saved over a source through a new file beside it;
  // one left unfinished is dropped, and the source is restored below.
  std::set<std::string> sourceFolders;
  for (const auto& [name, path] : sources) sourceFolders.insert(path.substr(0, path.size() - name.size()));
  for (const std::string& folder : sourceFolders) {
    if (!Files().IsDirectory(folder)) continue;
    for (const std::string& name : Files().List(folder)) {
      const std::size_t marker = name.rfind(".vey-");
      if (platform::IsWriterTemp(name) && marker != std::string::npos && sources.count(name.substr(0, marker)))
        Files().RemoveFile(folder + name);
    }
  }
  for (const std::string& name : Files().List(tempFolder)) {
    const std::string saved = tempFolder + name;
    // A save cut short leaves only its unfinished new file; the file it was
    // to replace is still whole.
    if (platform::IsWriterTemp(name)) {
      Files().RemoveFile(saved);
      continue;
    }
    auto source = sources.find(name);
    if (source == sources.end() || !Files().IsFile(saved)) {
      LogMessage(FormatMsg("The file %s, left by an interrupted run, belongs to no script of this mod; "
                           "it stays where it is.",
                           {saved}),
                 LogKind::Install);
      continue;
    }
    Files().CopyFile(saved, source->second);
    Files().RemoveFile(saved);
    LogMessage(FormatMsg("Restored the mod's script source %s, which an interrupted run left with its "
                         "tokens replaced.",
                         {source->second}),
               LogKind::Install);
  }
  try {
    Files().RemoveEmptyDirectory(tempFolder);
  } catch (const Exception&) {
  }
}

}  // namespace vey
