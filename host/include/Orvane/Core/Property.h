#pragma once
// The framework's property tree: a named node with an optional string value and ordered children.
#include <string>
#include <vector>

#include "Orvane/Export.h"

namespace Orvane::Core {

class ORVANE_API Property {
 public:
  Property() = default;
  explicit Property(std::string name, std::string value = {})
      : name_(std::move(name)), value_(std::move(value)) {}

  const std::string& Name() const { return name_; }
  const std::string& GetString() const { return value_; }
  void SetString(std::string value) { value_ = std::move(value); }

  using const_iterator = std::vector<Property>::const_iterator;
  const_iterator begin() const { return children_.begin(); }
  const_iterator end() const { return children_.end(); }
  size_t ChildCount() const { return children_.size(); }

  // Sets the string of the first child with this name, adding the child when there is none.
  void SetChild(const std::string& name, const std::string& value);
  void Add(Property child) { children_.push_back(std::move(child)); }
  // The first child with this name, or null.
  const Property* FindChild(const std::string& name) const;

 private:
  std::string name_;
  std::string value_;
  std::vector<Property> children_;
};

// An empty, unnamed root to which results are added.
ORVANE_API Property GetRootItem();

}  // namespace Orvane::Core
