// The data layer against real databases: the same cases on SQLite, on
// PostgreSQL through libpq and on PostgreSQL through ODBC (psqlODBC), each
// on a fresh system database with the demo company.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "db/connection.h"
#include "suite/sysdb/demo_data.h"
#include "db/recordset.h"
#include "suite/sysdb/schema.h"
#include "support/scratch_server.h"
#include "support/wait.h"
#include "tarn/com_error.h"

namespace tarn::db {
namespace {

using testing::ScratchServer;

class BackendTest : public ::testing::TestWithParam<ScratchServer::Kind> {
 protected:
  void SetUp() override {
    std::string skip;
    server_ = ScratchServer::Make(GetParam(), &skip);
    if (!server_) TARN_SKIP_WITHOUT_BACKEND(skip);
    auto init = Connection::Create();
    ASSERT_TRUE(init->Open(server_->server(), "", "").ok()) << Describe(*init);
    ASSERT_TRUE(suite::CreateSystemDatabase(*init).ok()) << Describe(*init);
    ASSERT_TRUE(suite::LoadDemoData(*init).ok()) << Describe(*init);
    conn_ = Connect();
  }

  ConnectionPtr Connect(const std::string& catalog = "ValeSystem", const std::string& extra = "") {
    auto c = Connection::Create();
    Status s = c->Open(server_->With(catalog) + extra, "", "");
    EXPECT_TRUE(s.ok()) << Describe(*c);
    return c;
  }

  static std::string Describe(const Connection& c) {
    std::string out;
    for (const DbError& e : c.Errors()) out += "[" + std::to_string(e.native_error) + "] " + e.description + "\n";
    return out;
  }

  // The rows of a query as text, "a|b" per row, for compact expectations.
  std::vector<std::string> Rows(Connection& c, const Statement& st) {
    ResultSet rs;
    Status s = c.Query(st, &rs);
    EXPECT_TRUE(s.ok()) << st.sql() << ": " << Describe(c);
    std::vector<std::string> out;
    for (size_t r = 0; r < rs.rows(); ++r) {
      std::string line;
      for (size_t col = 0; col < rs.width(); ++col) {
        const Variant& v = rs.at(r, col);
        // Bits read as booleans or as 0/1 depending on what the driver reports.
        std::string text = v.IsNull()                         ? "NULL"
                           : v.type() == Variant::Type::kBool ? (v.ToBool() ? "1" : "0")
                                                              : v.ToString();
        line += (col ? "|" : "") + text;
      }
      out.push_back(line);
    }
    return out;
  }
  std::vector<std::string> Rows(const Statement& st) { return Rows(*conn_, st); }

  int32_t Count(Connection& c, const Statement& st) {
    auto rows = Rows(c, st);
    return rows.size() == 1 ? std::stoi(rows[0]) : -1;
  }
  int32_t Count(const Statement& st) { return Count(*conn_, st); }

  int32_t NativeOf(const Status& s, const Connection& c) {
    EXPECT_FALSE(s.ok());
    return c.Errors().empty() ? 0 : c.Errors().front().native_error;
  }

  std::unique_ptr<ScratchServer> server_;
  ConnectionPtr conn_;
};

std::string KindName(const ::testing::TestParamInfo<ScratchServer::Kind>& info) {
  switch (info.param) {
    case ScratchServer::Kind::kSqlite: return "SQLite";
    case ScratchServer::Kind::kPostgres: return "PostgreSQL";
    case ScratchServer::Kind::kOdbc: return "ODBC";
  }
  return "";
}

TEST_P(BackendTest, DemoCompanyHasEveryKindOfData) {
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_id=?").Bind("001")), 37);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_Id=? AND iYear=? AND "
                            "(bIsDelete=0 or bisdelete is null)")
                      .Bind("001")
                      .Bind(int32_t{2024})),
            12);
  // 26 to 30 June 2025 lie in no period of 002.
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_id = ? AND dBegin <= ? AND dEnd >= ?")
                      .Bind("002")
                      .Bind("2025-06-28")
                      .Bind("2025-06-28")),
            0);
  EXPECT_EQ(Rows(Statement("SELECT DISTINCT iauthtype FROM UA_control with (nolock) order by iauthtype asc")),
            (std::vector<std::string>{"NULL", "0", "1", "2", "3", "4"}));
  EXPECT_EQ(Rows(Statement("SELECT DISTINCT iAuthType FROM UA_ControlEx ORDER BY iAuthType")),
            (std::vector<std::string>{"0", "1", "2"}));
  // CAROL holds rights only through her group.
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_HoldAuth WHERE cUser_Id=?").Bind("CAROL")), 0);
  EXPECT_GT(Count(Statement("SELECT COUNT(*) FROM UA_HoldAuth WHERE cacc_id=? AND iyear=? AND (cuser_id=? or "
                            "cuser_id in (select distinct cGroup_id from ua_role where cuser_id=?))")
                      .Bind("001")
                      .Bind(int32_t{2024})
                      .Bind("CAROL")
                      .Bind("CAROL")),
            0);
  EXPECT_EQ(Rows(Statement("SELECT bEndGrade, count(*) FROM ua_auth_base WHERE cSub_Id=? GROUP BY bEndGrade "
                           "ORDER BY bEndGrade")
                     .Bind("GL")),
            (std::vector<std::string>{"0|3", "1|7"}));
}

