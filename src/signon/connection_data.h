// What the login object derives from the account connection string it was
// handed: the data server, the database password, the account database
// name and the account paths.
#ifndef TARN_SIGNON_CONNECTION_DATA_H_
#define TARN_SIGNON_CONNECTION_DATA_H_

#include <string>
#include <string_view>

namespace tarn::signon {

// The text between "SOURCE=" and the next ";" (keys matched upper-cased).
// Throws ComError when either is missing: the sign-on reports it.
std::string DataServerName(std::string_view connection_string);

// The text after ";PASSWORD=", up to ";INITIAL CATALOG=" when that follows.
// A password in double quotes loses them, and '' inside becomes '.
std::string DatabasePassword(std::string_view connection_string);

// "VALEDATA_<account>_<year>", or "" when either is empty.
std::string AccountDatabaseName(std::string_view acc_id, std::string_view year);

// "\ZT<account>\<year>\" and "\ZT<account>\<year>".
std::string AccountDbPath(std::string_view acc_id, std::string_view year);
std::string AccountZtPath(std::string_view acc_id, std::string_view year);

}  // namespace tarn::signon

#endif  // TARN_SIGNON_CONNECTION_DATA_H_
