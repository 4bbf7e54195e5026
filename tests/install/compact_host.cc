// A host of the compact build alone. Without arguments it sets and reads
// the properties a host sets before the dialog. With a connection string
// it asks for the dialog, in C++ and through the C interface, and prints
// what each answered: on a display that does not answer, an error and not
// the end of the host.
#include <cstdio>

#include "tarn/com_error.h"
#include "tarn/compact_login.h"
#include "tarn/tarn.h"

namespace {

int ShowDialog(const char* conn) {
  tarn::CompactLogin login;
  login.set_StrConn(conn);
  try {
    login.Login();
    std::printf("C++ Login: %s\n", login.StrTarnConn().c_str());
  } catch (const tarn::ComError& e) {
    std::printf("C++ Login: error %d: %s\n", e.number(), e.description().c_str());
  }

  tarn_object* object = nullptr;
  if (tarn_create("TarnLogin.Login", &object) != 0) {
    std::printf("create: %s\n", tarn_error_description());
    return 1;
  }
  tarn_variant value;
  tarn_variant_init(&value);
  tarn_variant_set_string(&value, conn);
  int rc = tarn_set(object, "StrConn", &value);
  if (rc == 0) rc = tarn_invoke(object, "Login", nullptr, 0, nullptr);
  std::printf("C Login: error %d: %s\n", rc, rc ? tarn_error_description() : "");
  tarn_variant_clear(&value);
  tarn_release(object);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) return ShowDialog(argv[1]);
  tarn::CompactLogin login;
  login.set_StrConn("Provider=SQLite;Data Source=/tmp;Initial Catalog=TarnHost");
  tarn::CompactLogin other;  // the same thread: the same values
  std::printf("StrConn %s\n", other.StrConn().c_str());
  return other.StrConn() == login.StrConn() ? 0 : 1;
}
