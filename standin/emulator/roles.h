// The stand-in emulator's roles, chosen by the program's own file name (compared without regard
// to case):
// - "Tarnwick.exe" / "qvinst.exe", the full installer: reads "-silence -downloader -openid=<id>
//   [-language=<code>] -path="<folder>" [-googleid=<id>]" (a folder ending in a backslash is
//   read without it, as the argument rules deliver it), copies itself into the folder as
//   "corvide.exe", "corvidectl.exe" and "corvidemulti.exe" and writes "InstallDir" (the folder
//   text as given) under the key of its generation in HKEY_CURRENT_USER (the registry store here) ("qvinst.exe": China keys, otherwise the
//   international ones; TARNWICK_STANDIN_GENERATION 4, 64, 9 or 3, default 9).
//   TARNWICK_STANDIN_INSTALLER=hang records and then never ends; =fail records and exits 3
//   without installing.
// - "corvide.exe", the emulator: records its parameters, user and working folder.
//   TARNWICK_STANDIN_EMULATOR=stay keeps it running; =multi starts "corvidemulti.exe" from its
//   own folder first ("corvidemulti.exe" records and keeps running).
// - "corvidectl.exe", the console tool: accepts "modify --index 0 --resolution <r>" and
//   "installapk --index 0 --filename <file> [--packagename <name> --fileobb <file>] --wait --hide"
//   (the files must exist); anything else is recorded as refused and exits 2.
// Exit codes: 0 done, 2 refused, 3 failed on request (or the install could not be laid out).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace standin {

struct Invocation {
  std::filesystem::path program;  // the running file
  std::string image;              // its file name
  std::vector<std::string> args;  // the arguments as received (UTF-8)
};

int runInstaller(const Invocation& call, bool chinaVariant);
int runEmulator(const Invocation& call);
int runMulti(const Invocation& call);
int runConsole(const Invocation& call);

// The registry key of an installed emulator of |generation| ("9", "4", "64", "3"); empty for
// any other text.
std::wstring generationKey(const std::string& generation, bool chinaVariant);

}  // namespace standin
