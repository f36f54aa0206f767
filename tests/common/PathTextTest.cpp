// PathText: paths carried inside Windows-1252 message text come out at the
// edge as the characters the file system holds.
#include <gtest/gtest.h>

#include "common/PathText.h"
#include "common/Win1252.h"

namespace vey {
namespace {

struct PathCase {
  const char* what;
  std::string fsPath;
  std::string messageText;  // what PathText makes of it
  std::string shown;        // what MessageToUtf8 shows
};

TEST(PathText, EveryPathComesBackAsItsCharacters) {
  const PathCase cases[] = {
      {"ASCII", "/games/Game/override/", "/games/Game/override/", "/games/Game/override/"},
      {"Windows-1252 letters and dash", "/g/Mon Jeu \xE2\x80\x93 \xC3\x89" "dition",
       "/g/Mon Jeu \x96 \xC9" "dition", "/g/Mon Jeu \xE2\x80\x93 \xC3\x89" "dition"},
      {"letter at the very end", "/g/Caf\xC3\xA9", "/g/Caf\xE9", "/g/Caf\xC3\xA9"},
      {"outside the code page", "/g/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0", "/g/\x81" "30B2\x81\x81" "30FC\x81\x81" "30E0\x81",
       "/g/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"},
      {"beyond the basic plane", "/g/\xF0\x9F\x8E\xAE", "/g/\x81" "1F3AE\x81", "/g/\xF0\x9F\x8E\xAE"},
      {"decomposed accent", "/g/E\xCC\x81", "/g/E\x81" "301\x81", "/g/E\xCC\x81"},
      {"legacy-encoded name", "/g/\xC9t\xE9", "/g/\xC9t\xE9", "/g/\xC3\x89t\xC3\xA9"},
      {"unassigned byte", "/g/a\x81" "41\x81", "/g/a\x81" "81\x81" "41\x81" "81\x81", "/g/a\xC2\x81" "41\xC2\x81"},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(PathText(c.fsPath), c.messageText) << c.what;
    EXPECT_EQ(MessageToUtf8(PathText(c.fsPath)), c.shown) << c.what;
  }
}

TEST(PathText, MessageTextAroundPathsStaysWindows1252) {
  // A message: instruction-file text (Windows-1252) with a path inserted.
  const std::string message = "Fichier \xAB" "a\xE9.2da\xBB in " + PathText(std::string("/j/\xE3\x82\xB2/"));
  EXPECT_EQ(MessageToUtf8(message), "Fichier \xC2\xAB" "a\xC3\xA9.2da\xC2\xBB in /j/\xE3\x82\xB2/");
  // Mark bytes that open no well-formed mark are ordinary bytes.
  for (const char* text : {"\x81", "a\x81" "41", "\x81\x81", "\x81" "1234567\x81", "\x81" "D800\x81", "\x81" "zz\x81"})
    EXPECT_EQ(MessageToUtf8(text), Win1252ToUtf8(text)) << text;
}

}  // namespace
}  // namespace vey
