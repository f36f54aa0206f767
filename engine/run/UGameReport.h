// UGameReport: a plain-text account of a game folder that a player can paste
// into a forum post: the mods installed, files changed since, names that
// clash, and the talk tables' sizes. It names no path outside the game folder
// and not the person's user name.
#pragma once

#include <string>

namespace vey {

// Where the person's own names are, so that the report can leave them out.
struct TReportPrivacy {
  std::string home;  // the home folder, shown as "~"
  std::string user;  // the user name, never shown
  // From HOME and the account of the running process.
  static TReportPrivacy FromEnvironment();
};

// UTF-8 text. Reads the game folder and its journal only.
std::string GameReport(const std::string& gameFolder, const TReportPrivacy& privacy);

}  // namespace vey
