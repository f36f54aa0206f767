// UGFFChanges: the changed places of a document, from its edits.
#include "formats/UGFFChanges.h"

#include <algorithm>
#include <cstdint>

#include "formats/UFormatDiff.h"

namespace vey {
namespace {

// The position of child in parent: its index among a struct's fields or a
// list's elements, or -1 when it is not there.
std::int64_t IndexIn(const TGFFField& parent, const TGFFField* child) {
  if (const auto* s = parent.As<TGFFStruct>()) {
    const auto& fields = s->Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (fields[i].get() == child) return static_cast<std::int64_t>(i);
  } else if (const auto* l = parent.As<TGFFList>()) {
    const auto& elements = l->Structs();
    for (std::size_t i = 0; i < elements.size(); ++i)
      if (elements[i].get() == child) return static_cast<std::int64_t>(i);
  }
  return -1;
}

}  // namespace

void TGFFChangeLog::Clear() {
  changes_.clear();
  changed_.clear();
  added_.clear();
}

void TGFFChangeLog::Changing(const TGFFTrail& trail) {
  if (trail.empty() || !changed_.insert(trail.back()).second) return;
  changes_.push_back({trail, CopyFieldValue(*trail.back())});
}

void TGFFChangeLog::Added(const TGFFTrail& parent, TGFFField& node) {
  if (!added_.insert(&node).second) return;
  Change change{parent, nullptr};
  change.trail.push_back(&node);
  changes_.push_back(std::move(change));
}

std::vector<std::string> TGFFChangeLog::ChangedPaths(const TGFFFile& document) const {
  struct Place {
    std::vector<std::int64_t> order;  // indexes from the top level down
    const Change* change;
    std::string path;
  };
  std::vector<Place> places;
  const TGFFStruct* root = document.RootStruct();
  if (!root) return {};
  for (const Change& change : changes_) {
    // What was added inside an added field is named by that field alone.
    const std::size_t last = change.trail.size() - 1;
    bool inside = false;
    for (std::size_t i = 0; i < change.trail.size() && !inside; ++i)
      inside = added_.contains(change.trail[i]) && (i < last || change.before);
    if (inside) continue;
    Place place{{}, &change, {}};
    const TGFFField* parent = root;
    for (const TGFFField* field : change.trail) {
      const std::int64_t index = IndexIn(*parent, field);
      if (index < 0) break;
      place.order.push_back(index);
      if (!place.path.empty()) place.path += '\\';
      place.path += parent->As<TGFFList>() ? std::to_string(index) : field->Label();
      parent = field;
    }
    if (place.order.size() == change.trail.size()) places.push_back(std::move(place));
  }
  std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.order < b.order; });
  std::vector<std::string> paths;
  for (const Place& place : places) {
    if (!place.change->before) {
      paths.push_back(place.path);
      continue;
    }
    for (TDifference& d : DiffFieldValues(*place.change->before, *place.change->trail.back(), place.path))
      paths.push_back(std::move(d.where));
  }
  return paths;
}

}  // namespace vey
