// InfoCommand: `veypatcher-cli info`, the mod's information text for a terminal.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "formats/URtfReader.h"

namespace vey::cli {

void RegisterInfoCommand(CLI::App& app, int& exitCode);

// The document as terminal lines: list markers and indents, link targets
// after their text; bold, italics, underlines and colours as escape
// sequences when styles is true, none otherwise.
std::string RenderInfo(const rtf::Document& document, bool styles);

}  // namespace vey::cli
