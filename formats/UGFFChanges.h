// UGFFChanges: TGFFChangeLog, the places of a document that its edits
// changed, kept as the edits happen: the paths come out as a whole
// comparison of the document with its loaded self would name them, in the
// same order, without the document being read or compared a second time.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/UGFFFile.h"

namespace vey {

class TGFFChangeLog : public TGFFEditObserver {
 public:
  // Forgets every change; for the next document loaded.
  void Clear();

  void Changing(const TGFFTrail& trail) override;
  void Added(const TGFFTrail& parent, TGFFField& node) override;

  // The paths that differ from the document as loaded, in document order: a
  // field whose value (or a struct whose type) now differs, a field or list
  // element added (not what was added inside it). A field set back to its
  // old value is left out. document must be the one observed.
  std::vector<std::string> ChangedPaths(const TGFFFile& document) const;

 private:
  struct Change {
    TGFFTrail trail;                  // down to the changed or added field
    std::unique_ptr<TGFFField> before;  // null for an added field
  };
  std::vector<Change> changes_;
  std::unordered_set<const TGFFField*> changed_, added_;
};

}  // namespace vey
