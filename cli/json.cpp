#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace json {

Value& Value::Set(const std::string& key, Value v) {
  for (auto& member : members_)
    if (member.first == key) return member.second = std::move(v);
  members_.emplace_back(key, std::move(v));
  return members_.back().second;
}

const Value* Value::Find(const std::string& key) const {
  for (const auto& member : members_)
    if (member.first == key) return &member.second;
  return nullptr;
}

namespace {

void Escape(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  out += '"';
}

void Newline(std::string& out, int indent, int level) {
  if (indent < 0) return;
  out += '\n';
  out.append(size_t(indent * level), ' ');
}

}  // namespace

void Value::DumpTo(std::string& out, int indent, int level) const {
  switch (kind_) {
    case Kind::kNull:
      out += "null";
      break;
    case Kind::kBool:
      out += bool_ ? "true" : "false";
      break;
    case Kind::kNumber: {
      char buf[32];
      if (std::isfinite(number_) && number_ == std::floor(number_) && std::fabs(number_) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", number_);
      else
        std::snprintf(buf, sizeof buf, "%.17g", number_);
      out += buf;
      break;
    }
    case Kind::kString:
      Escape(out, string_);
      break;
    case Kind::kArray:
      out += '[';
      for (size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ',';
        Newline(out, indent, level + 1);
        items_[i].DumpTo(out, indent, level + 1);
      }
      if (!items_.empty()) Newline(out, indent, level);
      out += ']';
      break;
    case Kind::kObject:
      out += '{';
      for (size_t i = 0; i < members_.size(); ++i) {
        if (i) out += ',';
        Newline(out, indent, level + 1);
        Escape(out, members_[i].first);
        out += indent < 0 ? ":" : ": ";
        members_[i].second.DumpTo(out, indent, level + 1);
      }
      if (!members_.empty()) Newline(out, indent, level);
      out += '}';
      break;
  }
}

std::string Value::Dump(int indent) const {
  std::string out;
  DumpTo(out, indent, 0);
  return out;
}

namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  bool Run(Value* out, std::string* error) {
    bool ok = ParseValue(out, 0) && (SkipSpace(), pos_ == s_.size());
    if (!ok && error) *error = "invalid JSON at offset " + std::to_string(pos_);
    return ok;
  }

 private:
  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }

  bool Literal(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (s_.compare(pos_, n, word) != 0) return false;
    pos_ += n;
    return true;
  }

  bool ParseString(std::string* out) {
    if (pos_ >= s_.size() || s_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < s_.size()) {
      char c = s_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (pos_ >= s_.size()) return false;
      char e = s_[pos_++];
      switch (e) {
        case 'n':
          *out += '\n';
          break;
        case 't':
          *out += '\t';
          break;
        case 'r':
          *out += '\r';
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'u': {
          if (pos_ + 4 > s_.size()) return false;
          unsigned code = unsigned(std::strtoul(s_.substr(pos_, 4).c_str(), nullptr, 16));
          pos_ += 4;
          if (code < 0x80) {
            *out += char(code);
          } else if (code < 0x800) {
            *out += char(0xC0 | (code >> 6));
            *out += char(0x80 | (code & 0x3F));
          } else {
            *out += char(0xE0 | (code >> 12));
            *out += char(0x80 | ((code >> 6) & 0x3F));
            *out += char(0x80 | (code & 0x3F));
          }
          break;
        }
        default:
          *out += e;
      }
    }
    return false;
  }

  bool ParseValue(Value* out, int depth) {
    if (depth > 64) return false;
    SkipSpace();
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '{') {
      ++pos_;
      *out = Value::Object();
      SkipSpace();
      if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
      for (;;) {
        SkipSpace();
        std::string key;
        if (!ParseString(&key)) return false;
        SkipSpace();
        if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
        Value v;
        if (!ParseValue(&v, depth + 1)) return false;
        out->Set(key, std::move(v));
        SkipSpace();
        if (pos_ >= s_.size()) return false;
        if (s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (s_[pos_] == '}') return ++pos_, true;
        return false;
      }
    }
    if (c == '[') {
      ++pos_;
      *out = Value::Array();
      SkipSpace();
      if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
      for (;;) {
        Value v;
        if (!ParseValue(&v, depth + 1)) return false;
        out->Append(std::move(v));
        SkipSpace();
        if (pos_ >= s_.size()) return false;
        if (s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (s_[pos_] == ']') return ++pos_, true;
        return false;
      }
    }
    if (c == '"') {
      std::string str;
      if (!ParseString(&str)) return false;
      *out = Value(std::move(str));
      return true;
    }
    if (Literal("true")) return *out = Value(true), true;
    if (Literal("false")) return *out = Value(false), true;
    if (Literal("null")) return *out = Value(), true;
    const char* begin = s_.c_str() + pos_;
    char* end = nullptr;
    double number = std::strtod(begin, &end);
    if (end == begin) return false;
    pos_ += size_t(end - begin);
    *out = Value(number);
    return true;
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

bool Parse(const std::string& text, Value* out, std::string* error) {
  return Parser(text).Run(out, error);
}

}  // namespace json
