// What the stand-in emulator needs from the system beyond the utility layer: one implementation
// per platform (platform_linux.cpp, platform_win.cpp), chosen by the build.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace standin {

// The program's arguments as UTF-8, split by the Windows command-line rules on Windows (the
// wide command line) and as the system passed them on Linux.
std::vector<std::string> arguments(int argc, char** argv);

// Appends |line| (one record, ending in "\n") to the file named by |path| (a host path here, a
// Windows path on Windows; UTF-8) in a single append, so records of processes running side by
// side never interleave. False when the file cannot be opened or the write is short.
bool appendLine(const std::string& path, const std::string& line);

// The user this process runs as: the user id here, the relative id of the user's SID on Windows.
unsigned userId();
// Whether this process runs with administrator rights (root here, an elevated token on Windows).
bool elevated();
// This process's working folder (UTF-8); empty when unknown.
std::string workingFolder();
// This process's id.
unsigned processId();
// The value of the environment variable |name| (UTF-8); empty when unset.
std::string environment(const char* name);
// Blocks for good: the process stays until it is killed.
[[noreturn]] void stayRunning();
// The running program's file (the copy that was started, not the original).
std::filesystem::path programPath();
// A path as UTF-8 text.
std::string pathText(const std::filesystem::path& path);

// The file a Windows path text names: through the drive table here, as it is on Windows. Empty
// when its drive does not exist.
std::filesystem::path hostPath(const std::wstring& windowsPath);
// Writes "InstallDir" = |folder| under HKEY_CURRENT_USER\|key| (the registry store here).
bool registerInstallDir(const std::wstring& key, const std::wstring& folder);
// Starts |program| without arguments and without waiting; its process id, or 0 when it did not
// start. The child is left running.
unsigned startProgram(const std::filesystem::path& program);

}  // namespace standin
