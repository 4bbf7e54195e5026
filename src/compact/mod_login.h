// The compact build's module: the strings every object and the form of a
// thread share, the texts of the form, the two connection strings, and the
// helpers that read one value of the host's database and take the code out
// of an account entry.
#ifndef TARN_COMPACT_MOD_LOGIN_H_
#define TARN_COMPACT_MOD_LOGIN_H_

#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::compact {

struct ModuleData {
  std::string StrConn;      // the host's database, which holds sys_path
  std::string StrTarnConn;  // what the form hands back
  // The form's working string: the system database's while account sets
  // and years are listed, the account database's (or "") when it closes.
  std::string StrWorkConn;
};

// This thread's: every Login object of a thread sees the same values.
ModuleData& Module();

inline constexpr char kCaption[] = "岚峰帐套参数设定";
inline constexpr char kMessageTitle[] = "岚峰帐套参数设置";
inline constexpr char kBadSettings[] = "设置不正确!";

// The two strings the form builds. A value with a character that would end
// or open an item (';', a leading quote, spaces at its ends) is quoted, so a
// password cannot add items of its own; every other value stands as typed.
std::string SystemConnectionString(std::string_view user, std::string_view password, std::string_view server);
std::string AccountConnectionString(std::string_view user, std::string_view password, std::string_view account,
                                    std::string_view year, std::string_view server);

// The first row's `field` of `sql` on StrConn; Empty without rows. A NULL
// reads as 0 in a numeric, integer, double or decimal field and as "" in
// any other. Throws ComError when the statement or the connection fails.
Variant GetFieldValue(const std::string& sql, const std::string& field);

// The part of an entry "code|name" before the first '|'; "" without one.
std::string GetAccCode(std::string_view text);

}  // namespace tarn::compact

#endif  // TARN_COMPACT_MOD_LOGIN_H_
