// DumpFormats: one loaded game file printed for people (aligned text) or as
// JSON; with a talk table, string numbers are shown with their texts.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace vey {
class T2DAHandler;
class TTLKFileHandler;
class TGFFFile;
class TERFHandler;
class TERF_Resource;
class TSSFFile;
}  // namespace vey

namespace vey::cli {

struct DumpOptions {
  bool json = false;
  // Texts for string numbers; none when null.
  const TTLKFileHandler* tlk = nullptr;
};

// version is "V2.b" or "V2.0", the form the table was read from.
void DumpTable(const T2DAHandler& table, std::string_view version, const DumpOptions& options, std::ostream& out);
void DumpTalkTable(const TTLKFileHandler& tlk, const DumpOptions& options, std::ostream& out);
void DumpDocument(const TGFFFile& doc, const DumpOptions& options, std::ostream& out);
void DumpArchive(const TERFHandler& archive, const DumpOptions& options, std::ostream& out);
void DumpSoundset(const TSSFFile& ssf, const DumpOptions& options, std::ostream& out);

// "name.ext" as the archive listing shows it (the name alone for a type
// without a known extension).
std::string ResourceName(const TERF_Resource& resource);

// Whether a 2DA column is taken to hold string numbers: its label contains
// "strref", "stringref", "name", "desc", "tooltip" or "title" (any letter case). Only
// its cells that are whole non-negative numbers are looked up.
bool HoldsStrRefs(std::string_view columnLabel);

}  // namespace vey::cli