// The statements of the component, as it writes them, with every construct
// the dialect carries.
TEST_P(BackendTest, ComponentStatementsRun) {
  // TOP, with(nolock), with(rowlock), GETDATE(), CONVERT(..., 121).
  ASSERT_TRUE(conn_
                  ->Execute(Statement("INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,"
                                      "cTaskId,iLogId,cSub_id,cAppServer) VALUES(?,?,?,?,?,?,?,?,?)")
                                .Bind("001")
                                .Bind(int32_t{2024})
                                .Bind("ALICE")
                                .Bind("GL0101")
                                .Bind("PC01")
                                .Bind("45000.5")
                                .BindNumber("123456.789012345")
                                .Bind("GL")
                                .Bind("APP"))
                  .ok())
      << Describe(*conn_);
  EXPECT_EQ(
      Rows(Statement("SELECT top 1  iLogId FROM UA_task with(nolock) WHERE iLogId=?").BindNumber("123456.789012345")),
      (std::vector<std::string>{"123456.789012345"}));
  ASSERT_TRUE(conn_
                  ->Execute(Statement("INSERT INTO UA_TaskLog with(rowlock)(cSub_Id,cSub_Name,cStation,dInTime,"
                                      "cTaskId,TaskState,cAppServer) VALUES(?,?,?, CONVERT(VarChar, getdate(), 121) "
                                      ",?,'0',?)")
                                .Bind("GL")
                                .Bind("General Ledger")
                                .Bind("PC01")
                                .Bind("45000.5")
                                .Bind("APP"))
                  .ok())
      << Describe(*conn_);
  auto in_time = Rows(Statement("SELECT top 1 dInTime FROM UA_tasklog with(nolock) WHERE ctaskid=?").Bind("45000.5"));
  ASSERT_EQ(in_time.size(), 1u);
  EXPECT_EQ(in_time[0].size(), 23u) << in_time[0];  // yyyy-mm-dd hh:mi:ss.mmm
  ASSERT_TRUE(conn_
                  ->Execute(Statement("INSERT INTO UA_log with(rowlock) VALUES(?,?,?,?,?,?,NULL,?,?,0)")
                                .Bind("001")
                                .Bind("GL")
                                .Bind("ALICE")
                                .Bind("GL0101")
                                .Bind("PC01")
                                .Bind("2024-03-15 10:30:00")
                                .BindNumber("123456.789012345")
                                .Bind("2024"))
                  .ok())
      << Describe(*conn_);
  int64_t changed = -1;
  ASSERT_TRUE(conn_
                  ->Execute(Statement("UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=?")
                                .BindNumber("123456.789012345"),
                            &changed)
                  .ok());
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_log WHERE Success=1 AND dOutTime IS NOT NULL")), 1);

  // isnull, not in (select ...), UPPER, LIKE, UNION, distinct, case when.
  EXPECT_EQ(Rows(Statement("select  isnull(cNotRepellent,'') from UA_control  with (nolock) where cauth_id=? and  "
                           "iauthtype=3")
                     .Bind("PS0201")),
            (std::vector<std::string>{"PS0102"}));
  EXPECT_EQ(Rows(Statement("SELECT distinct cauth_id FROM ua_auth_base with(nolock) WHERE bEndGrade=1 and cSub_id=? "
                           "and cauth_id not in (select  isnull(cNotRepellent,'') from UA_control with (nolock) "
                           "where cauth_id=? and  iauthtype=3) ORDER BY cauth_id")
                     .Bind("PS")
                     .Bind("PS0201")),
            (std::vector<std::string>{"PS0101", "PS0201"}));
  EXPECT_EQ(
      Rows(Statement("SELECT crepellent as ctask FROM UA_control with (nolock)  WHERE cauth_id=? AND (iauthtype<1 "
                     "OR iauthtype IS NULL)UNION SELECT cauth_id as ctask FROM UA_control with (nolock)  WHERE "
                     "crepellent=? AND (iauthtype=0 OR iauthtype IS NULL)")
               .Bind("AP0103")
               .Bind("AP0103")),
      (std::vector<std::string>{"AP0102"}));
  EXPECT_EQ(Rows(Statement("select distinct cAuth_id from ua_holdauth where cacc_id=? and ua_holdauth.iYear=?  AND "
                           "(cuser_id=? or cuser_id in (select distinct cGroup_id from ua_role where cuser_id=?))  AND "
                           "cauth_id like 'AS11%' ORDER BY cAuth_id")
                     .Bind("001")
                     .BindNumber("2024")
                     .Bind("ALICE")
                     .Bind("ALICE")),
            (std::vector<std::string>{"AS1101", "AS1107"}));
  EXPECT_EQ(Rows(Statement("select distinct ua_user.cUser_id ,ua_user.cUser_name,ua_user.cDept,(case when "
                           "ua_holdauth.cAuth_id ='ADMIN' then  'ADMIN' else '' end) as cAuth_id from ua_holdauth "
                           "inner join ua_user on (ua_holdauth.cuser_id=ua_user.cuser_id) where cacc_id=? and "
                           "ua_holdauth.iYear=? and iIsuser=1 ORDER BY ua_user.cUser_id")
                     .Bind("001")
                     .Bind("2024")),
            (std::vector<std::string>{"ALICE|Alice Chen|Accounting|", "BOB|Bob Li|Payables|",
                                      "DEMO|Demo Manager|Finance|ADMIN", "ERIN|Erin Fox|Sales|"}));
  EXPECT_EQ(
      Count(Statement("SELECT COUNT(*) FROM UA_HoldAuth WHERE cacc_id=? AND iyear=? AND (cuser_id=? or cuser_id "
                      "in (select distinct cGroup_id from ua_role where cuser_id=?)) AND (UPPER(cAuth_Id)='ADMIN' "
                      "OR cAuth_Id = ?)")
                .Bind("001")
                .BindNumber("2024")
                .Bind("DEMO")
                .Bind("DEMO")
                .Bind("none")),
      1);
  // GROUP BY / ORDER BY, a join with count(*), N'' literals.
  EXPECT_EQ(Rows(Statement("SELECT iYear From UA_Period Where cAcc_id=? GROUP BY iYear ORDER BY iYear").Bind("002")),
            (std::vector<std::string>{"2023", "2024", "2025"}));
  EXPECT_EQ(
      Count(Statement("SELECT count(*) FROM UA_Period INNER JOIN UA_Account ON UA_Period.cAcc_Id=UA_Account.cAcc_Id "
                      "WHERE (UA_Period.bIsDelete = 0 or UA_Period.bIsDelete  is null) AND UA_Period.cAcc_Id =? "
                      "AND UA_Period.iYear=?")
                .Bind("001")
                .BindNumber("2024")),
      12);
  EXPECT_EQ(Rows(Statement("SELECT cUser_Name FROM UA_User WHERE cUser_Name = N'张伟'")),
            (std::vector<std::string>{"张伟"}));
  // A TOP inside a subquery.
  EXPECT_EQ(Rows(Statement("SELECT cUser_Id FROM UA_User WHERE cUser_Id IN (SELECT TOP 1 cUser_Id FROM ua_role ORDER "
                           "BY cUser_Id)")),
            (std::vector<std::string>{"ALICE"}));
}

