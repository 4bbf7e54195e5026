// tarn regsvr: registers a library of the component in the registry file
// (its DllRegisterServer), or with -u removes it, as regsvr32 does.
//   tarn regsvr [-u] LIBRARY
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "commands.h"

namespace tarn::app {
namespace {

int RunRegsvr(const std::string& library, bool remove) {
  void* dl = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    std::fprintf(stderr, "tarn regsvr: %s\n", dlerror());
    return 1;
  }
  const char* entry = remove ? "DllUnregisterServer" : "DllRegisterServer";
  auto call = reinterpret_cast<int (*)()>(dlsym(dl, entry));
  if (!call) {
    std::fprintf(stderr, "tarn regsvr: %s has no %s\n", library.c_str(), entry);
    return 1;
  }
  const int rc = call();
  if (rc != 0) {
    std::fprintf(stderr, "tarn regsvr: %s answered %d\n", entry, rc);
    return 1;
  }
  std::printf("%s: %s succeeded\n", library.c_str(), entry);
  return 0;
}

}  // namespace

void AddRegsvrCommand(CLI::App& app, int* code) {
  static std::string library;
  static bool remove = false;
  CLI::App* cmd = app.add_subcommand("regsvr", "register a library's classes in the registry file, or remove them");
  cmd->add_flag("-u,--unregister", remove, "remove them (DllUnregisterServer)");
  cmd->add_option("LIBRARY", library, "libtarnlogin.so, libtarnlogin-ext.so or libtarnlogin-compact.so")->required();
  cmd->callback([code] { *code = RunRegsvr(library, remove); });
}

}  // namespace tarn::app
