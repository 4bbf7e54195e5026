#include "tarn/variant.h"

#include <gtest/gtest.h>

#include "db/statement.h"
#include "tarn/com_error.h"

namespace tarn {
namespace {

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.number();
  }
  return 0;
}

TEST(DateTest, SerialNumbersMatchTheAutomationEpoch) {
  EXPECT_EQ(DateFromCivil({1899, 12, 30}).serial, 0);
  EXPECT_EQ(DateFromCivil({1900, 1, 1}).serial, 2);
  EXPECT_EQ(DateFromCivil({2008, 12, 5, 12, 0, 0}).serial, 39787.5);
  // Before the epoch the time still counts forward from midnight.
  EXPECT_EQ(DateFromCivil({1899, 12, 29, 6, 0, 0}).serial, -1.25);
  CivilTime t = CivilFromDate(Date{-1.25});
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.hour, 6);
}

TEST(DateTest, RoundTripsAcrossLeapYearsAndTheEpoch) {
  for (CivilTime t : {CivilTime{1899, 1, 1}, CivilTime{2000, 2, 29, 23, 59, 59}, CivilTime{2024, 12, 31, 0, 0, 1},
                      CivilTime{1900, 3, 1, 12, 30, 0}, CivilTime{9999, 12, 31, 23, 59, 59}}) {
    CivilTime back = CivilFromDate(DateFromCivil(t));
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
              std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second))
        << FormatDateTime(DateFromCivil(t));
  }
}

TEST(DateTest, ParsesTheTextFormsCallersSend) {
  Date d;
  ASSERT_TRUE(ParseDateText("2024-03-15", &d));
  EXPECT_EQ(FormatDateTime(d), "2024-03-15 00:00:00");
  ASSERT_TRUE(ParseDateText(" 2024/3/5 08:09:10 ", &d));
  EXPECT_EQ(FormatDateTime(d), "2024-03-05 08:09:10");
  ASSERT_TRUE(ParseDateText("2024-03-15T10:30:00.250", &d));
  EXPECT_EQ(FormatDateTime(d), "2024-03-15 10:30:00");
  ASSERT_TRUE(ParseDateText("20240229", &d));
  EXPECT_EQ(FormatDay(d), "2024-02-29");
  ASSERT_TRUE(ParseDateText("1899-01-01", &d));
  EXPECT_EQ(FormatDay(d), "1899-01-01");
  for (const char* bad : {"", "2023-02-29", "2024-13-01", "2024-03-15@2024", "15.03.2024", "2024-03-15 25:00", "abc",
                          "2024-03", "2024-03-15x"}) {
    EXPECT_FALSE(ParseDateText(bad, &d)) << bad;
  }
}

TEST(VariantTest, SixteenBitOverflowIsAnErrorNotAWrap) {
  EXPECT_EQ(Variant(int32_t{32767}).ToInt16(), 32767);
  EXPECT_EQ(Variant("-32768").ToInt16(), -32768);
  EXPECT_EQ(ErrorNumber([] { Variant(int32_t{32768}).ToInt16(); }), errnum::kOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant("70000").ToInt16(); }), errnum::kOverflow);
  EXPECT_EQ(ErrorNumber([] { Variant(1e10).ToInt32(); }), errnum::kOverflow);
  // Numbers bound from text (a year, a log id) overflow alike when no
  // double holds them as written; below 2^53 a task id binds as it is.
  for (const char* text : {"0011e99", " nan", "-inf", "1e999", "1e16"}) {
    EXPECT_EQ(ErrorNumber([&] { db::Statement("SELECT ?").BindNumber(text); }), errnum::kOverflow) << text;
  }
  EXPECT_EQ(db::Statement("SELECT ?").BindNumber("2147483648").values()[0].ToDouble(), 2147483648.0);
  EXPECT_EQ(db::Statement("SELECT ?").BindNumber("123456789012345").values()[0].ToDouble(), 123456789012345.0);
}

TEST(VariantTest, ConversionsFailWithTheNumbersCallersKnow) {
  EXPECT_EQ(ErrorNumber([] { Variant("20x4").ToInt16(); }), errnum::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant("").ToInt32(); }), errnum::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant(Null{}).ToString(); }), errnum::kInvalidNull);
  EXPECT_EQ(ErrorNumber([] { Variant("not a date").ToDate(); }), errnum::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { Variant(int32_t{1}).ToObject(); }), errnum::kObjectRequired);
  EXPECT_EQ(Variant(Null{}).ToStringOrEmpty(), "");
  EXPECT_EQ(Variant().ToObject(), nullptr);
}

TEST(VariantTest, NumbersRoundHalfToEvenAndPrintWithoutNoise) {
  EXPECT_EQ(Variant(2.5).ToInt16(), 2);
  EXPECT_EQ(Variant(3.5).ToInt16(), 4);
  EXPECT_EQ(Variant(" 2024 ").ToInt32(), 2024);
  EXPECT_EQ(Variant(39785.5).ToString(), "39785.5");
  EXPECT_EQ(Variant(0.1 + 0.2).ToString(), "0.3");
  EXPECT_EQ(Variant(1234567890123.25).ToString(), "1234567890123.25");
  EXPECT_EQ(Variant(true).ToString(), "True");
  EXPECT_EQ(Variant(true).ToInt16(), -1);
  EXPECT_EQ(Variant("2024-03-15").ToDate(), DateFromCivil({2024, 3, 15}));
}

TEST(VariantTest, ArraysKeepTheirLowerBound) {
  Array a = ArgsFrom({Variant("GL"), Variant(int32_t{2})});
  EXPECT_EQ(a.lower_bound, 1);
  EXPECT_EQ(a.UpperBound(), 2);
  EXPECT_EQ(a.At(1).ToString(), "GL");
  EXPECT_EQ(ErrorNumber([&] { a.At(0); }), errnum::kSubscriptRange);
  Variant v(a);
  EXPECT_EQ(v.ToArray().items.size(), 2u);
}

}  // namespace
}  // namespace tarn