TEST_P(BackendTest, CatalogsAndThreePartNames) {
  auto acc = Connect("VALEDATA_001_2024");
  EXPECT_EQ(acc->CurrentCatalog(), "VALEDATA_001_2024");
  EXPECT_EQ(Rows(*acc, Statement("SELECT cUser_Name FROM ValeSystem..UA_User WHERE cUser_Id=?").Bind("BOB")),
            (std::vector<std::string>{"Bob Li"}));
  ASSERT_TRUE(
      acc->Execute(
             Statement("DELETE FROM ValeSystem..UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id='reg'").Bind("none"))
          .ok())
      << Describe(*acc);
  ASSERT_TRUE(acc->Execute(Statement("USE ValeSystem")).ok()) << Describe(*acc);
  EXPECT_EQ(Rows(*acc, Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id=?").Bind("GL")),
            (std::vector<std::string>{"General Ledger"}));
  // Three-part names work from the system catalog itself too.
  EXPECT_EQ(Rows(*acc, Statement("SELECT cSub_Name FROM ValeSystem..UA_SubSys WHERE cSub_Id=?").Bind("AP")),
            (std::vector<std::string>{"Accounts Payable"}));

  Status s = acc->Execute(Statement("USE VALEDATA_009_1999"));
  EXPECT_EQ(NativeOf(s, *acc), 911);
  EXPECT_EQ(acc->CurrentCatalog(), "ValeSystem");
  EXPECT_EQ(Rows(*acc, Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id=?").Bind("AR")),
            (std::vector<std::string>{"Accounts Receivable"}));
}

// Values are bound: quotes, semicolons and comment markers in an id are
// text, stored and matched as such.
TEST_P(BackendTest, IdsWithSqlInThemAreJustText) {
  const char* kIds[] = {"'", "' OR '1'='1", "'; DROP TABLE UA_task; --", "O'Brien"};
  for (const char* id : kIds) {
    ASSERT_TRUE(conn_
                    ->Execute(Statement("INSERT INTO UA_task with(rowlock) (cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,"
                                        "cTaskId,iLogId,cSub_id,cAppServer) VALUES(?,?,?,?,?,?,?,?,?)")
                                  .Bind("001")
                                  .Bind(int32_t{2024})
                                  .Bind(id)
                                  .Bind(id)
                                  .Bind("PC01")
                                  .Bind(id)
                                  .Bind(1.5)
                                  .Bind("GL")
                                  .Bind(""))
                    .ok())
        << Describe(*conn_);
  }
  for (const char* id : kIds) {
    EXPECT_EQ(
        Rows(Statement("SELECT cTaskId FROM UA_task with(nolock) WHERE ctaskid=? AND cauth_id=?").Bind(id).Bind(id)),
        (std::vector<std::string>{id}));
  }
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_task")), 4);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_User WHERE cUser_Id=?").Bind("' OR '1'='1")), 0);
  EXPECT_EQ(Rows(Statement("SELECT cUser_Id FROM UA_User WHERE cUser_Id IN (?) ORDER BY cUser_Id")
                     .BindList({"'); DELETE FROM UA_User; --", "BOB", "ALICE"})),
            (std::vector<std::string>{"ALICE", "BOB"}));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_User")), 8);
}

TEST_P(BackendTest, InListsAndNumbersAsText) {
  auto ids = [&](std::vector<Variant> list) {
    return Rows(Statement("SELECT cAuth_Id FROM UA_Auth WHERE cSub_Id=? AND cAuth_Id IN (?) ORDER BY cAuth_Id")
                    .Bind("GL")
                    .BindList(std::move(list)));
  };
  EXPECT_EQ(ids({"GL0101", "GL0201", "AP0101"}), (std::vector<std::string>{"GL0101", "GL0201"}));
  EXPECT_EQ(ids({"gl0103"}), (std::vector<std::string>{"GL0103"}));
  EXPECT_TRUE(ids({}).empty());

  // A year held as text goes in as a number; text that is not one fails the
  // statement as the syntax error the concatenated text would have been.
  EXPECT_EQ(
      Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_Id=? AND iYear=?").Bind("001").BindNumber(" 2023 ")),
      12);
  Status s = conn_->Execute(Statement("SELECT count(*) FROM UA_Period WHERE iYear=?").BindNumber("2024 OR 1=1"));
  EXPECT_EQ(NativeOf(s, *conn_), 102);
  s = conn_->Execute(Statement("SELECT count(*) FROM UA_Period WHERE iYear=? AND iId=?").Bind(int32_t{1}));
  EXPECT_FALSE(s.ok());
  // Also when the template is already prepared.
  s = conn_->Execute(
      Statement("SELECT count(*) FROM UA_Period WHERE cAcc_Id=? AND iYear=?").Bind("001").Bind(2024).Bind(2025));
  EXPECT_FALSE(s.ok());
}

