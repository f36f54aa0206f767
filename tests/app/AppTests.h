// AppTests: what the window's tests share: scripted answers to every dialog,
// a mod folder written on the spot, and the registry of test classes.
#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/QtDialogs.h"

namespace vey::test {

// Answers questions from a queue (Yes when it runs dry) and records every
// box, question and choice with the text it showed.
class ScriptedDialogs : public platform::IMessageBoxes, public platform::IOpenDialog, public platform::IFolderChooser {
 public:
  struct Shown {
    std::string kind;  // "warning", "info", "question", "choice", "open", "folder"
    std::string text;  // Windows-1252
  };
  void ShowWarning(std::string_view text) override { Record("warning", text); }
  void ShowInfo(std::string_view text) override { Record("info", text); }
  bool AskYesNo(std::string_view text) override;
  // Recorded as "choice", the text then each choice on a line of its own.
  int AskChoice(std::string_view text, const std::vector<std::string>& choices) override;
  bool Execute() override;
  std::string BrowseForFolder(std::string_view title, unsigned flags) override;

  app::DialogLayer Layer() { return {this, this, this, nullptr}; }
  std::vector<std::string> Texts(const std::string& kind) const;

  std::deque<bool> answers;
  std::deque<int> choices;  // AskChoice's answers; Cancel (-1) when it runs dry
  std::string folder;              // the folder chooser's answer
  // Runs inside every dialog call, after it was recorded, with its kind.
  std::function<void(const std::string& kind)> onDialog;
  std::vector<Shown> shown;

 private:
  void Record(const char* kind, std::string_view text);
};

// A mod folder in a temporary directory: veypatchdata with the given files.
class ModDir {
 public:
  ModDir();
  std::filesystem::path Root() const;
  std::filesystem::path Data() const { return Root() / "veypatchdata"; }
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;  // from the mod folder
  bool Exists(const std::string& relative) const;
  QString RootQ() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// The instruction file of a run that installs nothing: only its settings.
std::string SettingsIni(const std::string& extraSettings);

// Every file of a game folder with its bytes; the run records are left out,
// since they are meant to change.
std::map<std::string, std::string> GameSnapshot(const std::filesystem::path& game);

// Registers a test class under its name for main().
using SuiteFactory = std::function<QObject*()>;
std::map<std::string, SuiteFactory>& Suites();
struct RegisterSuite {
  RegisterSuite(const char* name, SuiteFactory factory) { Suites()[name] = std::move(factory); }
};
#define VEY_APP_TEST(Class) \
  static ::vey::test::RegisterSuite register##Class(#Class, [] { return static_cast<QObject*>(new Class); })

}  // namespace vey::test
