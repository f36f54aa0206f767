// UGameReport: the report's sections, each gathered from the journal or the
// game folder, and the pass that keeps personal names out of it.
#include "engine/run/UGameReport.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "common/Counted.h"
#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/VeyException.h"
#include "common/Win1252.h"
#include "engine/run/URunHistory.h"
#include "engine/support/UModIdentity.h"

namespace vey {
namespace fs = std::filesystem;
namespace {

// The game folder's own entry whose name matches without regard to case
// (the game's folders are "Override" or "override" depending on the copy).
fs::path Entry(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (AsciiLowerCopy(e.path().filename().string()) == AsciiLowerCopy(name)) return e.path();
  return {};
}

std::string TalkTableSize(const fs::path& path) {
  try {
    InputFile in(path);
    if (in.Size() < 20) return "not a talk table";
    const auto head = in.ReadAt(0, 20);
    if (std::string(head.begin(), head.begin() + 8) != "TLK V3.0") return "not a talk table";
    const std::uint32_t count = head[12] | head[13] << 8 | head[14] << 16 | static_cast<std::uint32_t>(head[15]) << 24;
    return Counted(count, "entry", "entries");
  } catch (const Exception&) {
    return "unreadable";
  }
}

class Writer {
 public:
  Writer(const std::string& game, const TReportPrivacy& privacy) : privacy_(privacy) {
    game_ = game;
    const std::vector<platform::RunRecord> all = TRunHistory(game).AllRuns();
    for (const auto& run : all) {
      (run.undone ? undone_ : live_).push_back(run);
      if (!run.undone && run.Finished())
        for (const auto& f : run.files) broughtBy_[f.path] = Mod(run);
    }
  }

  std::string Text() {
    out_ << "VEYPatcher report\n";
    out_ << "Game folder: " << Shown(game_) << "\n";
    out_ << "Written: " << Now() << " UTC\n";
    Mods();
    Drifts();
    CaseClashes();
    Textures();
    TalkTables();
    return Scrubbed(out_.str());
  }

 private:
  std::string Mod(const platform::RunRecord& run) const {
    // Named as people know it, never by the digest an unpacked copy's folder carries.
    return RunName(game_, run);
  }

  void Mods() {
    out_ << "\nInstalled mods, in the order installed:\n";
    int n = 0;
    for (const auto& run : live_) {
      out_ << "  " << ++n << ". " << Mod(run);
      if (!run.installationType.empty()) out_ << " [" << MessageToUtf8(run.installationType) << "]";
      out_ << " - " << (run.Finished() ? run.verdict : "unfinished") << ", " << run.started << " UTC, "
           << Counted(run.files.size(), "file");
      if (!run.partlyUndone.empty())
        out_ << ", partly undone (" << Counted(run.partlyUndone.size(), "file")
             << " put back by uninstalling an earlier mod)";
      out_ << "\n";
    }
    if (live_.empty()) out_ << "  (none recorded)\n";
    if (!undone_.empty()) {
      out_ << "Undone by reset: ";
      for (std::size_t i = 0; i < undone_.size(); ++i) out_ << (i ? ", " : "") << Mod(undone_[i]);
      out_ << "\n";
    }
  }

  void Drifts() {
    out_ << "\nFiles changed outside the installer since it wrote them:\n";
    std::map<std::string, std::string> modOfRun;
    for (const auto& run : live_) modOfRun[run.id] = Mod(run);
    const auto drifts = platform::FindDrifts(game_, platform::LastWrites(live_));
    for (const auto& d : drifts) out_ << "  " << d.state << ": " << d.path << " (written by " << modOfRun[d.run] << ")\n";
    if (drifts.empty()) out_ << "  (none)\n";
  }

  std::string Source(const std::string& relative) const {
    auto it = broughtBy_.find(relative);
    return it == broughtBy_.end() ? "not installed by VEYPatcher" : it->second;
  }