TEST_P(BackendTest, TextComparesCaseInsensitively) {
  EXPECT_EQ(Rows(Statement("SELECT cUser_Name FROM UA_User WHERE cUser_Id=?").Bind("alice")),
            (std::vector<std::string>{"Alice Chen"}));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Auth WHERE cAuth_Id LIKE ?").Bind("as11%")), 4);
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_HoldAuth WHERE cAcc_Id=? AND cAuth_Id='ADMIN'").Bind("001")), 3);
  // Sorting folds case too: "bob" sorts between ALICE and CAROL.
  ASSERT_TRUE(
      conn_->Execute(Statement("INSERT INTO UA_Group (cGroup_Id,cGroup_Name) VALUES (?,?)").Bind("bob2").Bind("x"))
          .ok());
  EXPECT_EQ(Rows(Statement("SELECT cGroup_Id FROM UA_Group ORDER BY cGroup_Id")),
            (std::vector<std::string>{"ACCT", "bob2", "MGR"}));
  // Keys are case-insensitive: ALICE exists.
  Status s =
      conn_->Execute(Statement("INSERT INTO UA_User (cUser_Id,cUser_Name) VALUES (?,?)").Bind("Alice").Bind("x"));
  EXPECT_EQ(NativeOf(s, *conn_), 2627);
  // Beyond ASCII.
  ASSERT_TRUE(
      conn_
          ->Execute(
              Statement("INSERT INTO UA_User (cUser_Id,cUser_Name) VALUES (?,?)").Bind("ÄNNE").Bind("Änne Ørsted"))
          .ok());
  EXPECT_EQ(Rows(Statement("SELECT cUser_Name FROM UA_User WHERE cUser_Id=?").Bind("änne")),
            (std::vector<std::string>{"Änne Ørsted"}));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_User WHERE cUser_Name LIKE ?").Bind("änne ø%")), 1);
  EXPECT_EQ(Rows(Statement("SELECT UPPER(cUser_Name) FROM UA_User WHERE cUser_Id=?").Bind("ÄNNE")),
            (std::vector<std::string>{"ÄNNE ØRSTED"}));
}

// As on SQL Server: a date compares as a date whatever text its writer
// used, and trailing blanks do not count in text (SQLite; PostgreSQL's
// citext keeps them significant, as README says).
TEST_P(BackendTest, DatesCompareAsDatesAndTrailingBlanksAsSqlServer) {
  ASSERT_TRUE(conn_
                  ->Execute(Statement("INSERT INTO UA_Period (cAcc_Id,iYear,iId,dBegin,dEnd,bIsDelete) VALUES "
                                      "(?,?,?,?,?,0)")
                                .Bind("009")
                                .Bind(2026)
                                .Bind(1)
                                .Bind("2026-01-01 00:00:00")
                                .Bind("2026-01-31"))
                  .ok());
  for (const char* day : {"2026-01-01", "2026-01-31", "2026-01-01 00:00:00"}) {
    EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_Id=? AND dBegin<=? AND dEnd>=?")
                        .Bind("009")
                        .Bind(day)
                        .Bind(day)),
              1)
        << day;
  }
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Period WHERE cAcc_Id=? AND dBegin<=?")
                      .Bind("009")
                      .Bind("2025-12-31 23:59:59")),
            0);
  if (GetParam() == ScratchServer::Kind::kSqlite) {
    EXPECT_EQ(Rows(Statement("SELECT cAcc_Name FROM UA_Account WHERE cAcc_Id=?").Bind("001 ")),
              (std::vector<std::string>{"Tarn Demo Trading"}));
  }
}

