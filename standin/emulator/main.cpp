// The stand-in emulator: one program that acts by its own file name (see roles.h).
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "standin/emulator/platform.h"
#include "standin/emulator/record.h"
#include "standin/emulator/roles.h"

int main(int argc, char** argv) {
  standin::Invocation call;
  call.program = standin::programPath();
  call.image = standin::pathText(call.program.filename());
  call.args = standin::arguments(argc, argv);

  std::string name = call.image;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (name == "tarnwick.exe") return standin::runInstaller(call, false);
  if (name == "qvinst.exe") return standin::runInstaller(call, true);
  if (name == "corvide.exe") return standin::runEmulator(call);
  if (name == "corvidemulti.exe") return standin::runMulti(call);
  if (name == "corvidectl.exe") return standin::runConsole(call);

  standin::Record record("unknown", call.image, call.args);
  record.set("result", std::string("refused"));
  record.append();
  return 2;
}
