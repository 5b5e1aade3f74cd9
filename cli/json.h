// A small JSON value for the command-line tool's --json output: objects keep their
// keys in insertion order so that output reads the way it was built.
#ifndef PAGEWEAVER_CLI_JSON_H
#define PAGEWEAVER_CLI_JSON_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace json {

class Value {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : kind_(Kind::kBool), bool_(b) {}
  Value(int n) : kind_(Kind::kNumber), number_(n) {}
  Value(unsigned n) : kind_(Kind::kNumber), number_(n) {}
  Value(int64_t n) : kind_(Kind::kNumber), number_(double(n)) {}
  Value(uint64_t n) : kind_(Kind::kNumber), number_(double(n)) {}
  Value(double n) : kind_(Kind::kNumber), number_(n) {}
  Value(const char* s) : kind_(Kind::kString), string_(s) {}
  Value(std::string s) : kind_(Kind::kString), string_(std::move(s)) {}

  static Value Array() {
    Value v;
    v.kind_ = Kind::kArray;
    return v;
  }
  static Value Object() {
    Value v;
    v.kind_ = Kind::kObject;
    return v;
  }

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::kNull; }
  bool AsBool() const { return bool_; }
  double AsNumber() const { return number_; }
  const std::string& AsString() const { return string_; }
  const std::vector<Value>& Items() const { return items_; }
  const std::vector<std::pair<std::string, Value>>& Members() const { return members_; }

  // Arrays.
  Value& Append(Value v) {
    items_.push_back(std::move(v));
    return items_.back();
  }
  // Objects: sets (or replaces) a member and returns it.
  Value& Set(const std::string& key, Value v);
  // Objects: the member, or null when absent.
  const Value* Find(const std::string& key) const;

  std::string Dump(int indent = -1) const;

 private:
  void DumpTo(std::string& out, int indent, int level) const;

  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<Value> items_;
  std::vector<std::pair<std::string, Value>> members_;
};

// Parses JSON text; on failure returns false with a message naming the offset.
bool Parse(const std::string& text, Value* out, std::string* error);

}  // namespace json

#endif  // PAGEWEAVER_CLI_JSON_H
