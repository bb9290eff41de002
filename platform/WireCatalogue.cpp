#include "platform/WireCatalogue.h"

#include <map>
#include <mutex>

namespace evtask {

namespace {
struct Registry {
  mutable std::mutex mu;
  std::map<uint32_t, const WireLayout*> layouts;
};
Registry& registry() {
  static Registry* r = new Registry();
  return *r;
}
}  // namespace

WireCatalogue& WireCatalogue::instance() {
  static WireCatalogue catalogue;
  return catalogue;
}

bool WireCatalogue::validate(const WireLayout* layout, std::string* err, int depth) {
  auto fail = [&](const std::string& text) {
    if (err) *err = text;
    return false;
  };
  if (layout == nullptr) return fail("null layout");
  const std::string name = layout->name ? layout->name : "?";
  if (depth > kMaxDepth) return fail(name + ": nested deeper than the limit");
  if (layout->size == 0) return fail(name + ": empty structure");
  for (const WireRef& ref : layout->refs) {
    if (ref.offset % 4 != 0 || ref.offset > layout->size || layout->size - ref.offset < 4) {
      return fail(name + ": reference at " + std::to_string(ref.offset) + " outside the structure");
    }
    if (ref.kind == WireRef::kArray) {
      if (ref.countOffset > layout->size || layout->size - ref.countOffset < 4) {
        return fail(name + ": count at " + std::to_string(ref.countOffset) + " outside the structure");
      }
      if (!validate(ref.element, err, depth + 1)) return false;
    } else if (ref.kind != WireRef::kText) {
      return fail(name + ": unknown reference kind");
    }
  }
  return true;
}

bool WireCatalogue::add(uint32_t type, const WireLayout* layout, std::string* err) {
  if (!validate(layout, err)) return false;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.layouts.find(type);
  if (it != r.layouts.end() && it->second != layout) {
    if (err) *err = "type " + std::to_string(type) + " is already registered";
    return false;
  }
  r.layouts[type] = layout;
  return true;
}

const WireLayout* WireCatalogue::find(uint32_t type) const {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.layouts.find(type);
  return it == r.layouts.end() ? nullptr : it->second;
}

std::vector<uint32_t> WireCatalogue::types() const {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  std::vector<uint32_t> out;
  for (const auto& kv : r.layouts) out.push_back(kv.first);
  return out;
}

}  // namespace evtask
