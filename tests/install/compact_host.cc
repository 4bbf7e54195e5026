// A host of the installed compact build: it sets and reads the properties
// a host sets before the dialog (the dialog itself needs a display).
#include <cstdio>

#include "tarn/compact_login.h"

int main() {
  tarn::CompactLogin login;
  login.set_StrConn("Provider=SQLite;Data Source=/tmp;Initial Catalog=TarnHost");
  tarn::CompactLogin other;  // the same thread: the same values
  std::printf("StrConn %s\n", other.StrConn().c_str());
  return other.StrConn() == login.StrConn() ? 0 : 1;
}
