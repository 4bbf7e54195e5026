// SQLite's case-insensitive text: the collation, LIKE and UPPER that stand in
// for SQL Server's usual collation, beyond ASCII.
#include <gtest/gtest.h>

#include "db/sqlite/date_collation.h"
#include "db/sqlite/unicase.h"

namespace tarn::db::sqlite {
namespace {

TEST(UnicaseTest, CompareFoldsCaseAndOrdersByFoldedText) {
  EXPECT_EQ(CompareNoCase("ALICE", "alice"), 0);
  EXPECT_EQ(CompareNoCase("Änne", "äNNE"), 0);
  EXPECT_EQ(CompareNoCase("ΣΟΦΙΑ", "σοφια"), 0);
  EXPECT_EQ(CompareNoCase("张伟", "张伟"), 0);
  EXPECT_LT(CompareNoCase("alice", "BOB"), 0);
  EXPECT_GT(CompareNoCase("bob", "ALICE"), 0);
  EXPECT_LT(CompareNoCase("AB", "abc"), 0);
  // Trailing blanks do not count, as on SQL Server; leading ones do.
  EXPECT_EQ(CompareNoCase("001", "001  "), 0);
  EXPECT_NE(CompareNoCase("001", " 001"), 0);
  EXPECT_LT(CompareNoCase("a ", "ab"), 0);
  // Malformed bytes compare as themselves, consistently.
  EXPECT_EQ(CompareNoCase("a\xff", "A\xff"), 0);
  EXPECT_NE(CompareNoCase("a\xff", "a\xfe"), 0);
  EXPECT_EQ(CompareNoCase("x\xe4", "x\xe4"), 0);  // truncated sequence
}

TEST(UnicaseTest, DatesCompareAsMomentsWhateverTheirForm) {
  EXPECT_EQ(CompareDates("2026-01-01", "2026-01-01 00:00:00"), 0);
  EXPECT_LT(CompareDates("2026-01-01", "2026-01-01 00:00:01"), 0);
  EXPECT_GT(CompareDates("2026-01-02", "2026-01-01 23:59:59"), 0);
  EXPECT_EQ(CompareDates("2026/01/01", "20260101"), 0);
  // Not dates: after every date, bytewise among themselves.
  EXPECT_LT(CompareDates("9999-12-31", "abc"), 0);
  EXPECT_LT(CompareDates("abc", "abd"), 0);
  EXPECT_EQ(CompareDates("", ""), 0);
}

TEST(UnicaseTest, LikeMatchesCodePointsCaseInsensitively) {
  EXPECT_TRUE(Like("AS11%", "as1107", 0));
  EXPECT_FALSE(Like("AS11%", "AS1", 0));
  EXPECT_TRUE(Like("%", "", 0));
  EXPECT_TRUE(Like("%%x%", "abcX", 0));
  EXPECT_TRUE(Like("a%b%c", "aXbYbZc", 0));
  EXPECT_FALSE(Like("a%b%c", "aXbYbZ", 0));
  // '_' is one character, also when it takes several bytes.
  EXPECT_TRUE(Like("张_", "张伟", 0));
  EXPECT_TRUE(Like("_nne", "Änne", 0));
  EXPECT_FALSE(Like("_", "ab", 0));
  EXPECT_TRUE(Like("ä%", "ÄNNE", 0));
  // An escaped wildcard is literal.
  EXPECT_TRUE(Like("10!%", "10%", U'!'));
  EXPECT_FALSE(Like("10!%", "100", U'!'));
  EXPECT_TRUE(Like("%!%%", "50% off", U'!'));
  EXPECT_TRUE(Like("a_%_c", "abXbc", 0));
  EXPECT_FALSE(Like("a_%_c", "abc", 0));
  // Many '%' against a long text that fails at its end: answered at once,
  // not by trying every split (which would not end).
  std::string pattern;
  for (int i = 0; i < 30; ++i) pattern += "%a";
  pattern += "%b";
  EXPECT_FALSE(Like(pattern, std::string(10000, 'a'), 0));
  EXPECT_TRUE(Like(pattern, std::string(10000, 'a') + "b", 0));
}

TEST(UnicaseTest, UpperAndLowerBeyondAscii) {
  EXPECT_EQ(Upper("änne ørsted"), "ÄNNE ØRSTED");
  EXPECT_EQ(Lower("ΣΟΦΙΑ"), "σοφια");
  EXPECT_EQ(Upper("admin"), "ADMIN");
  EXPECT_EQ(Upper("张伟"), "张伟");
  EXPECT_EQ(Upper("a\xff"), "A\xff");
}

}  // namespace
}  // namespace tarn::db::sqlite
