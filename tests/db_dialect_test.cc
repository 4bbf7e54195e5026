// Template rewriting where it is easy to get wrong: the rewrites must touch
// the constructs and nothing that only looks like them. The backend suite
// runs the rewritten statements for real.
#include <gtest/gtest.h>

#include "db/dialect.h"
#include "db/national.h"

namespace tarn::db {
namespace {

std::string To(Flavor f, std::string_view sql, std::vector<int> sizes = {}, bool numbered = false) {
  Translation t;
  if (sizes.empty()) sizes.assign(static_cast<size_t>(CountPlaceholders(sql)), -1);
  Status s = Translate(sql, Dialect{f, numbered}, sizes, &t);
  EXPECT_TRUE(s.ok()) << s.message();
  return t.sql;
}

TEST(DialectTest, TopBecomesLimitAtTheEndOfItsOwnQuery) {
  EXPECT_EQ(To(Flavor::kSqlite, "SELECT top 1  iLogId FROM UA_task with(nolock) WHERE iLogId=?"),
            "SELECT   iLogId FROM UA_task  WHERE iLogId=? LIMIT 1");
  EXPECT_EQ(To(Flavor::kSqlite, "SELECT a FROM t WHERE a IN (SELECT TOP (2) b FROM u ORDER BY b) ORDER BY a;"),
            "SELECT a FROM t WHERE a IN (SELECT  b FROM u ORDER BY b LIMIT 2) ORDER BY a;");
  EXPECT_EQ(To(Flavor::kPostgres, "SELECT DISTINCT TOP 5 a FROM t ORDER BY a DESC, b"),
            "SELECT DISTINCT  a FROM t ORDER BY a DESC NULLS LAST, b NULLS FIRST LIMIT 5");
  // Only the outermost query's TOP 1 lets a backend stop at the first row:
  // a TOP 1 inside it limits the subquery, not the rows returned.
  auto single_row = [](std::string_view sql) {
    Translation t;
    EXPECT_TRUE(Translate(sql, Dialect{Flavor::kSqlite, false}, {}, &t).ok());
    return t.single_row;
  };
  EXPECT_TRUE(single_row("SELECT TOP (1) a FROM t"));
  EXPECT_FALSE(single_row("SELECT a FROM t WHERE a IN (SELECT TOP 1 b FROM u)"));
  EXPECT_FALSE(single_row("SELECT TOP 10 a FROM t"));
}

TEST(DialectTest, RewritesLeaveLiteralsAndLookalikesAlone) {
  // Hints, GETDATE, isnull inside a string are text; a column named "top"
  // or "with" stays.
  EXPECT_EQ(To(Flavor::kSqlite, "SELECT 'with(nolock) getdate() isnull(' FROM t WHERE [top]=1"),
            "SELECT 'with(nolock) getdate() isnull(' FROM t WHERE [top]=1");
  EXPECT_EQ(To(Flavor::kPostgres, "SELECT isnull(x,'') AS [Top], N'it''s' FROM ValeSystem..UA_task -- top 1\n"),
            "SELECT coalesce(x,'') AS \"top\", 'it''s' FROM ValeSystem.UA_task -- top 1\n");
  EXPECT_EQ(To(Flavor::kSqlite, "UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=?"),
            "UPDATE UA_log  SET Success=1,douttime= strftime('%Y-%m-%d %H:%M:%f','now','localtime') WHERE ilogid=?");
  EXPECT_EQ(To(Flavor::kPostgres, "VALUES( CONVERT(VarChar, getdate(), 121) ,'0')"),
            "VALUES( to_char( LOCALTIMESTAMP(3), 'YYYY-MM-DD HH24:MI:SS.MS') ,'0')");
  EXPECT_EQ(To(Flavor::kSqlite, "SELECT CONVERT(varchar(10), dBegin, 120) FROM VALEDATA_001_2024.dbo.T"),
            "SELECT substr(strftime('%Y-%m-%d %H:%M:%S',  dBegin), 1, 10) FROM VALEDATA_001_2024.T");
}

TEST(DialectTest, PlaceholdersAndInLists) {
  EXPECT_EQ(To(Flavor::kPostgres, "a=? AND b IN (?) AND c=N?", {-1, 3, -1}, true), "a=$1 AND b IN ($2,$3,$4) AND c=$5");
  EXPECT_EQ(To(Flavor::kTsql, "a=? AND b IN (?) AND c=N?", {-1, 0, -1}), "a=? AND b IN (NULL) AND c=?");
  Translation t;
  ASSERT_TRUE(Translate("a=N? AND b IN (?)", Dialect{Flavor::kTsql, false}, {-1, 2}, &t).ok());
  EXPECT_EQ(t.national, (std::vector<bool>{true, false, false}));
  // A '?' in a string or a comment is not a placeholder.
  EXPECT_EQ(CountPlaceholders("SELECT '?' /* ? */ FROM t WHERE a=? -- ?"), 1);
  EXPECT_FALSE(Translate("a=? AND b=?", Dialect{Flavor::kSqlite, false}, {-1}, &t).ok());
}

TEST(DialectTest, CatalogCommandsAndBrokenText) {
  Translation t;
  ASSERT_TRUE(Translate("USE ValeSystem", Dialect{Flavor::kSqlite, false}, {}, &t).ok());
  EXPECT_EQ(t.kind, Translation::Kind::kUse);
  EXPECT_EQ(t.catalog, "ValeSystem");
  ASSERT_TRUE(Translate(" use [VALEDATA_001_2024] ;", Dialect{Flavor::kPostgres, true}, {}, &t).ok());
  EXPECT_EQ(t.catalog, "VALEDATA_001_2024");
  EXPECT_FALSE(Translate("USE [../etc]", Dialect{Flavor::kSqlite, false}, {}, &t).ok());
  EXPECT_FALSE(Translate("SELECT 'unclosed", Dialect{Flavor::kSqlite, false}, {}, &t).ok());
  EXPECT_FALSE(Translate("SELECT TOP x FROM t", Dialect{Flavor::kSqlite, false}, {}, &t).ok());
}

TEST(DialectTest, UpdatableTableIsOneTableOnly) {
  EXPECT_EQ(UpdatableTable("SELECT * FROM UA_Account_sub WHERE cAcc_Id = ?"), "UA_Account_sub");
  EXPECT_EQ(UpdatableTable("select * from ValeSystem..sys_path with(nolock) order by id"), "ValeSystem..sys_path");
  EXPECT_EQ(UpdatableTable("SELECT a FROM t1, t2"), "");
  EXPECT_EQ(UpdatableTable("SELECT a FROM t1 INNER JOIN t2 ON t1.a=t2.a"), "");
  EXPECT_EQ(UpdatableTable("SELECT a FROM t1 x WHERE a=1"), "");
  EXPECT_EQ(UpdatableTable("SELECT DISTINCT a FROM t1"), "");
  EXPECT_EQ(UpdatableTable("SELECT a FROM t1 UNION SELECT a FROM t2"), "");
  EXPECT_EQ(UpdatableTable("SELECT a FROM t1 WHERE a IN (SELECT b FROM t2, t3)"), "t1");
}

// The extended build's Unicode marks: every string of a template, or only
// those a template marks itself, which the full build sends unmarked.
TEST(DialectTest, UnicodeMarksOnEveryStringOrOnlyTheMarkedOnes) {
  EXPECT_EQ(NationalTemplate("SELECT a FROM t WHERE b=? AND c='x' AND d IN (?) AND e=N'y' AND f='it''s'"),
            "SELECT a FROM t WHERE b=N? AND c=N'x' AND d IN (N?) AND e=N'y' AND f=N'it''s'");
  // Names that end in N, and an N inside a literal, are no marks.
  EXPECT_EQ(PlainTemplate("SELECT * FROM t WHERE a=N? AND b IN (N?) AND cN=? AND c IN? AND d='N''?' AND e=n'z'"),
            "SELECT * FROM t WHERE a=? AND b IN (?) AND cN=? AND c IN? AND d='N''?' AND e='z'");
  EXPECT_EQ(PlainTemplate("N?"), "?");
}

}  // namespace
}  // namespace tarn::db
