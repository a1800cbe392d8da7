// What the two remote-document fuzz targets share: the model's reader, compiled into the target
// (its document helpers are private to that file), and the reference it is checked against.
#pragma once

#include "model/downloader_model_remote_config.cpp"  // NOLINT(bugprone-suspicious-include)

#include <rapidjson/document.h>

#include <string>

namespace fuzzdoc {

inline void check(bool condition) {
  if (!condition) __builtin_trap();
}

inline void silent(const char*, int, const wchar_t*) {}

// Whether |value| nests more than |limit| arrays or objects (stops looking past the limit).
inline bool deeperThan(const rapidjson::Value& value, unsigned limit) {
  if (!value.IsArray() && !value.IsObject()) return false;
  if (limit == 0) return true;
  if (value.IsArray()) {
    for (const auto& item : value.GetArray()) {
      if (deeperThan(item, limit - 1)) return true;
    }
  } else {
    for (const auto& member : value.GetObject()) {
      if (deeperThan(member.value, limit - 1)) return true;
    }
  }
  return false;
}

// The same value, members compared in order (rapidjson's own == looks members up by name, which
// a document with a name twice does not pass).
inline bool sameValue(const rapidjson::Value& a, const rapidjson::Value& b) {
  if (a.GetType() != b.GetType()) return false;
  if (a.IsArray()) {
    if (a.Size() != b.Size()) return false;
    for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
      if (!sameValue(a[i], b[i])) return false;
    }
    return true;
  }
  if (a.IsObject()) {
    if (a.MemberCount() != b.MemberCount()) return false;
    for (auto x = a.MemberBegin(), y = b.MemberBegin(); x != a.MemberEnd(); ++x, ++y) {
      if (x->name != y->name || !sameValue(x->value, y->value)) return false;
    }
    return true;
  }
  return a == b;
}

// The model's reading of |reply|, checked against rapidjson's own whole-document parse: the same
// document when that parse succeeds within the nesting limit, no document otherwise.
inline void parseChecked(const std::string& reply, rapidjson::Document& document) {
  parseReply(reply, document, "fuzz");
  rapidjson::Document reference;
  reference.Parse<rapidjson::kParseIterativeFlag>(reply.data(), reply.size());
  if (reference.HasParseError() || deeperThan(reference, kMaxNesting)) {
    check(document.IsNull());
  } else {
    check(sameValue(document, reference));
  }
}

}  // namespace fuzzdoc
