#include "standin/emulator/record.h"

#include <filesystem>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "standin/emulator/platform.h"

namespace standin {

Record::Record(const std::string& role, const std::string& image,
               const std::vector<std::string>& args) {
  doc_.SetObject();
  set("role", role);
  set("image", image);
  rapidjson::Value list(rapidjson::kArrayType);
  for (const std::string& a : args) {
    list.PushBack(rapidjson::Value(a.c_str(), static_cast<rapidjson::SizeType>(a.size()), doc_.GetAllocator()),
                  doc_.GetAllocator());
  }
  doc_.AddMember("args", list, doc_.GetAllocator());
  set("uid", userId());
  set("elevated", elevated());
  set("cwd", workingFolder());
  set("pid", processId());
}

void Record::set(const char* key, const std::string& value) {
  rapidjson::Value v(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), doc_.GetAllocator());
  if (auto it = doc_.FindMember(key); it != doc_.MemberEnd()) {
    it->value = v;
    return;
  }
  doc_.AddMember(rapidjson::Value(key, doc_.GetAllocator()), v, doc_.GetAllocator());
}

void Record::set(const char* key, unsigned value) {
  if (auto it = doc_.FindMember(key); it != doc_.MemberEnd()) {
    it->value.SetUint(value);
    return;
  }
  doc_.AddMember(rapidjson::Value(key, doc_.GetAllocator()), rapidjson::Value(value), doc_.GetAllocator());
}

void Record::set(const char* key, bool value) {
  if (auto it = doc_.FindMember(key); it != doc_.MemberEnd()) {
    it->value.SetBool(value);
    return;
  }
  doc_.AddMember(rapidjson::Value(key, doc_.GetAllocator()), rapidjson::Value(value), doc_.GetAllocator());
}

std::string Record::line() const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  doc_.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

bool Record::append() const { return appendLine(recordPath(), line()); }

std::string recordPath() {
  std::string path = environment("TARNWICK_STANDIN_RECORD");
  if (!path.empty()) return path;
  return pathText(programPath().parent_path() / "standin-record.jsonl");
}

}  // namespace standin
