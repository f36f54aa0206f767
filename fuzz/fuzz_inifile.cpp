// Fuzzes the instruction-file parser and its string write, plus the tokenizer,
// the command-line splitter and the number conversions, checking invariants.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "common/UQK_Common.h"
#include "common/UQK_IniFile.h"
#include "common/UStrTok.h"
#include "common/VeyException.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/vey-fuzz-ini-" + std::to_string(::getpid()) + ".ini";
  return path;
}

// A value that reads back exactly as written: no blanks at its ends, not
// wrapped in quotes, no escape-like text, within the value limit.
bool ReadsBackVerbatim(std::string_view v) {
  if (v.size() > 2047 || v.find("<#") != std::string_view::npos) return false;
  if (v.find_first_of("\r\n") != std::string_view::npos) return false;
  if (!v.empty() && (std::string_view(" \t\v\f").find(v.front()) != std::string_view::npos ||
                     std::string_view(" \t\v\f").find(v.back()) != std::string_view::npos))
    return false;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return false;
  return true;
}

void FuzzIni(std::string_view text) {
  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  vey::TQK_Inifile ini(ScratchFile());
  for (std::string_view section : {"S", "Settings", "", "s]"}) {
    auto keys = ini.ReadSection(section);
    std::vector<std::string> lines;
    ini.ReadSectionValues(section, lines);
    Check(lines.size() == keys.size());
    Check(ini.SectionExists(section) == !keys.empty());
    for (const auto& k : keys) {
      Check(!k.empty());
      // Decoding only shortens, so the cut still bounds what a read returns.
      Check(ini.ReadString(section, k, "").size() <= 2047);
      ini.ReadInteger(section, k, 0);
    }
  }
  // Write a value taken from the input and read it back.
  std::string value(text.substr(0, std::min<std::size_t>(text.size(), 40)));
  try {
    ini.WriteString("S", "Key", value);
  } catch (const vey::EIniFileException&) {
    return;
  }
  if (ReadsBackVerbatim(value)) Check(ini.ReadString("S", "Key", "<missing>") == value);
  // Writing a line break must never add a line the reader sees.
  auto before = ini.ReadSection("S");
  ini.WriteString("S", "Key", "x\r\n[S]\r\nInjected=1");
  Check(ini.ReadSection("S") == before);
  Check(ini.ReadString("S", "Key", "") == "x\r\n[S]\r\nInjected=1");
}

void FuzzText(std::string_view text) {
  if (text.empty()) return;
  char delimiter = text[0];
  std::string_view rest = text.substr(1);
  vey::TStringTokenizer tok(rest, delimiter);
  if (rest.size() >= 3) {
    for (const auto& t : tok.Tokens()) {
      Check(!t.empty());
      Check(t.find(delimiter) == std::string::npos);
    }
  } else {
    Check(tok.Count() == 1);
  }
  vey::SplitWindowsCommandLine(rest);
  std::string replaced = vey::ReplaceAll(rest, std::string_view(&delimiter, 1), "");
  Check(replaced.find(delimiter) == std::string::npos);
  Check(vey::CleanResRef(rest).size() <= 16);
  try {
    vey::TextToDouble(rest);
    vey::TextToSingle(rest);
  } catch (const vey::EConvertError&) {
    Check(vey::IsFloat(rest));
  }
  try {
    vey::StrToDWordValue(rest);
  } catch (const vey::EConvertError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzText(text);
  FuzzIni(text);
  return 0;
}
