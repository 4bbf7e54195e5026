#include "suite/sysdb/demo_data.h"

#include <initializer_list>
#include <vector>

#include "suite/stored_text_codec.h"
#include "suite/sysdb/schema.h"

namespace tarn::suite {

using db::Connection;
using db::Statement;

namespace {

using Row = std::vector<Variant>;
const Variant kNull{Null{}};

Date Day(int y, int m, int d) { return DateFromCivil(CivilTime{y, m, d, 0, 0, 0}); }

// One statement, run once per row.
Status Insert(Connection& conn, std::string_view sql, std::initializer_list<Row> rows) {
  for (const Row& row : rows) {
    Statement st(sql);
    for (const Variant& v : row) st.Bind(v);
    Status s = conn.Execute(st);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status Accounts(Connection& conn) {
  return Insert(conn,
                "INSERT INTO UA_Account (cAcc_Id,cAcc_Name,iYear,iMonth,cAcc_Master,cCurCode,cCurName,cUnitName,"
                "cUnitAbbre,cUnitAddr,cUnitZap,cUnitTel,cUnitFax,cUnitEMail,cUnitTaxNo,cUnitLP,cFinKind,cFinType,"
                "cEntType,cTradeKind) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                {{"001",
                  "Tarn Demo Trading",
                  int32_t{2023},
                  int16_t{1},
                  "DEMO",
                  "USD",
                  "US Dollar",
                  "Tarn Demo Trading Co., Ltd.",
                  "Tarn Trading",
                  "12 Harbour Road, Lakeside",
                  "90210",
                  "+1 555 0100",
                  "+1 555 0101",
                  "office@trading.example",
                  "TX-001-2023",
                  "Mary Tarn",
                  "Commercial",
                  "Small business",
                  "Limited company",
                  "Wholesale"},
                 {"002",
                  "Tarn Demo Manufacturing",
                  int32_t{2023},
                  int16_t{1},
                  "ZHANG",
                  "CNY",
                  "人民币",
                  "岚峰示范制造有限公司",
                  "岚峰制造",
                  "湖滨路 8 号",
                  "100000",
                  "+86 10 5555 0200",
                  kNull,
                  "office@manufacturing.example",
                  "TX-002-2023",
                  "张伟",
                  "Industrial",
                  kNull,
                  "Limited company",
                  "Manufacturing"}});
}

// 001 keeps calendar months; 002 runs from the 26th to the 25th, and its
// 2025 has a gap (26 to 30 June lie in no period). 2023 periods of 001 carry
// a NULL deletion flag, which counts as live; 001 2024 has a deleted
// thirteenth period overlapping December.
Status Periods(Connection& conn) {
  constexpr std::string_view kSql =
      "INSERT INTO UA_Period (cAcc_Id,iYear,iId,dBegin,dEnd,bIsDelete) VALUES (?,?,?,?,?,?)";
  for (int year = 2023; year <= 2025; ++year) {
    for (int m = 1; m <= 12; ++m) {
      const int next_y = m == 12 ? year + 1 : year, next_m = m == 12 ? 1 : m + 1;
      const Date end001{Day(next_y, next_m, 1).serial - 1};
      Date begin002 = m == 1 ? Day(year - 1, 12, 26) : Day(year, m - 1, 26);
      if (year == 2025 && m == 7) begin002 = Day(2025, 7, 1);
      Status s =
          Insert(conn, kSql,
                 {{"001", int32_t{year}, int32_t{m}, Day(year, m, 1), end001, year == 2023 ? kNull : Variant(false)},
                  {"002", int32_t{year}, int32_t{m}, begin002, Day(year, m, 25), Variant(false)}});
      if (!s.ok()) return s;
    }
  }
  return Insert(conn, kSql, {{"001", int32_t{2024}, int32_t{13}, Day(2024, 12, 31), Day(2024, 12, 31), true}});
}

Status AccountSubsystems(Connection& conn) {
  return Insert(conn,
                "INSERT INTO UA_Account_Sub (cAcc_Id,iYear,cSub_Id,dSubSysUsed,dSubOriDate,iModiPeri,bclosing) "
                "VALUES (?,?,?,?,?,?,?)",
                {{"001", int32_t{9999}, "GL", Day(2023, 1, 1), Day(2023, 1, 1), kNull, kNull},
                 {"001", int32_t{9999}, "AP", Day(2024, 1, 1), Day(2024, 1, 1), kNull, kNull},
                 {"002", int32_t{9999}, "GL", Day(2023, 1, 1), Day(2022, 12, 26), kNull, kNull},
                 {"001", int32_t{2023}, "GL", kNull, kNull, int16_t{12}, true},
                 {"001", int32_t{2024}, "GL", kNull, kNull, int16_t{3}, false},
                 {"001", int32_t{2024}, "AP", kNull, kNull, int16_t{1}, kNull},
                 {"002", int32_t{2024}, "GL", kNull, kNull, int16_t{1}, false}});
}

Status UsersAndGroups(Connection& conn) {
  // DEMO's file-server account keeps its password in the stored form;
  // ALICE's is plain, as older rows hold it.
  const std::string stored = CommEncodeText("fs-demo-2024") + std::string(1, '\x03');
  Status s = Insert(conn,
                    "INSERT INTO UA_User (cUser_Id,cUser_Name,cDept,cSysUserName,cSysUserPassword,bDisabled) VALUES "
                    "(?,?,?,?,?,?)",
                    {{"ADMIN", "Administrator", kNull, kNull, kNull, false},
                     {"DEMO", "Demo Manager", "Finance", "demo.fs", stored, false},
                     {"ALICE", "Alice Chen", "Accounting", "alice.fs", "plain-pass", false},
                     {"BOB", "Bob Li", "Payables", kNull, kNull, false},
                     {"CAROL", "Carol Wang", "Payroll", kNull, kNull, false},
                     {"ZHANG", "张伟", "财务部", kNull, kNull, false},
                     {"ERIN", "Erin Fox", "Sales", kNull, kNull, true},
                     {"ASUSER", "Account set service", kNull, kNull, kNull, false}});
  if (s.ok()) {
    s = Insert(conn, "INSERT INTO UA_Group (cGroup_Id,cGroup_Name) VALUES (?,?)",
               {{"ACCT", "Accountants"}, {"MGR", "Managers"}});
  }
  if (s.ok()) {
    s = Insert(conn, "INSERT INTO ua_role (cGroup_Id,cUser_Id) VALUES (?,?)",
               {{"ACCT", "ALICE"}, {"ACCT", "CAROL"}, {"MGR", "BOB"}, {"MGR", "DEMO"}});
  }
  return s;
}

Status Subsystems(Connection& conn) {
  return Insert(conn, "INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES (?,?)",
                {{"AA", "System Administration"},
                 {"AS", "Account Set Services"},
                 {"GL", "General Ledger"},
                 {"AP", "Accounts Payable"},
                 {"AR", "Accounts Receivable"},
                 {"FA", "Fixed Assets"},
                 {"PS", "Payroll"},
                 {"SC", "System Console"},
                 {"OA", "Office Automation"},
                 {"DP", "Data Processing"},
                 {"PO", "Purchasing"},
                 {"SO", "Sales"},
                 {"CO", "Costing"},
                 {"WH", "Warehouse"},
                 {"BM", "Budgeting"},
                 {"MR", "Management Reports"}});
}

// The function tree: groups (non-leaf) and functions (leaf), with the
// extended build's exclusion kinds in cAuthType.
Status Functions(Connection& conn) {
  struct F {
    const char *id, *sub, *name, *parent;
    bool leaf;
    const char* kinds;
  };
  static const F kFunctions[] = {
      {"Admin", "AA", "Administrator right", nullptr, true, nullptr},
      {"AA01", "AA", "Users and rights", nullptr, false, nullptr},
      {"AA0101", "AA", "User management", "AA01", true, nullptr},
      {"GL01", "GL", "Vouchers", nullptr, false, nullptr},
      {"GL0101", "GL", "Voucher entry", "GL01", true, nullptr},
      {"GL0102", "GL", "Voucher review", "GL01", true, nullptr},
      {"GL0103", "GL", "Posting", "GL01", true, nullptr},
      {"GL02", "GL", "Period end", nullptr, false, nullptr},
      {"GL0201", "GL", "Month-end closing", "GL02", true, "1"},
      {"GL0202", "GL", "Year-end closing", "GL02", true, "2"},
      {"GL03", "GL", "Inquiry", nullptr, false, nullptr},
      {"GL0301", "GL", "Ledger inquiry", "GL03", true, nullptr},
      {"GL0901", "GL", "Legacy import", "GL03", true, nullptr},
      {"AP01", "AP", "Payables", nullptr, false, nullptr},
      {"AP0101", "AP", "Invoice entry", "AP01", true, nullptr},
      {"AP0102", "AP", "Payment", "AP01", true, "0"},
      {"AP0103", "AP", "Payment reversal", "AP01", true, "0"},
      {"AR01", "AR", "Receivables", nullptr, false, nullptr},
      {"AR0101", "AR", "Receipt entry", "AR01", true, nullptr},
      {"AR0102", "AR", "Write-off", "AR01", true, "0"},
      {"AR0103", "AR", "Write-off reversal", "AR01", true, nullptr},
      {"FA01", "FA", "Fixed assets", nullptr, false, nullptr},
      {"FA0101", "FA", "Asset cards", "FA01", true, nullptr},
      {"FA0201", "FA", "Depreciation run", "FA01", true, "4"},
      {"PS01", "PS", "Payroll", nullptr, false, nullptr},
      {"PS0101", "PS", "Payroll entry", "PS01", true, nullptr},
      {"PS0102", "PS", "Payroll inquiry", "PS01", true, nullptr},
      {"PS0201", "PS", "Payroll calculation", "PS01", true, "3"},
      {"AS11", "AS", "Account set data", nullptr, false, nullptr},
      {"AS1101", "AS", "Opening balances", "AS11", true, nullptr},
      {"AS1102", "AS", "Account codes", "AS11", true, nullptr},
      {"AS1107", "AS", "Currency rates", "AS11", true, nullptr},
      {"PO0101", "PO", "Purchase order", nullptr, true, nullptr},
      {"SO0101", "SO", "Sales order", nullptr, true, nullptr},
  };
  auto opt = [](const char* s) { return s ? Variant(s) : kNull; };
  for (const F& f : kFunctions) {
    Status s = Insert(conn, "INSERT INTO UA_Auth (cAuth_Id,cSub_Id,cAuth_Name,cAuthType) VALUES (?,?,?,?)",
                      {{f.id, f.sub, f.name, opt(f.kinds)}});
    if (s.ok()) {
      s = Insert(conn,
                 "INSERT INTO ua_auth_base (cAuth_Id,cSub_Id,cAuth_Name,cSupAuth_Id,iGrade,bEndGrade) "
                 "VALUES (?,?,?,?,?,?)",
                 {{f.id, f.sub, f.name, opt(f.parent), int16_t(f.parent ? 2 : 1), f.leaf}});
    }
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status Rules(Connection& conn) {
  Status s = Insert(
      conn, "INSERT INTO UA_control (cAuth_Id,iAuthType,cRepellent,cNotRepellent,cRepellentModule) VALUES (?,?,?,?,?)",
      {{"GL0201", int16_t{1}, kNull, kNull, kNull},     // exclusive in its account and year
       {"GL0202", int16_t{2}, kNull, kNull, kNull},     // exclusive in its account
       {"AP0102", int16_t{0}, "AP0103", kNull, kNull},  // a pair
       {"AR0102", kNull, "AR0103", kNull, kNull},       // a pair of NULL kind
       {"PS0201", int16_t{3}, kNull, "PS0102", kNull},  // locks payroll but for the inquiry
       {"FA0201", int16_t{4}, kNull, kNull, "GL"},      // shuts the ledger out
       {"GL0901", kNull, "GL0101", kNull, kNull},       // NULL and 0 together: never accepted
       {"GL0901", int16_t{0}, "GL0102", kNull, kNull}});
  if (s.ok()) {
    s = Insert(conn, "INSERT INTO UA_ControlEx (cAuth_Id,iAuthType,cRepellent) VALUES (?,?,?)",
               {{"GL0201", int16_t{1}, kNull}, {"GL0202", int16_t{2}, kNull}, {"PS0201", int16_t{0}, "PS0101"}});
  }
  return s;
}

Status Holdings(Connection& conn) {
  constexpr std::string_view kSql =
      "INSERT INTO UA_HoldAuth (cAcc_Id,iYear,cUser_Id,cAuth_Id,iIsUser) VALUES (?,?,?,?,?)";
  auto hold = [&](const char* acc, std::initializer_list<int> years, const char* holder, bool user,
                  std::initializer_list<const char*> auths) {
    for (int y : years) {
      for (const char* a : auths) {
        Status s = Insert(conn, kSql, {{acc, int32_t{y}, holder, a, int16_t(user ? 1 : 0)}});
        if (!s.ok()) return s;
      }
    }
    return Status::OK();
  };
  Status s = hold("001", {2023, 2024, 2025}, "DEMO", true, {"Admin"});
  if (s.ok()) s = hold("001", {2024, 2025}, "ALICE", true, {"GL0101", "GL0102", "GL0301", "AS1101", "AS1107"});
  if (s.ok()) {
    for (const char* acc : {"001", "002"}) {
      if (s.ok())
        s = hold(acc, {2024, 2025}, "BOB", true, {"AP0101", "AP0102", "AP0103", "AR0101", "AR0102", "AR0103"});
    }
  }
  if (s.ok()) {
    s = hold("001", {2024, 2025}, "ACCT", false,
             {"GL0103", "GL0201", "GL0202", "GL0901", "FA0101", "FA0201", "PS0101", "PS0102", "PS0201"});
  }
  if (s.ok()) s = hold("001", {2024}, "MGR", false, {"GL0301"});
  if (s.ok()) s = hold("002", {2023, 2024, 2025}, "ZHANG", true, {"GL0101", "GL0102", "GL0201"});
  if (s.ok()) s = hold("001", {2024}, "ERIN", true, {"SO0101"});
  return s;
}

}  // namespace

Status LoadDemoData(Connection& conn) {
  Status s;
  for (const char* acc : {"001", "002"}) {
    for (int year = 2023; year <= 2025; ++year) {
      if (s.ok()) s = CreateAccountDatabase(conn, acc, year);
    }
  }
  if (s.ok()) s = conn.Execute(Statement("USE ValeSystem"));
  if (s.ok()) s = conn.BeginTrans();
  if (!s.ok()) return s;
  for (auto step : {Accounts, Periods, AccountSubsystems, UsersAndGroups, Subsystems, Functions, Rules, Holdings}) {
    s = step(conn);
    if (!s.ok()) {
      (void)conn.RollbackTrans();  // the failure that ends the transaction is the one to report
      return s;
    }
  }
  return conn.CommitTrans();
}

Status CreateCompactHostDatabase(Connection& conn) {
  Status s = conn.Execute(Statement(std::string("CREATE DATABASE ") + kCompactHostCatalog));
  if (s.ok()) s = conn.Execute(Statement(std::string("USE ") + kCompactHostCatalog));
  if (s.ok()) {
    s = conn.Execute(
        Statement("CREATE TABLE sys_path (id int NULL, fwqname varchar(100) NULL, username varchar(100) NULL, "
                  "userkl varchar(100) NULL)"));
  }
  return s;
}

}  // namespace tarn::suite
