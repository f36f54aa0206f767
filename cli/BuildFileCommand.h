// BuildFileCommand: `modlist check|install|status` given a published build
// file instead of one of our own lists. The command's options and its
// printing live here; the build's reading and checking live below the front
// ends (modlist/).
#pragma once

#include <string>

namespace vey::cli {

struct BuildFileOptions {
  std::string file;
  std::string downloads;  // default: the build file's folder
  std::string choices;    // default: FILE.choices.toml when it is there
  std::string json;       // a file, "-" for standard output, empty for none
  std::string game;       // install and status
  bool yes = false;
  bool keepGoing = false;
};

// True when the file's content makes it a build file.
bool IsBuildFileArgument(const std::string& file);

// Exit status: 0 ready; 1 warnings only; 2 anything that stops the install.
int RunBuildCheck(const BuildFileOptions& options);
// Checks the build, then installs every chosen, ready mod in order, each as
// one run; mods installed before from the same downloads and choices are
// skipped, so that running it again resumes. Exit status as for lists.
int RunBuildInstall(const BuildFileOptions& options);
// Each mod's state: installed, not installed, changed since, by hand, not chosen.
int RunBuildStatus(const BuildFileOptions& options);

}  // namespace vey::cli