  std::vector<std::string> OverrideNames() const {
    std::vector<std::string> names;
    const fs::path override = Entry(game_, "override");
    std::error_code ec;
    if (override.empty() || !fs::is_directory(override, ec)) return names;
    for (const auto& e : fs::directory_iterator(override, ec))
      if (!e.is_directory(ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    overrideName_ = override.filename().string();
    return names;
  }

  void CaseClashes() {
    out_ << "\nOverride files whose names differ only in letter case (the game sees only one):\n";
    std::map<std::string, std::vector<std::string>> byFolded;
    for (const std::string& name : OverrideNames()) byFolded[AsciiLowerCopy(name)].push_back(name);
    bool any = false;
    for (const auto& [folded, names] : byFolded) {
      if (names.size() < 2) continue;
      any = true;
      out_ << " ";
      for (std::size_t i = 0; i < names.size(); ++i)
        out_ << (i ? ", " : " ") << names[i] << " (" << Source(overrideName_ + "/" + names[i]) << ")";
      out_ << "\n";
    }
    if (!any) out_ << "  (none)\n";
  }

  void Textures() {
    out_ << "\nTextures present in several formats (which one the game uses depends on the format):\n";
    static const std::set<std::string> kFormats{".tga", ".tpc", ".dds"};
    std::map<std::string, std::vector<std::string>> byStem;
    for (const std::string& name : OverrideNames()) {
      const std::string folded = AsciiLowerCopy(name);
      const std::size_t dot = folded.rfind('.');
      if (dot == std::string::npos || !kFormats.contains(folded.substr(dot))) continue;
      byStem[folded.substr(0, dot)].push_back(name);
    }
    bool any = false;
    for (const auto& [stem, names] : byStem) {
      std::set<std::string> formats;
      for (const std::string& name : names) formats.insert(AsciiLowerCopy(fs::path(name).extension().string()));
      if (formats.size() < 2) continue;
      any = true;
      out_ << "  " << stem << ":";
      for (std::size_t i = 0; i < names.size(); ++i)
        out_ << (i ? "," : "") << " " << names[i] << " (" << Source(overrideName_ + "/" + names[i]) << ")";
      out_ << "\n";
    }
    if (!any) out_ << "  (none)\n";
  }

  void TalkTables() {
    out_ << "\nTalk tables:\n";
    for (const char* name : {"dialog.tlk", "dialogf.tlk"}) {
      const fs::path path = Entry(game_, name);
      if (!path.empty()) out_ << "  " << path.filename().string() << ": " << TalkTableSize(path) << "\n";
    }
  }

  static std::string Now() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &utc));
  }

  // The game folder under the home folder as "~/...", and the user name
  // nowhere (a game on /media/NAME/... names the person too).
  std::string Shown(const std::string& path) const {
    std::string home = privacy_.home;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (!home.empty() && home != "/" && (path == home || path.starts_with(home + "/")))
      return "~" + path.substr(home.size());
    return path;
  }

  std::string Scrubbed(std::string text) const {
    std::string home = privacy_.home;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    // Only the home folder itself: "/home/ann" leaves "/home/anna" alone.
    const auto ends = [&](std::size_t at) {
      if (at == text.size()) return true;
      const char c = text[at];
      return !std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.';
    };
    if (home.size() > 1)
      for (std::size_t at = 0; (at = text.find(home, at)) != std::string::npos;) {
        if (ends(at + home.size()))
          text.replace(at, home.size(), 1, '~');
        else
          at += home.size();
      }
    // As a word only: a user named "ann" leaves "annotations" alone.
    const std::string& user = privacy_.user;
    auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (std::size_t at = 0; !user.empty() && (at = text.find(user, at)) != std::string::npos;) {
      const bool starts = at == 0 || !wordChar(text[at - 1]);
      const bool ends = at + user.size() == text.size() || !wordChar(text[at + user.size()]);
      if (starts && ends) {
        text.replace(at, user.size(), "<user>");
        at += 6;
      } else {
        at += user.size();
      }
    }
    return text;
  }

  const TReportPrivacy& privacy_;
  std::string game_;
  std::vector<platform::RunRecord> live_, undone_;
  std::map<std::string, std::string> broughtBy_;
  mutable std::string overrideName_ = "override";
  std::ostringstream out_;
};

}  // namespace

TReportPrivacy TReportPrivacy::FromEnvironment() {
  TReportPrivacy privacy;
  if (const char* home = std::getenv("HOME")) privacy.home = home;
  if (const passwd* account = ::getpwuid(::getuid())) {
    privacy.user = account->pw_name;
    if (privacy.home.empty() && account->pw_dir) privacy.home = account->pw_dir;
  }
  if (privacy.user.empty())
    if (const char* user = std::getenv("USER")) privacy.user = user;
  return privacy;
}

std::string GameReport(const std::string& gameFolder, const TReportPrivacy& privacy) {
  return Writer(gameFolder, privacy).Text();
}

}  // namespace vey
