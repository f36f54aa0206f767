// GFF fixtures: an image builder that lays out hand-written tables the way a
// file stores them, and a text dump of a tree for whole-tree comparisons.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/UGFFFile.h"
#include "support/TestSupport.h"

namespace vey::test {

// Blocks in file order: header, structs, fields, labels, field data, field
// indices, list indices. Counts in the header follow the blocks' sizes
// unless overridden.
struct GffImage {
  std::string type = "UTC ";
  std::string version = "V3.2";
  std::vector<std::array<std::uint32_t, 3>> structs;  // type, data or offset, field count
  std::vector<std::array<std::uint32_t, 3>> fields;   // type, label index, data or offset
  std::vector<std::string> labels;                    // 16 bytes each, zero-filled
  Bytes data, fieldIndices, listIndices;

  std::vector<std::uint8_t> Build() const {
    std::uint32_t structOff = 56;
    std::uint32_t fieldOff = structOff + 12 * static_cast<std::uint32_t>(structs.size());
    std::uint32_t labelOff = fieldOff + 12 * static_cast<std::uint32_t>(fields.size());
    std::uint32_t dataOff = labelOff + 16 * static_cast<std::uint32_t>(labels.size());
    std::uint32_t fiOff = dataOff + static_cast<std::uint32_t>(data.Size());
    std::uint32_t liOff = fiOff + static_cast<std::uint32_t>(fieldIndices.Size());
    Bytes b;
    b.Fixed(type, 4).Fixed(version, 4);
    b.U32(structOff).U32(static_cast<std::uint32_t>(structs.size()));
    b.U32(fieldOff).U32(static_cast<std::uint32_t>(fields.size()));
    b.U32(labelOff).U32(static_cast<std::uint32_t>(labels.size()));
    b.U32(dataOff).U32(static_cast<std::uint32_t>(data.Size()));
    b.U32(fiOff).U32(static_cast<std::uint32_t>(fieldIndices.Size()));
    b.U32(liOff).U32(static_cast<std::uint32_t>(listIndices.Size()));
    for (const auto& s : structs) b.U32(s[0]).U32(s[1]).U32(s[2]);
    for (const auto& f : fields) b.U32(f[0]).U32(f[1]).U32(f[2]);
    for (const auto& l : labels) b.Fixed(l, 16);
    b.Raw(data.Build()).Raw(fieldIndices.Build()).Raw(listIndices.Build());
    return b.Build();
  }
};

// Root (type 7) with one field of each kind; a child struct with a single
// field, a list whose first element has no fields but a junk offset; the
// localized string's stored TotalSize (999) is wrong.
GffImage AllTypes();

// One line per node: depth, label, type and value; the whole tree as text.
std::string DumpTree(const TGFFStruct& root);

}  // namespace vey::test
