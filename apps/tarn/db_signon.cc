// Sign-on material of `tarn db init`: nothing beyond the tables yet; the
// registry file, the token key and the demo users' password hashes are
// written here once sign-on exists.
#include <cstdio>

#include "db_init.h"

namespace tarn::app {

int InitSignOnMaterial(const DbTarget&) { return 0; }

int RunDbPasswd(const Args&) {
  std::fputs("tarn db passwd: this build has no sign-on to set passwords for\n", stderr);
  return 2;
}

}  // namespace tarn::app
