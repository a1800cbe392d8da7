// One record per invocation of the stand-in emulator: a JSON object on one line, appended to the
// record file (TARNWICK_STANDIN_RECORD, else "standin-record.jsonl" beside the program). Every
// record holds "role", "image", "args" (the arguments as the program received them), "uid",
// "elevated" (administrator rights), "cwd", "pid" and "result"; the roles add what they read ("path", "registryKey", "command", ...).
#pragma once

#include <string>
#include <vector>

#include <rapidjson/document.h>

namespace standin {

class Record {
 public:
  Record(const std::string& role, const std::string& image, const std::vector<std::string>& args);

  void set(const char* key, const std::string& value);
  void set(const char* key, unsigned value);
  void set(const char* key, bool value);

  // The record as one line ending in "\n".
  std::string line() const;
  // Appends the record; false when it could not be written.
  bool append() const;

 private:
  rapidjson::Document doc_;
};

// The record file (UTF-8 path text).
std::string recordPath();

}  // namespace standin
