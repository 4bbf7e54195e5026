#include "suite/sysdb/schema.h"

#include <string_view>
#include <vector>

namespace tarn::suite {

using db::Connection;
using db::Flavor;
using db::Statement;

namespace {

// Text compares case-insensitively everywhere, as under SQL Server's usual
// collation; ids are text. Bits are small integers on PostgreSQL so that the
// component's "bIsDelete=0" compares as written.
enum class Type { kText, kInt, kSmallInt, kBit, kFloat, kDateTime };

struct Col {
  const char* name;
  Type type;
  int width;          // text only
  bool not_null;      // key columns
  const char* deflt;  // SQL literal, or nullptr
};

struct Index {
  const char* name;
  const char* columns;  // comma-separated
};

struct Table {
  const char* name;
  std::vector<Col> cols;
  const char* primary_key;  // comma-separated, or nullptr
  std::vector<Index> indexes;
};

Col Id(const char* name, bool key = true) { return {name, Type::kText, 20, key, nullptr}; }
Col Text(const char* name, int width) { return {name, Type::kText, width, false, nullptr}; }
Col Int(const char* name, bool key = false) { return {name, Type::kInt, 0, key, nullptr}; }
Col Small(const char* name, const char* deflt = nullptr) { return {name, Type::kSmallInt, 0, false, deflt}; }
Col Bit(const char* name, const char* deflt = nullptr) { return {name, Type::kBit, 0, deflt != nullptr, deflt}; }
Col Float(const char* name) { return {name, Type::kFloat, 0, false, nullptr}; }
Col DateTime(const char* name) { return {name, Type::kDateTime, 0, false, nullptr}; }

const std::vector<Table>& SystemTables() {
  static const std::vector<Table> tables = {
      {"UA_Account",
       {Id("cAcc_Id"),          Text("cAcc_Name", 100),  Text("cAcc_Path", 255),  Int("iYear"),
        Small("iMonth"),        Text("cAcc_Master", 20), Text("cCurCode", 10),    Text("cCurName", 50),
        Text("cUnitName", 200), Text("cUnitAbbre", 100), Text("cUnitAddr", 255),  Text("cUnitZap", 20),
        Text("cUnitTel", 50),   Text("cUnitFax", 50),    Text("cUnitEMail", 100), Text("cUnitTaxNo", 50),
        Text("cUnitLP", 50),    Text("cFinKind", 50),    Text("cFinType", 50),    Text("cEntType", 50),
        Text("cTradeKind", 50)},
       "cAcc_Id",
       {}},
      {"UA_Account_Sub",
       {Id("cAcc_Id"), Int("iYear", true), Id("cSub_Id"), DateTime("dSubSysUsed"), DateTime("dSubOriDate"),
        Small("iModiPeri"), Bit("bclosing")},
       "cAcc_Id,iYear,cSub_Id",
       {{"ix_UA_Account_Sub_year", "iYear,cSub_Id"}}},
      {"UA_Period",
       {Id("cAcc_Id"), Int("iYear", true), Int("iId", true), DateTime("dBegin"), DateTime("dEnd"), Bit("bIsDelete")},
       "cAcc_Id,iYear,iId",
       {{"ix_UA_Period_begin", "cAcc_Id,dBegin"}}},
      {"UA_User",
       {Id("cUser_Id"), Text("cUser_Name", 100), Text("cDept", 100), Text("cSysUserName", 100),
        Text("cSysUserPassword", 255), Text("cPasswordHash", 255), Bit("bDisabled", "0")},
       "cUser_Id",
       {}},
      {"UA_Group", {Id("cGroup_Id"), Text("cGroup_Name", 100)}, "cGroup_Id", {}},
      {"ua_role", {Id("cGroup_Id"), Id("cUser_Id")}, "cUser_Id,cGroup_Id", {{"ix_ua_role_group", "cGroup_Id"}}},
      {"UA_SubSys", {Id("cSub_Id"), Text("cSub_Name", 100)}, "cSub_Id", {}},
      {"UA_Auth",
       {Id("cAuth_Id"), Id("cSub_Id", false), Text("cAuth_Name", 100), Text("cAuthType", 50)},
       "cAuth_Id",
       {{"ix_UA_Auth_sub", "cSub_Id"}}},
      {"ua_auth_base",
       {Id("cAuth_Id"), Id("cSub_Id", false), Text("cAuth_Name", 100), Id("cSupAuth_Id", false), Small("iGrade"),
        Bit("bEndGrade", "0")},
       "cAuth_Id",
       {{"ix_ua_auth_base_leaf", "cSub_Id,bEndGrade"}}},
      {"UA_HoldAuth",
       {Id("cAcc_Id"), Int("iYear", true), Id("cUser_Id"), Id("cAuth_Id"), Small("iIsUser", "1")},
       "cAcc_Id,iYear,cUser_Id,cAuth_Id",
       {{"ix_UA_HoldAuth_user", "cUser_Id"}}},
      {"UA_control",
       {Id("cAuth_Id"), Small("iAuthType"), Id("cRepellent", false), Id("cNotRepellent", false),
        Id("cRepellentModule", false)},
       nullptr,
       {{"ix_UA_control_auth", "cAuth_Id,iAuthType"},
        {"ix_UA_control_repellent", "cRepellent"},
        {"ix_UA_control_kind", "iAuthType,cAuth_Id"},
        {"ix_UA_control_module", "cRepellentModule,iAuthType"}}},
      {"UA_ControlEx",
       {Id("cAuth_Id"), Small("iAuthType"), Id("cRepellent", false)},
       nullptr,
       {{"ix_UA_ControlEx_auth", "cAuth_Id"}, {"ix_UA_ControlEx_repellent", "cRepellent"}}},
      {"UA_task",
       {Id("cAcc_Id", false), Int("iYear"), Id("cUser_Id", false), Id("cAuth_Id", false), Text("cStation", 100),
        Text("cTaskId", 50), Float("iLogId"), Id("cSub_Id", false), Text("cAppServer", 100),
        Text("cAuthClassCode", 50)},
       nullptr,
       {{"ix_UA_task_logid", "iLogId"},
        {"ix_UA_task_task", "cTaskId,cAuth_Id"},
        {"ix_UA_task_acc", "cAcc_Id,iYear,cSub_Id"},
        // Rules find running tasks by function within the account set, year
        // and subsystem: their cost follows the rules, not the company.
        {"ix_UA_task_auth", "cAuth_Id,cAcc_Id,iYear,cSub_Id"}}},
      // dInTime is text: the component writes CONVERT(VarChar, getdate(), 121).
      {"UA_TaskLog",
       {Id("cSub_Id", false), Text("cSub_Name", 100), Text("cStation", 100), Text("dInTime", 30), Text("cTaskId", 50),
        Text("TaskState", 10), Text("cAppServer", 100)},
       nullptr,
       {{"ix_UA_TaskLog_task", "cTaskId"}}},
      // The component inserts without a column list: keep this order.
      {"UA_log",
       {Id("cAcc_Id", false), Id("cSub_Id", false), Id("cUser_Id", false), Id("cAuth_Id", false), Text("cStation", 100),
        DateTime("dInTime"), DateTime("dOutTime"), Float("iLogId"), Int("iYear"), Bit("Success", "0")},
       nullptr,
       {{"ix_UA_log_logid", "iLogId"}}},
  };
  return tables;
}

std::string TypeSql(Flavor f, const Col& c) {
  switch (c.type) {
    case Type::kText:
      if (f == Flavor::kPostgres) return "citext";
      if (f == Flavor::kSqlite) return "VARCHAR(" + std::to_string(c.width) + ") COLLATE UNOCASE";
      return "nvarchar(" + std::to_string(c.width) + ")";
    case Type::kInt: return f == Flavor::kSqlite ? "INT" : "int";
    case Type::kSmallInt: return f == Flavor::kSqlite ? "SMALLINT" : "smallint";
    case Type::kBit:
      if (f == Flavor::kPostgres) return "flag";  // a smallint domain that reads back as boolean
      return f == Flavor::kSqlite ? "BIT" : "bit";
    case Type::kFloat:
      if (f == Flavor::kPostgres) return "double precision";
      return f == Flavor::kSqlite ? "FLOAT" : "float";
    case Type::kDateTime:
      if (f == Flavor::kPostgres) return "timestamp(3)";
      return f == Flavor::kSqlite ? "DATETIME COLLATE UNODATE" : "datetime";
  }
  return "";
}

std::string CreateTableSql(Flavor f, const Table& t) {
  std::string sql = "CREATE TABLE " + std::string(t.name) + " (";
  for (size_t i = 0; i < t.cols.size(); ++i) {
    const Col& c = t.cols[i];
    sql += (i ? ", " : "") + std::string(c.name) + " " + TypeSql(f, c);
    if (c.not_null) sql += " NOT NULL";
    if (c.deflt) sql += " DEFAULT " + std::string(c.deflt);
  }
  if (t.primary_key) sql += ", PRIMARY KEY (" + std::string(t.primary_key) + ")";
  return sql + ")";
}

Status Run(Connection& conn, const std::string& sql) { return conn.Execute(Statement(sql)); }

}  // namespace

std::string AccountDatabaseName(const std::string& account, int year) {
  return "VALEDATA_" + account + "_" + std::to_string(year);
}

Status CreateSystemDatabase(Connection& conn) {
  const Flavor f = conn.flavor();
  Status s = Run(conn, std::string("CREATE DATABASE ") + kSystemCatalog);
  if (s.ok()) s = Run(conn, std::string("USE ") + kSystemCatalog);
  if (s.ok() && f == Flavor::kSqlite) s = conn.BeginTrans();
  for (const Table& t : SystemTables()) {
    if (s.ok()) s = Run(conn, CreateTableSql(f, t));
    for (const Index& ix : t.indexes) {
      if (s.ok()) s = Run(conn, "CREATE INDEX " + std::string(ix.name) + " ON " + t.name + " (" + ix.columns + ")");
    }
  }
  if (f == Flavor::kSqlite) {
    if (s.ok()) return conn.CommitTrans();
    (void)conn.RollbackTrans();  // the failure that ends the transaction is the one to report
  }
  return s;
}

Status CreateAccountDatabase(Connection& conn, const std::string& account, int year) {
  return Run(conn, "CREATE DATABASE " + AccountDatabaseName(account, year));
}

}  // namespace tarn::suite
