// AppTests: the shared helpers and main(), which runs the test class named by
// the first argument (all of them without one).
#include "AppTests.h"

#include <QApplication>
#include <QTest>

#include <fstream>
#include <iterator>
#include <memory>

namespace vey::test {

bool ScriptedDialogs::AskYesNo(std::string_view text) {
  Record("question", text);
  if (answers.empty()) return true;
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

int ScriptedDialogs::AskChoice(std::string_view text, const std::vector<std::string>& offered) {
  std::string shown(text);
  for (const std::string& choice : offered) shown += "\n[" + choice + "]";
  Record("choice", shown);
  if (choices.empty()) return -1;
  const int answer = choices.front();
  choices.pop_front();
  return answer;
}

bool ScriptedDialogs::Execute() {
  Record("open", Title);
  return false;
}

std::string ScriptedDialogs::BrowseForFolder(std::string_view title, unsigned) {
  Record("folder", title);
  return folder;
}

void ScriptedDialogs::Record(const char* kind, std::string_view text) {
  shown.push_back({kind, std::string(text)});
  if (onDialog) onDialog(kind);
}

std::vector<std::string> ScriptedDialogs::Texts(const std::string& kind) const {
  std::vector<std::string> texts;
  for (const Shown& s : shown)
    if (s.kind == kind) texts.push_back(s.text);
  return texts;
}

ModDir::ModDir() { std::filesystem::create_directories(Data()); }

std::filesystem::path ModDir::Root() const { return std::filesystem::path(dir_.path().toStdString()); }

void ModDir::Write(const std::string& relative, const std::string& bytes) const {
  const std::filesystem::path path = Root() / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ModDir::Read(const std::string& relative) const {
  std::ifstream in(Root() / relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ModDir::Exists(const std::string& relative) const { return std::filesystem::exists(Root() / relative); }

std::string SettingsIni(const std::string& extraSettings) {
  return "[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\n" + extraSettings + "\r\n";
}

std::map<std::string, std::string> GameSnapshot(const std::filesystem::path& game) {
  std::map<std::string, std::string> files;
  for (auto it = std::filesystem::recursive_directory_iterator(game); it != decltype(it)(); ++it) {
    if (it->path().filename() == ".veypatcher") {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    files[it->path().lexically_relative(game).string()] =
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return files;
}

std::map<std::string, SuiteFactory>& Suites() {
  static std::map<std::string, SuiteFactory> suites;
  return suites;
}

}  // namespace vey::test

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VEYPatcher"));
  std::string only = argc > 1 ? argv[1] : "";
  int failed = 0;
  int ran = 0;
  for (const auto& [name, factory] : vey::test::Suites()) {
    if (!only.empty() && name != only) continue;
    std::unique_ptr<QObject> suite(factory());
    failed += QTest::qExec(suite.get(), 1, argv);
    ++ran;
  }
  if (ran == 0) {
    std::fprintf(stderr, "no test class named %s\n", only.c_str());
    return 1;
  }
  return failed == 0 ? 0 : 1;
}
