// ModListPrepare: the check of a mod list's entries.
#include "cli/ModListPrepare.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <map>

#include "cli/ModListPlace.h"
#include "cli/ModSource.h"
#include "common/PathText.h"
#include "common/Sha256.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"
#include "engine/validate/UValidator.h"
#include "platform/ModArchive.h"

namespace vey::cli {
namespace fs = std::filesystem;

int PreparedMod::Errors() const {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(), [](const auto& f) { return f.error; }));
}
int PreparedMod::Warnings() const { return static_cast<int>(findings.size()) - Errors(); }

std::string EarlierFolderSha256(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  Sha256 digest;
  for (const fs::path& file : files) {
    const std::string line = file.lexically_relative(folder).generic_string() + "\n" + Sha256OfFile(file) + "\n";
    digest.Update(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
  }
  return digest.HexDigest();
}

namespace {

class Preparer {
 public:
  Preparer(PreparedMod& mod, const ModList& list, const ListSettings& settings)
      : m_(mod), e_(*mod.entry), list_(list), settings_(settings) {}

  void Run() {
    try {
      if (!Source()) return;
      if (e_.IsCopy())
        CopyFolder();
      else
        Installer();
    } catch (const Exception& e) {
      Error(e.what());
    } catch (const CLI::ParseError& e) {
      // What would be a usage error of `install` is this entry's error: the
      // other entries are still checked and shown.
      Error(e.what());
    } catch (const std::exception& e) {
      Error(std::string("the mod could not be checked: ") + e.what());
    }
    m_.ready = m_.Errors() == 0;
  }

 private:
  void Error(std::string message) { m_.findings.push_back({true, std::move(message)}); }
  void Warning(std::string message) { m_.findings.push_back({false, std::move(message)}); }

  bool Source() {
    if (auto problem = SourcePlaceProblem(e_.sourceText, list_.file.parent_path(), settings_.trustedSources)) {
      Error(*problem);
      return false;
    }
    std::error_code ec;
    if (fs::is_directory(e_.source, ec)) {
      m_.root = e_.source;
      if (e_.sha256) Error("\"sha256\" is given, but the source \"" + e_.sourceText + "\" is a folder, not an archive");
      m_.sourceSha256 = e_.IsCopy() ? FilesDigest(e_.source) : ModDigest(e_.source);
      return true;
    }
    if (!fs::exists(e_.source, ec)) {
      Error("the source \"" + e_.sourceText + "\" does not exist");
      return false;
    }
    if (!platform::LooksLikeArchive(e_.source)) {
      Error("the source \"" + e_.sourceText + "\" is neither a folder nor an archive that can be read");
      return false;
    }
    m_.archive = true;
    if (e_.sha256) {
      const std::string actual = platform::ArchiveSha256(e_.source, platform::ModCacheHome());
      if (actual != *e_.sha256) {
        Error("the archive \"" + e_.sourceText + "\" has the SHA-256 " + actual + ", not the one the list gives");
        return false;
      }
    }
    try {
      const platform::ExtractedMod copy =
          platform::ExtractModArchive(e_.source, platform::ModCacheHome(), {}, settings_.cancel);
      fresh_ = !copy.reused;
      m_.root = copy.folder;
      m_.sourceSha256 = copy.sha256;
    } catch (const platform::EModArchive& e) {
      Error(e.what());
      return false;
    }
    return true;
  }

  void CopyFolder() {
    if (e_.in) Error("\"in\" chooses a mod folder; a \"copy\" mod names its folder with \"from\"");
    platform::GameFileSystem files;
    const std::string from = e_.copy->from == "." ? "" : e_.copy->from;
    m_.copyFrom = from.empty() ? m_.root : files.Resolve(m_.root, from);
    // A link in the source may not lead the copy out of it (to ~/.ssh, say).
    std::error_code linkEc;
    const fs::path realRoot = fs::weakly_canonical(m_.root, linkEc), realFrom = fs::weakly_canonical(m_.copyFrom, linkEc);
    const fs::path inside = realFrom.lexically_relative(realRoot);
    if (!from.empty() && (linkEc || inside.empty() || *inside.begin() == "..")) {
      Error("the folder \"" + from + "\" to copy leads through a link out of the source, to \"" + realFrom.string() +
            "\"");
      return;
    }
    if (!files.IsDirectory(m_.copyFrom)) {
      Error("the source holds no folder \"" + from + "\" to copy");
      return;
    }
    std::error_code ec;
    bool any = false;
    for (auto it = fs::recursive_directory_iterator(m_.copyFrom, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
      any = any || it->is_regular_file(ec);
    if (!any) Warning("the folder \"" + (from.empty() ? std::string(".") : from) + "\" holds no file to copy");
    m_.version.entry = e_.name;
    m_.version.copy = true;
    m_.version.digests.current = FilesDigest(m_.copyFrom);
    // Earlier versions recorded a copy by the digest of its whole source.
    m_.version.olderDigests.push_back(m_.archive ? m_.sourceSha256 : EarlierFolderSha256(e_.source));
    m_.versionKnown = true;
  }

  void Installer() {
    fs::path folder;
    try {
      folder = platform::ChooseModFolder(m_.root, e_.in);
    } catch (const platform::EModArchive& e) {
      std::string why = e.what();
      if (e.Code() == platform::kArchiveSeveralMods) why = ReplaceOption(why);
      Error(why + (e.Code() == platform::kArchiveNoMod && !e_.in ? " Give \"copy\" for loose files." : ""));
      return;
    }
    if (fresh_) {
      if (auto why = ShipsInstallerFiles(folder, m_.root)) {
        Error(*why);
        return;
      }
    }
    platform::GameFileSystem files;
    ModOptions options;
    options.modDir = folder.string();
    if (!Type(files, files.Child(folder, "veypatchdata") / "", options.namespaceId)) return;
    try {
      m_.mod = SelectMod(options, files);
    } catch (const UsageError& e) {
      Error(e.what());
      return;
    }
    const fs::path ini = m_.mod.IniPath();
    if (!files.IsFile(ini)) {
      Error("the mod has no instruction file \"" + Win1252ToUtf8(m_.mod.iniName) + "\"");
      return;
    }
    m_.instructionSha256 = Sha256OfFile(ini);
    {
      TQK_Inifile settings(ini.string());
      m_.version.entry = e_.name;
      m_.version.iniFile = ini.filename().string();
      m_.version.caption = settings.ReadString("Settings", "WindowCaption", kDefaultCaption);
      m_.version.instructionSha256 = m_.instructionSha256;
      // As the run records it.
      m_.version.installationType = Utf8ToWin1252(m_.mod.namespaceId);
      m_.version.digests = ModDigests(m_.mod.modFolder);
      m_.versionKnown = true;
      m_.installerMode = settings.ReadBool("Settings", "InstallerMode", false);
      if (!settings.ReadBool("Settings", "FileExists", false))
        Error("the instruction file lacks the \"FileExists\" marker of the Settings section");
    }
    if (!m_.installerMode)
      Error("the mod is in patcher mode (every file is chosen by hand), which cannot run unattended");
    TValidateInput input{m_.mod.dataPath, m_.mod.modFolder / "veypatchdata", m_.mod.iniName};
    input.compilerFolder = files.Child(m_.mod.modFolder, "veypatchdata");
    input.ownCompiler = !settings_.compiler.empty();
    for (const TFinding& f : ValidateInstructions(files, input)) {
      // The place as `validate` names it: file, line, section and key.
      std::string text = f.file;
      if (f.line > 0) text += ":" + std::to_string(f.line);
      text += ": ";
      if (!f.section.empty()) text += "[" + f.section + "] ";
      if (!f.key.empty()) text += f.key + ": ";
      text = MessageToUtf8(text + f.message);
      f.severity == TSeverity::Error ? Error(text) : Warning(text);
    }
  }

  // Settles the installation type: by identifier, caption or section where the mod
  // offers several; none may be given where it offers none.
  bool Type(platform::GameFileSystem& files, const fs::path& dataFolder, std::string& id) {
    TNamespaces types(files, dataFolder);
    const bool has = types.Load() && !types.NamespaceIds().empty();
    std::string listing;
    if (has) {
      const auto names = types.DisplayNames();
      for (std::size_t i = 0; i < names.size(); ++i)
        listing += "\n  " + Win1252ToUtf8(types.NamespaceIds()[i]) + "  " + Win1252ToUtf8(names[i]);
    }
    if (!e_.type) {
      if (has) Error("the mod offers several installation types; choose one with \"type\":" + listing);
      return !has;
    }
    if (!has) {
      Error("\"type\" is given, but the mod offers no installation types");
      return false;
    }
    const std::string wanted = Utf8ToWin1252(*e_.type);
    int index = types.IndexOf(wanted);
    if (index < 0) {
      const auto names = types.DisplayNames();
      for (std::size_t i = 0; i < names.size() && index < 0; ++i)
        if (names[i] == wanted) index = static_cast<int>(i);
    }
    // The section that describes a type is what the mod's own files call it.
    for (std::size_t i = 0; i < types.NamespaceIds().size() && index < 0; ++i) {
      types.Select(static_cast<int>(i));
      if (EqualsNoCase(types.SelectedSection(), wanted)) index = static_cast<int>(i);
    }
    if (index < 0) {
      Error("the mod has no installation type \"" + *e_.type + "\"; it offers:" + listing);
      return false;
    }
    id = Win1252ToUtf8(types.NamespaceIds()[index]);
    return true;
  }

  static std::string ReplaceOption(std::string text) {
    const std::string option = "choose one with --in";
    if (auto at = text.find(option); at != std::string::npos) text.replace(at, option.size(), "choose one with \"in\"");
    return text;
  }

  PreparedMod& m_;
  const ModListEntry& e_;
  bool fresh_ = false;  // the archive was unpacked just now: its copy is as it shipped
  const ModList& list_;
  const ListSettings& settings_;
};

void ListFindings(const ModList& list, std::vector<PreparedMod>& mods) {
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < list.mods.size(); ++i) position[list.mods[i].name] = i;
  for (std::size_t i = 0; i < list.mods.size(); ++i) {
    const ModListEntry& e = list.mods[i];
    for (const std::string& required : e.required) {
      auto at = position.find(required);
      if (at == position.end())
        mods[i].findings.push_back({true, "it requires \"" + required + "\", which the list does not hold"});
      else if (at->second >= i)
        mods[i].findings.push_back({true, "it requires \"" + required + "\", which comes after it in the list"});
    }
    for (const std::string& other : e.conflicts)
      if (position.count(other))
        mods[i].findings.push_back({true, "it conflicts with \"" + other + "\", which the list also holds"});
    mods[i].ready = mods[i].Errors() == 0;
  }
}

}  // namespace

std::vector<PreparedMod> PrepareList(const ModList& list, const ListSettings& settings) {
  std::vector<PreparedMod> mods(list.mods.size());
  for (std::size_t i = 0; i < mods.size(); ++i) mods[i].entry = &list.mods[i];
  // Two workers take the entries in turn, largest archive first: a big one
  // taken last would leave one worker unpacking it alone at the end. Each
  // entry's findings stay with it, so the order of work changes no output.
  std::vector<std::pair<std::uintmax_t, std::size_t>> order;
  for (std::size_t i = 0; i < mods.size(); ++i) {
    std::error_code ec;
    const std::uintmax_t size = fs::is_regular_file(list.mods[i].source, ec) ? fs::file_size(list.mods[i].source, ec) : 0;
    order.emplace_back(ec ? 0 : size, i);
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t k = next++; k < order.size(); k = next++) Preparer(mods[order[k].second], list, settings).Run();
  };
  auto helper = std::async(std::launch::async, work);
  work();
  helper.get();
  ListFindings(list, mods);
  return mods;
}

}  // namespace vey::cli
