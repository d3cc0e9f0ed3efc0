// Per-instance store of a custom control's persisted properties, read and written by name.
// A value equal to its default is not kept, so only changed values are stored.
#pragma once

#include <map>
#include <string>

class PropertyStore {
 public:
  std::string read(const std::string& name, const std::string& defaultValue) const {
    auto it = values_.find(name);
    return it == values_.end() ? defaultValue : it->second;
  }
  void write(const std::string& name, const std::string& value, const std::string& defaultValue) {
    if (value == defaultValue) values_.erase(name);
    else values_[name] = value;
  }
  long readLong(const std::string& name, long defaultValue) const;
  void writeLong(const std::string& name, long value, long defaultValue) {
    write(name, std::to_string(value), std::to_string(defaultValue));
  }
  bool has(const std::string& name) const { return values_.count(name) != 0; }
  const std::map<std::string, std::string>& stored() const { return values_; }

 private:
  std::map<std::string, std::string> values_;
};

inline long PropertyStore::readLong(const std::string& name, long defaultValue) const {
  auto it = values_.find(name);
  if (it == values_.end()) return defaultValue;
  try {
    return std::stol(it->second);
  } catch (...) {
    return defaultValue;
  }
}
