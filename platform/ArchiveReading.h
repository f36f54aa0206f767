// ArchiveReading: one read of a mod archive through libarchive, hashed as it
// is read, every entry checked before anything of it is written. Apart from
// the cache it is unpacked into.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/ModArchive.h"

namespace vey::platform {

// Unpacks archive below folder (an empty folder of the caller's) and returns
// the archive's SHA-256. Raises EModArchive: an entry refused, the archive
// damaged or too large, or cancel set (kArchiveInterrupted); what was
// written stays for the caller to remove.
std::string UnpackArchive(const std::filesystem::path& archive, const std::filesystem::path& folder,
                          const ExtractLimits& limits, const std::atomic<bool>* cancel);

}  // namespace vey::platform
