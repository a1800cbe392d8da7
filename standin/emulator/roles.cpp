#include "standin/emulator/roles.h"

#include <deque>
#include <string>
#include <filesystem>
#include <system_error>

#include "standin/emulator/platform.h"
#include "standin/emulator/record.h"
#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"

namespace standin {
namespace {

constexpr int kRefused = 2;
constexpr int kFailed = 3;

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

int refuse(Record& record, const std::string& reason) {
  record.set("result", std::string("refused"));
  record.set("reason", reason);
  record.append();
  return kRefused;
}

// Copies the program to |target| under a temporary name first, so an emulator still running
// from |target| keeps its file and the new one appears whole.
bool placeCopy(const std::filesystem::path& program, const std::filesystem::path& target) {
  std::error_code error;
  std::filesystem::path part = target;
  part += ".part";
  std::filesystem::copy_file(program, part, std::filesystem::copy_options::overwrite_existing, error);
  if (error) return false;
  std::filesystem::permissions(part,
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec,
                               error);
  if (error) return false;
  std::filesystem::rename(part, target, error);
  if (!error) return true;
  // Windows keeps a running program's file from being replaced, but lets it be renamed: move it
  // aside (it goes when it no longer runs and a later installation clears it).
  std::filesystem::path aside = target;
  aside += ".old-" + std::to_string(processId());
  std::filesystem::rename(target, aside, error);
  if (error) return false;
  std::filesystem::rename(part, target, error);
  std::error_code ignored;
  std::filesystem::remove(aside, ignored);
  return !error;
}

bool fileExists(const std::string& windowsPath) {
  const std::filesystem::path host = hostPath(utility::utf8ToWide(windowsPath));
  std::error_code error;
  return !host.empty() && std::filesystem::is_regular_file(host, error);
}

}  // namespace

std::wstring generationKey(const std::string& generation, bool chinaVariant) {
  if (generation == "4") return chinaVariant ? L"Software\\morvane\\Tarnwick" : L"Software\\Pellfor\\Tarnwick";
  if (generation == "64") return chinaVariant ? L"Software\\morvane\\Tarnwick64" : L"Software\\Pellfor\\Tarnwick64";
  if (generation == "9") return chinaVariant ? L"Software\\morvane\\Tarnwick9" : L"Software\\Pellfor\\Tarnwick9";
  if (generation == "3") return chinaVariant ? L"Software\\Dornvale2\\corvide" : L"Software\\Dornvale\\Tarnwick";
  return std::wstring();
}

int runInstaller(const Invocation& call, bool chinaVariant) {
  Record record("installer", call.image, call.args);
  bool silence = false;
  bool downloader = false;
  bool havePath = false;
  std::string path;
  std::deque<std::string> args(call.args.begin(), call.args.end());
  while (!args.empty()) {
    const std::string arg = args.front();
    args.pop_front();
    if (arg == "-silence") {
      silence = true;
    } else if (arg == "-downloader") {
      downloader = true;
    } else if (startsWith(arg, "-openid=")) {
      record.set("openid", arg.substr(8));
    } else if (startsWith(arg, "-language=")) {
      record.set("language", arg.substr(10));
    } else if (startsWith(arg, "-googleid=")) {
      record.set("googleid", arg.substr(10));
    } else if (startsWith(arg, "-path=")) {
      // A quoted folder ending in a backslash arrives without that backslash and with the
      // closing quote kept, and the quote left open swallows the parameters after it
      // (-path="D:\a\" -googleid=g gives D:\a" -googleid=g): the folder ends at the quote and
      // what follows it is read as parameters again.
      path = arg.substr(6);
      if (const size_t quote = path.find('"'); quote != std::string::npos) {
        for (const std::wstring& more : utility::splitCommandLine(utility::utf8ToWide(path.substr(quote + 1)))) {
          args.push_back(utility::wideToUtf8(more));
        }
        path.resize(quote);
      }
      havePath = true;
      record.set("path", path);
    } else {
      return refuse(record, std::string("unknown parameter ").append(arg));
    }
  }
  if (!silence || !downloader) return refuse(record, "not a silent downloader installation");
  if (!havePath || path.empty()) return refuse(record, "no -path");

  const std::string fault = environment("TARNWICK_STANDIN_INSTALLER");
  if (fault == "fail") {
    record.set("result", std::string("failed"));
    record.append();
    return kFailed;
  }
  if (fault == "hang") {
    record.set("result", std::string("hanging"));
    record.append();
    stayRunning();
  }

  const std::string given = environment("TARNWICK_STANDIN_GENERATION");
  const std::string generation = given.empty() ? std::string("9") : given;
  const std::wstring key = generationKey(generation, chinaVariant);
  if (key.empty()) return refuse(record, std::string("unknown generation ").append(generation));
  record.set("registryKey", utility::wideToUtf8(key));

  const std::wstring folderText = utility::utf8ToWide(path);
  const std::filesystem::path folder = hostPath(folderText);
  if (folder.empty()) return refuse(record, "unknown drive");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  bool laidOut = !error;
  for (const char* name : {"corvide.exe", "corvidectl.exe", "corvidemulti.exe"}) {
    laidOut = laidOut && placeCopy(call.program, folder / name);
  }
  const bool registered = laidOut && registerInstallDir(key, folderText);
  record.set("result", std::string(registered ? "installed" : "failed"));
  record.append();
  return registered ? 0 : kFailed;
}

int runEmulator(const Invocation& call) {
  Record record("emulator", call.image, call.args);
  const std::string mode = environment("TARNWICK_STANDIN_EMULATOR");
  if (mode == "multi") {
    // The child is left running for the kill step.
    record.set("child", startProgram(call.program.parent_path() / "corvidemulti.exe"));
  }
  record.set("result", std::string(mode.empty() ? "ran" : "running"));
  record.append();
  if (mode == "stay" || mode == "multi") stayRunning();
  return 0;
}

int runMulti(const Invocation& call) {
  Record record("multi", call.image, call.args);
  record.set("result", std::string("running"));
  record.append();
  stayRunning();
}

int runConsole(const Invocation& call) {
  Record record("console", call.image, call.args);
  const std::vector<std::string>& a = call.args;
  if (a.empty()) return refuse(record, "no command");
  record.set("command", a[0]);
  if (a.size() < 3 || a[1] != "--index" || a[2] != "0") return refuse(record, "no --index 0");
  if (a[0] == "modify") {
    if (a.size() != 5 || a[3] != "--resolution" || a[4].empty()) return refuse(record, "malformed modify");
    record.set("resolution", a[4]);
  } else if (a[0] == "installapk") {
    // installapk --index 0 --filename F [--packagename P --fileobb O] --wait --hide
    const bool withObb = a.size() == 11;
    if ((a.size() != 7 && !withObb) || a[3] != "--filename" || a[4].empty() ||
        (withObb && (a[5] != "--packagename" || a[6].empty() || a[7] != "--fileobb" || a[8].empty())) ||
        a[a.size() - 2] != "--wait" || a[a.size() - 1] != "--hide") {
      return refuse(record, "malformed installapk");
    }
    record.set("filename", a[4]);
    if (withObb) {
      record.set("packagename", a[6]);
      record.set("fileobb", a[8]);
    }
    if (!fileExists(a[4]) || (withObb && !fileExists(a[8]))) return refuse(record, "no such file");
  } else {
    return refuse(record, "unknown command");
  }
  record.set("result", std::string("accepted"));
  record.append();
  return 0;
}

}  // namespace standin