TEST_P(BackendTest, ErrorsCarryNativeNumbersAndLeaveTheConnectionUsable) {
  Status s = conn_->Execute(Statement("SELEC cUser_Id FROM UA_User"));
  EXPECT_EQ(NativeOf(s, *conn_), 102);
  EXPECT_FALSE(conn_->Errors().front().description.empty());
  s = conn_->Execute(Statement("SELECT x FROM UA_Nothing"));
  EXPECT_EQ(NativeOf(s, *conn_), 208);
  s = conn_->Execute(Statement("SELECT cNothing FROM UA_User"));
  EXPECT_EQ(NativeOf(s, *conn_), 207);
  s = conn_->Execute(Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES (?,?)").Bind("GL").Bind("again"));
  EXPECT_EQ(NativeOf(s, *conn_), 2627);
  // The collection holds the last failure until cleared; success keeps it.
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_SubSys WHERE cSub_Id=?").Bind("GL")), 1);
  EXPECT_FALSE(conn_->Errors().empty());
  conn_->ClearErrors();
  EXPECT_TRUE(conn_->Errors().empty());
  EXPECT_EQ(conn_->State(), ObjectState::kOpen);
}

// Another connection (another process, for the suite) sees committed rows at
// once, also through a statement this connection has prepared and run.
TEST_P(BackendTest, OtherConnectionsSeeCommittedRows) {
  Statement count("SELECT count(*) FROM UA_task with(nolock) WHERE cAcc_Id=?");
  count.Bind("001");
  EXPECT_EQ(Count(count), 0);
  auto other = Connect();
  ASSERT_TRUE(other
                  ->Execute(Statement("INSERT INTO UA_task (cAcc_Id,iYear,cAuth_Id,cTaskId,iLogId) VALUES (?,?,?,?,?)")
                                .Bind("001")
                                .Bind(int32_t{2024})
                                .Bind("reg")
                                .Bind("T1")
                                .Bind(7.0))
                  .ok());
  EXPECT_EQ(Count(count), 1);
  ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_task with(rowlock) WHERE cTaskId=?").Bind("T1")).ok());
  EXPECT_EQ(Count(*other, count), 0);
}

// Statements sent together answer as one by one: results in their order,
// a failure stops no other statement, each write is in before the next
// runs; as one unit, nothing after a failure runs.
TEST_P(BackendTest, StatementsSentTogetherAnswerAsOneByOne) {
  const Statement insert = Statement("INSERT INTO UA_task (cAcc_Id,iYear,cAuth_Id,cTaskId,iLogId) VALUES (?,?,?,?,?)")
                               .Bind("001")
                               .Bind(int32_t{2024})
                               .Bind("F1")
                               .Bind("T9")
                               .Bind(9.0);
  const Statement count = Statement("SELECT count(*) FROM UA_task WHERE cTaskId=?").Bind("T9");
  const Statement bad("SELECT cNothing FROM UA_User");
  const Statement name = Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id=?").Bind("GL");
  std::vector<ResultSet> out;
  std::vector<Status> st = conn_->QueryEach({insert, count, bad, name, count}, &out);
  ASSERT_EQ(st.size(), 5u);
  EXPECT_TRUE(st[0].ok()) << Describe(*conn_);
  EXPECT_TRUE(st[1].ok() && out[1].rows() == 1 && out[1].at(0, 0).ToInt32() == 1) << "the row is in before the read";
  EXPECT_FALSE(st[2].ok());
  EXPECT_EQ(conn_->Errors().front().native_error, 207) << "the errors are the failed statement's";
  // Reads after a failed read may be left unrun, to be asked again; once
  // answered they are the right ones, in their places.
  if (st[3].ok()) {
    EXPECT_EQ(out[3].at(0, 0).ToString(), Rows(name).at(0));
  }
  if (st[4].ok()) {
    EXPECT_EQ(out[4].at(0, 0).ToInt32(), 1);
  }
  EXPECT_EQ(Count(count), 1);

  const Statement remove = Statement("DELETE FROM UA_task WHERE cTaskId=?").Bind("T9");
  // Another failing text: psqlODBC leaks a little each time one prepared
  // statement fails again, which LeakSanitizer reports.
  st = conn_->QueryEach({Statement("SELECT cNothing FROM UA_SubSys"), remove}, &out, true);
  EXPECT_FALSE(st[0].ok());
  EXPECT_FALSE(st[1].ok()) << "a unit stops at its first failure";
  EXPECT_EQ(Count(count), 1);
  st = conn_->QueryEach({remove, count}, &out, true);
  EXPECT_TRUE(st[0].ok() && st[1].ok()) << Describe(*conn_);
  EXPECT_EQ(out[1].at(0, 0).ToInt32(), 0);
}

// A busy database (SQLite) or a deadlock (PostgreSQL) is native error 1205,
// as a SQL Server deadlock victim is.
TEST_P(BackendTest, BusyOrDeadlockIs1205) {
  auto a = Connect("ValeSystem", ";Busy Timeout=100");
  auto b = Connect("ValeSystem", ";Busy Timeout=100");
  if (GetParam() == ScratchServer::Kind::kSqlite) {
    ASSERT_TRUE(a->BeginTrans().ok());
    ASSERT_TRUE(a->Execute(Statement("UPDATE UA_SubSys SET cSub_Name=? WHERE cSub_Id=?").Bind("x").Bind("GL")).ok());
    Status s = b->Execute(Statement("UPDATE UA_SubSys SET cSub_Name=? WHERE cSub_Id=?").Bind("y").Bind("AP"));
    EXPECT_EQ(NativeOf(s, *b), 1205) << Describe(*b);
    ASSERT_TRUE(a->RollbackTrans().ok());
    EXPECT_TRUE(b->Execute(Statement("UPDATE UA_SubSys SET cSub_Name=? WHERE cSub_Id=?").Bind("y").Bind("AP")).ok());
    return;
  }
  // The other party comes through libpq and waits longer before it looks
  // for a deadlock, so the connection under test is the victim. (unixODBC
  // serialises calls into one driver, so two ODBC connections of one
  // process could not deadlock on the server at all.)
  b = Connection::Create();
  ASSERT_TRUE(b->Open(server_->libpq() + ";Initial Catalog=ValeSystem", "", "").ok()) << Describe(*b);
  ASSERT_TRUE(b->Execute(Statement("SET deadlock_timeout = '10s'")).ok()) << Describe(*b);
  Statement upd("UPDATE UA_SubSys SET cSub_Name='z' WHERE cSub_Id=?");
  ASSERT_TRUE(a->BeginTrans().ok());
  ASSERT_TRUE(b->BeginTrans().ok());
  ASSERT_TRUE(a->Execute(Statement(upd.sql()).Bind("GL")).ok());
  ASSERT_TRUE(b->Execute(Statement(upd.sql()).Bind("AP")).ok());
  // Only once a's update waits on b's row can b's close the cycle. Looked
  // at from a third connection: a transaction sees the server's activity
  // as it was when it first looked.
  auto watch = Connection::Create();
  ASSERT_TRUE(watch->Open(server_->libpq() + ";Initial Catalog=ValeSystem", "", "").ok()) << Describe(*watch);
  const Statement waiting(
      "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND wait_event_type = 'Lock'");
  Status sa;
  std::thread t([&] {
    sa = a->Execute(Statement(upd.sql()).Bind("AP"));
    // A victim's locks go with its transaction (psqlODBC keeps the
    // transaction open after a failed statement).
    EXPECT_TRUE(a->RollbackTrans().ok());
  });
  EXPECT_TRUE(testing::WaitUntil([&] { return Count(*watch, waiting) == 1; }, std::chrono::seconds(10)));
  Status sb = b->Execute(Statement(upd.sql()).Bind("GL"));
  t.join();
  EXPECT_TRUE(sb.ok()) << Describe(*b);
  EXPECT_EQ(NativeOf(sa, *a), 1205) << Describe(*a);
  EXPECT_TRUE(b->RollbackTrans().ok());
  EXPECT_EQ(Count(*a, Statement("SELECT count(*) FROM UA_SubSys WHERE cSub_Name='z'")), 0);
}

TEST_P(BackendTest, RecordsetReadsFieldsAndTypes) {
  ASSERT_TRUE(conn_->Execute(Statement("CREATE TABLE t_types (n numeric(10,2), i int, d float, s smallint)")).ok())
      << Describe(*conn_);
  ASSERT_TRUE(
      conn_
          ->Execute(
              Statement("INSERT INTO t_types VALUES (?,?,?,?)").Bind(12.5).Bind(int32_t{7}).Bind(0.25).Bind(int16_t{3}))
          .ok());
  auto rs = Recordset::Create();
  ASSERT_TRUE(rs->Open(Statement("SELECT n, i, d, s FROM t_types"), conn_, CursorType::kStatic).ok());
  EXPECT_EQ(rs->FieldByName("N")->Type(), 131);
  EXPECT_EQ(rs->FieldByName("I")->Type(), 3);
  EXPECT_EQ(rs->FieldByName("D")->Type(), 5);
  EXPECT_EQ(rs->FieldAt(3)->Type(), 2);
  EXPECT_EQ(rs->Value("n").ToDouble(), 12.5);
  EXPECT_EQ(rs->Value(size_t{1}), Variant(int32_t{7}));
  EXPECT_EQ(rs->Value("S"), Variant(int16_t{3}));

  rs = Recordset::Create();
  ASSERT_TRUE(rs->Open(Statement("SELECT iId, iYear, dBegin, dEnd, bIsDelete FROM UA_Period WHERE cAcc_id = ? AND "
                                 "dBegin <= ? AND dEnd >= ? AND  (bIsDelete=0 or bisdelete is null)")
                           .Bind("001")
                           .Bind("2024-12-31")
                           .Bind("2024-12-31"),
                       conn_)
                  .ok());
  EXPECT_EQ(rs->RecordCount(), -1);  // forward-only
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("iid").ToInt16(), 12);
  EXPECT_EQ(rs->Value("IYEAR").ToInt16(), 2024);
  EXPECT_EQ(FormatDay(rs->Value("dbegin").ToDate()), "2024-12-01");
  EXPECT_EQ(rs->FieldByName("dEnd")->Type(), 135);
  EXPECT_FALSE(rs->Value("bIsDelete").ToBool());
  EXPECT_EQ(rs->FieldByName("nothing"), nullptr);
  try {
    rs->Value("nothing");
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), 3265);
  }
  ASSERT_TRUE(rs->MoveNext().ok());
  EXPECT_TRUE(rs->Eof());
  try {
    rs->Value("iid");
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), 3021);
  }
  rs->Close();
  EXPECT_EQ(rs->State(), ObjectState::kClosed);
}

