// tarn regsvr: registers a library of the component in the registry file
// (its DllRegisterServer), or with -u removes it, as regsvr32 does.
//   tarn regsvr [-u] LIBRARY
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "commands.h"

namespace tarn::app {

int RunRegsvr(const Args& args) {
  bool remove = false;
  std::string library;
  for (const std::string& a : args) {
    if (a == "-u") {
      remove = true;
    } else if (library.empty() && !a.empty() && a[0] != '-') {
      library = a;
    } else {
      library.clear();
      break;
    }
  }
  if (library.empty()) {
    std::fputs("usage: tarn regsvr [-u] LIBRARY\n", stderr);
    return 2;
  }
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

}  // namespace tarn::app
