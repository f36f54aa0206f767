// Headless answers: preset and terminal questions, the open-dialog answer map,
// the folder prompt.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/Headless.h"

namespace vey::platform {
namespace {

struct Scripted {
  std::ostringstream out;
  std::istringstream in;
  explicit Scripted(std::string input) : in(std::move(input)) {}
  Console Make(bool interactive) { return Console{&out, &in, interactive}; }
};

TEST(HeadlessAskYesNo, PresetTerminalAndNoTerminal) {
  {
    Scripted s("n\n");
    HeadlessMessageBoxes boxes(s.Make(true), true);
    EXPECT_TRUE(boxes.AskYesNo("Install?"));  // the preset wins over the terminal
    EXPECT_EQ(s.out.str(), "Install?\nAnswered Yes.\n");
  }
  {
    Scripted s("y\n");
    HeadlessMessageBoxes boxes(s.Make(false));
    EXPECT_FALSE(boxes.AskYesNo("Install?"));  // nobody to ask: never an unconfirmed start
    EXPECT_EQ(s.in.tellg(), 0);
  }
  {
    Scripted s("maybe\n YES \r\nno\n\n");
    HeadlessMessageBoxes boxes(s.Make(true));
    EXPECT_TRUE(boxes.AskYesNo("Q1"));  // asks again after an answer it cannot read
    EXPECT_FALSE(boxes.AskYesNo("Q2"));
    EXPECT_FALSE(boxes.AskYesNo("Q3"));  // an empty answer takes the default
    EXPECT_FALSE(boxes.AskYesNo("Q4"));  // end of input
  }
}

TEST(HeadlessMessages, PrintUtf8WithoutControlCharacters) {
  Scripted s("");
  HeadlessMessageBoxes boxes(s.Make(false));
  boxes.ShowWarning("Caf\xE9 \x95 done\x1b[2J");
  boxes.ShowInfo("All set.");
  EXPECT_EQ(s.out.str(), "Warning: Caf\xC3\xA9 \xE2\x80\xA2 done?[2J\nAll set.\n");
}

TEST(HeadlessOpenDialogAnswers, MatchTheCallersFileNameWithoutCase) {
  std::ostringstream notes;
  HeadlessOpenDialog dialog(&notes);
  EXPECT_TRUE(dialog.AddAnswer("Appearance.2DA=/mods/a.2da"));
  EXPECT_TRUE(dialog.AddAnswer("a.ncs=/x=y/a.ncs"));  // split at the first '='
  EXPECT_TRUE(dialog.AddAnswer("dialog.tlk=/early/dialog.tlk"));
  EXPECT_TRUE(dialog.AddAnswer("dialog.tlk=/late/dialog.tlk"));
  EXPECT_FALSE(dialog.AddAnswer("noequals"));
  EXPECT_FALSE(dialog.AddAnswer("=path"));
  EXPECT_FALSE(dialog.AddAnswer("name="));
  dialog.AddAnswer("caf\xC3\xA9.uti", "rel/c.uti");  // UTF-8 from the command line

  dialog.FileName = "appearance.2da";
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/mods/a.2da");

  dialog.FileName = "a.ncs";
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/x=y/a.ncs");

  dialog.FileName = "DIALOG.TLK";
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/late/dialog.tlk");

  dialog.FileName = "C:\\game\\Dialog.tlk";  // a caller that put a path there
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/late/dialog.tlk");

  dialog.FileName = "CAF\xE9.UTI";  // Windows-1252 from the instruction file
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, (std::filesystem::current_path() / "rel/c.uti").string());

  EXPECT_TRUE(notes.str().empty());
  dialog.FileName = "spells.2da";
  dialog.Title = "Please select your spells.2da file.";
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "spells.2da");  // a cancelled dialog leaves it alone
  dialog.FileName = "";
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.Unanswered(), (std::vector<std::string>{"spells.2da", ""}));
  EXPECT_NE(notes.str().find("\"spells.2da\" (Please select your spells.2da file.)"),
            std::string::npos);
}

TEST(HeadlessFolderChooserPrompt, ReadsOneFolderOrCancels) {
  {
    Scripted s("  '/games/Arkan 2'  \n");
    HeadlessFolderChooser chooser(s.Make(true));
    EXPECT_EQ(chooser.BrowseForFolder("Please select the folder", 0), "/games/Arkan 2");
    EXPECT_EQ(s.out.str(), "Please select the folder\nFolder: ");
  }
  {
    Scripted s("/games\n");
    HeadlessFolderChooser chooser(s.Make(false));
    EXPECT_EQ(chooser.BrowseForFolder("t", 0), "");
  }
  {
    Scripted s("\n");
    HeadlessFolderChooser chooser(s.Make(true));
    EXPECT_EQ(chooser.BrowseForFolder("t", 0), "");
    EXPECT_EQ(chooser.BrowseForFolder("t", 0), "");  // end of input
  }
}

}  // namespace
}  // namespace vey::platform