// Index 120 of account information hands out a clone of a static
// recordset; the clone outlives the original.
TEST_P(BackendTest, CloneOfStaticRecordsetOutlivesTheOriginal) {
  auto rs = Recordset::Create();
  ASSERT_TRUE(rs->Open(Statement("select distinct ua_group.cgroup_id ,ua_group.cgroup_name from ua_holdauth inner join "
                                 "ua_group on (ua_holdauth.cuser_id=ua_group.cgroup_id) where cacc_id=? and "
                                 "ua_holdauth.iYear=? and iIsuser=0")
                           .Bind("001")
                           .Bind("2024"),
                       conn_, CursorType::kStatic, LockType::kReadOnly)
                  .ok());
  EXPECT_EQ(rs->RecordCount(), 2);
  ASSERT_TRUE(rs->MoveNext().ok());
  auto clone = rs->Clone();
  ASSERT_NE(clone, nullptr);
  rs->Close();
  EXPECT_EQ(clone->RecordCount(), 2);
  std::vector<std::string> names;
  while (!clone->Eof()) {
    names.push_back(clone->Value("CGROUP_NAME").ToString());
    ASSERT_TRUE(clone->MoveNext().ok());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Accountants", "Managers"}));
  // Forward-only recordsets are not cloned.
  ASSERT_TRUE(rs->Open(Statement("SELECT cGroup_Id FROM UA_Group"), conn_).ok());
  EXPECT_EQ(rs->Clone(), nullptr);
}

// The closing flag of account information and closing status: open static
// with a lock, add a row or change one, update.
TEST_P(BackendTest, RecordsetAddsAndChangesRows) {
  const char* kSql = "SELECT * FROM UA_Account_sub WHERE cAcc_Id = ? AND iYear = ? AND cSub_Id = ?";
  auto open = [&](const char* sub, LockType lock) {
    auto rs = Recordset::Create();
    Status s = rs->Open(Statement(kSql).Bind("001").Bind(int32_t{2025}).Bind(sub), conn_, CursorType::kStatic, lock);
    EXPECT_TRUE(s.ok()) << Describe(*conn_);
    return rs;
  };
  auto rs = open("FA", LockType::kPessimistic);
  ASSERT_TRUE(rs->Eof());
  ASSERT_TRUE(rs->AddNew().ok());
  ASSERT_TRUE(rs->SetValue("cacc_id", "001").ok());
  ASSERT_TRUE(rs->SetValue("CSUB_ID", "FA").ok());
  ASSERT_TRUE(rs->FieldByName("iyear")->SetValue(int16_t{2025}).ok());
  ASSERT_TRUE(rs->SetValue("bclosing", true).ok());
  ASSERT_TRUE(rs->Update().ok()) << Describe(*conn_);
  EXPECT_FALSE(rs->Eof());
  EXPECT_TRUE(rs->Value("bclosing").ToBool());
  rs->Close();

  rs = open("fa", LockType::kOptimistic);
  ASSERT_FALSE(rs->Eof());
  EXPECT_TRUE(rs->Value("bClosing").ToBool());
  EXPECT_TRUE(rs->Value("iModiPeri").IsNull());
  ASSERT_TRUE(rs->SetValue("bclosing", false).ok());
  ASSERT_TRUE(rs->SetValue("iModiPeri", int16_t{4}).ok());
  ASSERT_TRUE(rs->Update().ok()) << Describe(*conn_);
  EXPECT_EQ(Rows(Statement("SELECT bclosing, iModiPeri FROM UA_Account_Sub WHERE cAcc_Id='001' AND iYear=2025 AND "
                           "cSub_Id='FA'")),
            (std::vector<std::string>{"0|4"}));

  // A change made underneath an open recordset is not overwritten.
  ASSERT_TRUE(conn_->Execute(Statement("UPDATE UA_Account_Sub SET iModiPeri=9 WHERE cSub_Id='FA'")).ok());
  ASSERT_TRUE(rs->SetValue("bclosing", true).ok());
  EXPECT_FALSE(rs->Update().ok());
  rs->CancelUpdate();

  // Read-only recordsets and queries over several tables cannot be changed.
  auto ro = open("GL", LockType::kReadOnly);
  EXPECT_FALSE(ro->AddNew().ok());
  auto joined = Recordset::Create();
  ASSERT_TRUE(joined
                  ->Open(Statement("SELECT UA_Period.* FROM UA_Period INNER JOIN UA_Account ON "
                                   "UA_Period.cAcc_Id=UA_Account.cAcc_Id"),
                         conn_, CursorType::kStatic, LockType::kOptimistic)
                  .ok());
  EXPECT_FALSE(joined->AddNew().ok());
}

// Live periods of each account set and year follow one another without
// overlap; the only hole is the one the demo means to have.
TEST_P(BackendTest, DemoCalendarIsContiguous) {
  auto rs = Recordset::Create();
  ASSERT_TRUE(rs->Open(Statement("SELECT cAcc_Id, iYear, iId, dBegin, dEnd FROM UA_Period WHERE (bIsDelete=0 or "
                                 "bisdelete is null) ORDER BY cAcc_Id, iYear, iId"),
                       conn_, CursorType::kStatic)
                  .ok());
  EXPECT_EQ(rs->RecordCount(), 72);
  std::vector<std::string> holes;
  std::string last_key;
  double last_end = 0;
  while (!rs->Eof()) {
    const std::string key = rs->Value("cAcc_Id").ToString();
    const double begin = rs->Value("dBegin").ToDate().serial, end = rs->Value("dEnd").ToDate().serial;
    EXPECT_LE(begin, end);
    if (key == last_key && begin != last_end + 1) {
      holes.push_back(key + " " + rs->Value("iYear").ToString() + "/" + rs->Value("iId").ToString());
    }
    last_key = key;
    last_end = end;
    ASSERT_TRUE(rs->MoveNext().ok());
  }
  EXPECT_EQ(holes, (std::vector<std::string>{"002 2025/7"}));
}

TEST_P(BackendTest, DatesLongTextAndTransactionsRoundTrip) {
  const Date day = DateFromCivil(CivilTime{2024, 2, 29, 0, 0, 0});
  const Date moment = DateFromCivil(CivilTime{2024, 3, 15, 10, 30, 45});
  ASSERT_TRUE(conn_
                  ->Execute(Statement("INSERT INTO UA_Account_Sub (cAcc_Id,iYear,cSub_Id,dSubSysUsed,dSubOriDate) "
                                      "VALUES (?,?,?,?,?)")
                                .Bind("001")
                                .Bind(int32_t{2030})
                                .Bind("GL")
                                .Bind(day)
                                .Bind(moment))
                  .ok())
      << Describe(*conn_);
  auto rs = Recordset::Create();
  ASSERT_TRUE(rs->Open(Statement("SELECT dSubSysUsed, dSubOriDate, iModiPeri FROM UA_Account_Sub WHERE iYear=2030 AND "
                                 "dSubSysUsed <= ? AND dSubSysUsed >= ?")
                           .Bind("2024-02-29")
                           .Bind(day),
                       conn_)
                  .ok())
      << Describe(*conn_);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("dSubSysUsed"), Variant(day));
  EXPECT_EQ(rs->Value("dSubOriDate"), Variant(moment));
  EXPECT_TRUE(rs->Value("iModiPeri").IsNull());

  // Text longer than a driver's buffer, and beyond the Basic Multilingual
  // Plane.
  std::string name = "张" + std::string(3000, 'x') + "😀";
  ASSERT_TRUE(conn_->Execute(Statement("UPDATE UA_Account_Sub SET cSub_Id=? WHERE iYear=2030").Bind("G😀")).ok());
  ASSERT_TRUE(
      conn_->Execute(Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES (?,?)").Bind("ZZ").Bind(name)).ok());
  EXPECT_EQ(Rows(Statement("SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id=?").Bind("zz")),
            (std::vector<std::string>{name}));
  EXPECT_EQ(Count(Statement("SELECT count(*) FROM UA_Account_Sub WHERE cSub_Id=?").Bind("g😀")), 1);

  // Rolled back is gone, committed stays, and the connection is back in
  // autocommit afterwards.
  auto other = Connect();
  ASSERT_TRUE(conn_->BeginTrans().ok());
  ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_SubSys WHERE cSub_Id=?").Bind("ZZ")).ok());
  ASSERT_TRUE(conn_->RollbackTrans().ok());
  EXPECT_EQ(Count(*other, Statement("SELECT count(*) FROM UA_SubSys WHERE cSub_Id=?").Bind("ZZ")), 1);
  ASSERT_TRUE(conn_->BeginTrans().ok());
  ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_SubSys WHERE cSub_Id=?").Bind("ZZ")).ok());
  ASSERT_TRUE(conn_->CommitTrans().ok());
  ASSERT_TRUE(conn_->Execute(Statement("DELETE FROM UA_SubSys WHERE cSub_Id=?").Bind("MR")).ok());
  EXPECT_EQ(Count(*other, Statement("SELECT count(*) FROM UA_SubSys WHERE cSub_Id IN (?)").BindList({"ZZ", "MR"})), 0);
}

TEST_P(BackendTest, RecordsetCursorAndEditing) {
  auto rs = Recordset::Create();
  // A statement without rows leaves the recordset closed, as ADO does.
  ASSERT_TRUE(rs->Open(Statement("UPDATE UA_SubSys SET cSub_Name=cSub_Name WHERE cSub_Id='GL'"), conn_).ok());
  EXPECT_EQ(rs->State(), ObjectState::kClosed);
  try {
    rs->Eof();
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), 3704);
  }

  const char* kSql = "SELECT * FROM UA_Group ORDER BY cGroup_Id";
  ASSERT_TRUE(rs->Open(Statement(kSql), conn_, CursorType::kStatic, LockType::kOptimistic).ok());
  EXPECT_FALSE(rs->Open(Statement(kSql), conn_).ok()) << "already open";
  EXPECT_FALSE(rs->Bof());
  ASSERT_TRUE(rs->MoveNext().ok());
  EXPECT_EQ(rs->Value("cGroup_Id").ToString(), "MGR");
  ASSERT_TRUE(rs->MoveFirst().ok());
  EXPECT_EQ(rs->Value("cGroup_Id").ToString(), "ACCT");

  // Moving on saves a pending change, as ADO does; CancelUpdate drops one.
  ASSERT_TRUE(rs->SetValue("cGroup_Name", "Bookkeepers").ok());
  EXPECT_EQ(rs->Value("cGroup_Name").ToString(), "Bookkeepers");
  ASSERT_TRUE(rs->MoveNext().ok());
  ASSERT_TRUE(rs->SetValue("cGroup_Name", "Bosses").ok());
  rs->CancelUpdate();
  EXPECT_EQ(rs->Value("cGroup_Name").ToString(), "Managers");
  ASSERT_TRUE(rs->AddNew().ok());
  EXPECT_FALSE(rs->Eof());
  EXPECT_TRUE(rs->Value("cGroup_Id").IsNull());
  ASSERT_TRUE(rs->SetValue("cGroup_Id", "AUD").ok());
  EXPECT_FALSE(rs->SetValue("cNothing", "x").ok());
  ASSERT_TRUE(rs->Update().ok()) << Describe(*conn_);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(Rows(Statement(kSql)), (std::vector<std::string>{"ACCT|Bookkeepers", "AUD|NULL", "MGR|Managers"}));
}

