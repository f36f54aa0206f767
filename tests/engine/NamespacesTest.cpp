// Installation types: names and defaults from "namespaces.ini", and data
// folders and file names that must not lead out of the data folder.
#include <gtest/gtest.h>

#include "engine/support/UNamespaces.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

struct Mod {
  TempDir dir;
  platform::GameFileSystem fs;
  std::filesystem::path data = dir / "veypatchdata";

  explicit Mod(const std::string& namespacesIni) {
    dir.Write("veypatchdata/changes.ini", "[Settings]\n");
    if (!namespacesIni.empty()) dir.Write("veypatchdata/namespaces.ini", namespacesIni);
  }
  TNamespaces Loaded() {
    TNamespaces n(fs, data);
    n.Load();
    return n;
  }
};

TEST(TNamespacesList, NamesAndDescriptionsWithTheirDefaults) {
  Mod mod(
      "[Namespaces]\nstd=default\nlite=\nfull=FullSection\n"
      "[default]\nDescription=Everything<#LF#>at once\n"
      "[FullSection]\nName=Full install\n");
  TNamespaces n = mod.Loaded();
  EXPECT_EQ(n.NamespaceIds(), (std::vector<std::string>{"std", "lite", "full"}));
  EXPECT_EQ(n.DisplayNames(), (std::vector<std::string>{"Standard install", "*no name set*", "Full install"}));
  EXPECT_EQ(n.Selected(), 0);
  EXPECT_EQ(n.GetDescription(), "Everything\nat once");
  n.Select(2);
  EXPECT_EQ(n.GetDescription(), "*no description set*");
  EXPECT_EQ(n.IndexOf("FULL"), 2);
  EXPECT_EQ(n.IndexOf("none"), -1);
}

TEST(TNamespacesList, OnlyTheExactSectionNameDefaultIsTheStandardInstall) {
  Mod mod("[Namespaces]\na=Default\n");
  EXPECT_EQ(mod.Loaded().DisplayNames(), std::vector<std::string>{"*no name set*"});
}

TEST(TNamespacesList, MissingFileGivesThePlainDefaults) {
  Mod mod("");
  TNamespaces n(mod.fs, mod.data);
  EXPECT_FALSE(n.Load());
  EXPECT_TRUE(n.NamespaceIds().empty());
  EXPECT_EQ(n.GetDescription(), "Standard installation of this Mod.");
  EXPECT_EQ(n.GetNamespaceIni(), "changes.ini");
  EXPECT_EQ(n.GetNamespaceInfo(), "info.rtf");
  EXPECT_EQ(n.GetNamespacePath(), mod.data / "");
}

TEST(TNamespacesFiles, NamesTakenOnlyWhenPresentInTheSubFolder) {
  Mod mod(
      "[Namespaces]\nlite=LiteSection\n"
      "[LiteSection]\nIniName=lite.ini\nInfoName=lite.rtf\nDataPath=Lite\n");
  mod.dir.Write("veypatchdata/lite/LITE.INI", "[Settings]\n");  // letter case differs on disk
  TNamespaces n = mod.Loaded();
  EXPECT_EQ(n.GetNamespaceIni(), "lite.ini");
  EXPECT_EQ(n.GetNamespaceInfo(), "info.rtf");  // lite.rtf is missing
  EXPECT_EQ(n.GetNamespacePath(), mod.data / "lite" / "");
}

TEST(TNamespacesFiles, FolderThatDoesNotExistGivesTheDataFolder) {
  Mod mod("[Namespaces]\nx=X\n[X]\nDataPath=nowhere\n");
  EXPECT_EQ(mod.Loaded().GetNamespacePath(), mod.data / "");
}

TEST(TNamespacesFiles, ClimbingDataFoldersAreRefused) {
  for (const std::string sub : {"..\\", "../", "..", "sub\\..\\..\\", "x/../../y", "/tmp", "\\\\server\\share",
                                "C:\\Games"}) {
    Mod mod("[Namespaces]\nx=X\n[X]\nIniName=changes.ini\nDataPath=" + sub + "\n");
    // A folder and an instruction file really exist where the path leads.
    mod.dir.Write("changes.ini", "[Settings]\n");
    mod.dir.Write("y/changes.ini", "[Settings]\n");
    TNamespaces n = mod.Loaded();
    EXPECT_EQ(n.GetNamespacePath(), mod.data / "") << sub;
    EXPECT_TRUE(TNamespaces::ClimbsOut(sub)) << sub;
  }
  EXPECT_FALSE(TNamespaces::ClimbsOut("lite\\maps"));
  EXPECT_FALSE(TNamespaces::ClimbsOut(""));
}

TEST(TNamespacesFiles, ClimbingFileNamesFallBackToTheDefaults) {
  Mod mod("[Namespaces]\nx=X\n[X]\nIniName=..\\secret.ini\nInfoName=../notes.rtf\n");
  mod.dir.Write("secret.ini", "[Settings]\n");
  mod.dir.Write("notes.rtf", "{\\rtf1}");
  TNamespaces n = mod.Loaded();
  EXPECT_EQ(n.GetNamespaceIni(), "changes.ini");
  EXPECT_EQ(n.GetNamespaceInfo(), "info.rtf");
}

TEST(TNamespacesFiles, GettersFallBackWhenTheFileVanishes) {
  Mod mod("[Namespaces]\nx=X\n[X]\nIniName=other.ini\nDataPath=sub\n");
  mod.dir.Write("veypatchdata/sub/other.ini", "");
  TNamespaces n = mod.Loaded();
  EXPECT_EQ(n.GetNamespaceIni(), "other.ini");
  std::filesystem::remove(mod.data / "namespaces.ini");
  EXPECT_EQ(n.GetNamespaceIni(), "changes.ini");
  EXPECT_EQ(n.GetNamespacePath(), mod.data / "");
}

}  // namespace
}  // namespace vey::test
