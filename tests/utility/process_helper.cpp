// A child program for the process tests. Modes on every platform:
//   (none)                      exit 0
//   exit <code>                 exit with <code>
//   args <file>                 write argv[0..] to <file>, each followed by a NUL
//   hold-file <file>            write "<pid>\n" to <file> (whole, by a rename), then wait to be killed
//   tree-file <program> <file>  start <program> "hold-quiet", write "<pid> <child pid>\n" to <file>
//                               once the child runs it, then wait to be killed
//   hold-quiet                  wait to be killed
// and the platform's own (process_helper_<platform>.cpp). Any other mode exits with 2.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/utility/process_helper.h"

namespace {

bool writeWhole(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 0;
  const std::string mode = argv[1];
  if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
  if (mode == "args" && argc >= 3) {
    std::string text;
    for (int i = 0; i < argc; ++i) {
      text += argv[i];
      text.push_back('\0');
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    return out.flush() ? 0 : 4;
  }
  if (mode == "hold-file" && argc == 3) {
    if (!writeWhole(argv[2], std::to_string(processhelper::currentPid()) + "\n")) return 4;
    processhelper::waitForKill();
  }
  if (mode == "tree-file" && argc == 4) {
    const uint32_t child = processhelper::startQuietChild(argv[2]);
    if (child == 0) return 5;
    if (!writeWhole(argv[3], std::to_string(processhelper::currentPid()) + " " + std::to_string(child) + "\n")) {
      return 4;
    }
    processhelper::waitForKill();
  }
  if (mode == "hold-quiet") processhelper::waitForKill();
  const int code = processhelper::platformMode(argc, argv);
  return code >= 0 ? code : 2;
}
