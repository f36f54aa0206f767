// FilePlacement: hard links and renames between the journal and the game's
// folders, which may lie on different file systems (an override folder linked
// to another disk) or on one that refuses hard links (FAT, exFAT). Where the
// cheap way fails, the file is copied within the target's file system and
// renamed there, so that a reader sees the old content or the new, never a
// part.
#pragma once

#include <filesystem>

namespace vey::platform {

// link(2), or -1 with errno set.
int HardLink(const std::filesystem::path& from, const std::filesystem::path& to);
// rename(2), or -1 with errno set.
int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Puts a copy of from at target, replacing it: a hard link where one can be
// made, else a copy written beside target (a writer's temporary name, which
// recovery knows) and renamed over it. Mode and bytes are from's. Fails with
// EFCreateError.
void PlaceCopy(const std::filesystem::path& from, const std::filesystem::path& target);
// Moves from to target, replacing it; across file systems by PlaceCopy and
// removing from afterwards, so that a kill in between leaves from to try again.
void PlaceMove(const std::filesystem::path& from, const std::filesystem::path& target);

// For tests on one disk: every hard link fails as on a file system without
// them (kNoHardLinks), or links and renames between two folders fail as
// across file systems (kEachFolderItsOwnDisk).
enum class FileSystemQuirk { kNone, kNoHardLinks, kEachFolderItsOwnDisk };
void SetFileSystemQuirkForTesting(FileSystemQuirk quirk);

}  // namespace vey::platform
