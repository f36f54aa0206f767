// GameFile: what dump and diff share about reading one game file: its format
// by signature, the 2DA table in either form, and failure texts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "common/VeyException.h"

namespace vey {
class T2DAHandler;
}

namespace vey::cli {

enum class FileKind { Table, TalkTable, Document, Archive, Soundset, Unknown };

// By the first eight bytes.
FileKind KindOf(std::span<const std::uint8_t> start);
// "2DA table", "talk table", ... for messages.
const char* KindName(FileKind kind);
// Up to eight bytes from the start of the file.
std::vector<std::uint8_t> FileStart(const std::filesystem::path& path);
// The binary or the text form, by signature.
void LoadTable(T2DAHandler& table, std::span<const std::uint8_t> data, const std::string& name);

// The tag the run driver would give the failure, so that a reader's message
// reads the same here as in an installation log.
std::string FailureTag(const Exception& e);

}  // namespace vey::cli