// Each template is prepared once per connection; running it again with new
// values prepares nothing. PostgreSQL lists a session's prepared statements.
TEST_P(BackendTest, TemplatesArePreparedOncePerConnection) {
  if (GetParam() != ScratchServer::Kind::kPostgres) GTEST_SKIP() << "only PostgreSQL shows its prepared statements";
  Statement prepared("SELECT count(*) FROM pg_prepared_statements");
  const int32_t before = Count(prepared);
  for (const char* user : {"ALICE", "BOB", "CAROL", "alice"}) {
    Count(Statement("SELECT count(*) FROM UA_User WHERE cUser_Id=?").Bind(user));
  }
  EXPECT_EQ(Count(prepared), before + 1);
  // An in-list is one template per list length.
  for (int round = 0; round < 2; ++round) {
    Count(Statement("SELECT count(*) FROM UA_User WHERE cUser_Id IN (?)").BindList({"ALICE", "BOB"}));
    Count(Statement("SELECT count(*) FROM UA_User WHERE cUser_Id IN (?)").BindList({"ALICE"}));
  }
  EXPECT_EQ(Count(prepared), before + 3);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendTest,
                         ::testing::Values(ScratchServer::Kind::kSqlite, ScratchServer::Kind::kPostgres,
                                           ScratchServer::Kind::kOdbc),
                         KindName);

}  // namespace
}  // namespace tarn::db
