#include "db/postgres/pg_catalog.h"

#include <cctype>

#include "db/backend.h"
#include "platform/text.h"

namespace tarn::db::pg {
// Names reach here only through IsValidCatalogName (letters, digits, '_').
std::string SchemaExistsSql(const std::string& schema) {
  return "SELECT 1 FROM pg_namespace WHERE nspname = '" + AsciiLower(schema) + "'";
}

// public stays on the path: citext's operators live there, and without
// them a citext column would compare as case-sensitive text.
std::string UseSql(const std::string& schema) { return "SET search_path TO \"" + AsciiLower(schema) + "\", public"; }

std::string CreateSchemaSql(const std::string& schema) { return "CREATE SCHEMA \"" + AsciiLower(schema) + "\""; }

const char* const* SetupSql() {
  static const char* const kSql[] = {
      "CREATE EXTENSION IF NOT EXISTS citext SCHEMA public",
      "DO $$ BEGIN CREATE DOMAIN public.flag AS smallint; EXCEPTION WHEN duplicate_object THEN NULL; END $$", nullptr};
  return kSql;
}

int NativeFor(const std::string& s) {
  if (s == "40P01") return kNativeDeadlock;
  if (s == "42601") return kNativeSyntax;
  if (s == "42P01") return kNativeNoObject;
  if (s == "42703") return kNativeNoColumn;
  if (s == "23505") return kNativeDuplicateKey;
  if (s == "3F000") return kNativeNoDatabase;
  if (s == "3D000") return kNativeCannotOpenDatabase;
  if (s == "28P01" || s == "28000") return kNativeLoginFailed;
  return 0;
}

}  // namespace tarn::db::pg
