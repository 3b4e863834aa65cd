#include "Orvane/Core/Property.h"

#include <algorithm>

namespace Orvane::Core {

void Property::SetChild(const std::string& name, const std::string& value) {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const Property& child) { return child.name_ == name; });
  if (it != children_.end()) {
    it->value_ = value;
  } else {
    children_.emplace_back(name, value);
  }
}

const Property* Property::FindChild(const std::string& name) const {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const Property& child) { return child.name_ == name; });
  return it == children_.end() ? nullptr : &*it;
}

Property GetRootItem() { return Property(); }

}  // namespace Orvane::Core
