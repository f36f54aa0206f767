// UVEYPatcher: engine construction from the "Settings" section, the progress
// log and the work count.
#include "engine/run/UVEYPatcher.h"

#include <filesystem>
#include <memory>
#include <set>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey {
namespace {

constexpr platform::Rgb kDebugColor{4, 32, 152};
constexpr platform::Rgb kErrorColor{156, 2, 2};
constexpr platform::Rgb kWarningColor{160, 87, 2};
constexpr platform::Rgb kInstallColor{46, 46, 46};
constexpr platform::Rgb kAllClearColor{2, 97, 17};

// A space, the bullet of the Windows-1252 code page, a space.
constexpr std::string_view kRichPrefix = " \x95 ";

std::string ResolveDataPath(const std::string& appPath, const std::string& given) {
  std::error_code ec;
  if (given.empty() || !std::filesystem::is_directory(given, ec)) return appPath + "veypatchdata/";
  return WithTrailingSlash(given);
}

}  // namespace

TVEYPatcher::TVEYPatcher(std::string iniFileName, const PatcherPlatform& platform, std::string appPath,
                         std::string dataPath)
    : platform_(platform),
      appPath_(WithTrailingSlash(std::move(appPath))),
      iniFileName_(std::move(iniFileName)),
      dataPath_(ResolveDataPath(appPath_, dataPath)),
      iniFile_(dataPath_ + iniFileName_),
      FileHandler(platform.openDialog, dataPath_,
                  {&platform.files, &platform.folderChooser, &platform.registry}) {
  FileHandler.InstallerMode = iniFile_.ReadBool("Settings", "InstallerMode", false);
  FileHandler.BackupFiles = iniFile_.ReadBool("Settings", "BackupFiles", true);
  FileHandler.AppPath = appPath_;
  FileHandler.Patcher = this;
  // Backups of every list go to the one flat folder beside the installer,
  // which is the mod's: its links may not lead out of it.
  platform.files.AddWritableRoot(FileHandler.BackupFolder());
  platform.files.AddConfinedRoot(FileHandler.BackupFolder());
  // The compiler and the installation types' folders live in the base data
  // folder, which is the mod's as well.
  platform.files.AddConfinedRoot(appPath_ + "veypatchdata/");
  logLevel_ = iniFile_.ReadInteger("Settings", "LogLevel", 3);
  plaintextLog_ = iniFile_.ReadBool("Settings", "PlaintextLog", false);
  transaction_ = std::make_unique<TTransaction>(*this);
  // Every key of a long section is applied, but the same mod in another
  // installer would lose the keys past the limit: say so once per section.
  iniFile_.OnLongSection = [this, warned = std::make_shared<std::set<std::string>>()](
                               std::string_view section) {
    if (!warned->insert(AsciiLowerCopy(section)).second) return;
    LogMessage(FormatMsg("Section [%s] holds more than 16,384 bytes of key names. Every key is "
                         "applied, but other installers of this kind stop reading the section "
                         "at that size.",
                         {section}),
               LogKind::Warning);
  };
}

TVEYPatcher::~TVEYPatcher() = default;

void TVEYPatcher::LogMessage(std::string_view message, LogKind kind) {
  // The mod's level decides what is counted; a level given by the person
  // running the installer only changes what is written.
  const bool counting = logLevel_ != 0;
  const std::int32_t level = shownLevel_.value_or(logLevel_);
  if (!counting && level == 0) return;
  writingKind_ = kind;
  // Names and values from a mod may hold line breaks or other control
  // characters; shown as "<0A>" they cannot split a line of the log.
  std::string shown;
  std::string_view text = message;
  if (HasControlCharacter(message)) {
    shown = ShowControlCharacters(message, false);
    text = shown;
  }
  switch (kind) {
    case LogKind::Debug:
      if (level >= 4) WriteLine(" [Debug] \t", "", text, kDebugColor, false);
      break;
    case LogKind::Error:
      if (counting) ++errorCount_;
      if (level >= 2) WriteLine(" [Error] \t", "Error: ", text, kErrorColor, false);
      break;
    case LogKind::Warning:
      if (counting) ++warningCount_;
      if (level >= 3) WriteLine(" [Warning] \t", "Warning: ", text, kWarningColor, false);
      break;
    case LogKind::Install:
      if (level >= 1) WriteLine(" [Install] \t", "", text, kInstallColor, false);
      break;
    case LogKind::Status:
      // The run's closing line takes the colour of what went wrong so far.
      if (level >= 1) {
        if (warningCount_ > 0 && errorCount_ == 0)
          WriteLine(" [STATUS - WARNING] \t", "", text, kWarningColor, true);
        else if (errorCount_ > 0)
          WriteLine(" [STATUS - ERROR] \t", "", text, kErrorColor, true);
        else
          WriteLine(" [STATUS] \t", "", text, kAllClearColor, true);
      }
      break;
  }
  platform_.events.ProcessMessages();
}

void TVEYPatcher::WriteLine(std::string_view plainTag, std::string_view richLead, std::string_view text,
                            platform::Rgb color, bool bold) {
  // The first line of the run replaces the information text shown before it.
  bool first = lineCount_ == 0;
  if (plaintextLog_) {
    if (PlainLog) {
      if (first) PlainLog->Clear();
      std::string line(plainTag);
      line += text;
      PlainLog->AppendLine(line);
    }
  } else if (RichLog) {
    if (first) RichLog->Clear();
    RichLog->SetWordWrap(false);
    platform::TextAttributes attributes;
    attributes.color = color;
    attributes.bold = bold;
    attributes.fontName = "Courier New";
    attributes.sizePoints = 8;
    RichLog->SetAttributes(attributes);
    std::string line(kRichPrefix);
    line += richLead;
    line += text;
    RichLog->AppendLine(line);
  }
  if (OnLogEntry) OnLogEntry(writingKind_, text);
  if (OnLogLine) {
    std::string tagged(plainTag);
    tagged += text;
    platform::TextAttributes attributes;
    attributes.color = color;
    attributes.bold = bold;
    OnLogLine(tagged, attributes);
  }
  ++lineCount_;
}

void TVEYPatcher::AdvanceProgress(std::int32_t n) {
  // Between two files: the one place a run stops when asked to.
  if (RunOptions.cancel && RunOptions.cancel->load())
    throw ECancelled("The installation was interrupted.");
  progressCount_ += n;
  if (OnProgress) OnProgress(progressCount_, progressMax_);
  if (progressMax_ < progressCount_)
    LogMessage("DEBUG: ProgressCount is larger than ProgressMax! Uh oh...", LogKind::Debug);
}

void TVEYPatcher::CountWorkItems() {
  progressCount_ = 0;
  progressMax_ = 0;
  // The whole talk-table step is one unit; every other list one per entry.
  if (!iniFile_.ReadSection("TLKList").empty()) ++progressMax_;
  for (std::string_view list : {"2DAList", "GFFList", "HACKList", "CompileList", "SSFList"})
    progressMax_ += static_cast<std::int32_t>(iniFile_.ReadSection(list).size());
  // Install list keys name the sections that list each folder's files.
  for (const std::string& folderSection : iniFile_.ReadSection("InstallList"))
    progressMax_ += static_cast<std::int32_t>(iniFile_.ReadSection(folderSection).size());
}

}  // namespace vey
