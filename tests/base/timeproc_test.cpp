#include "base/timeproc.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/codepage.h"
#include "support/core_support.h"

namespace {

TDateTime Date(int y, int m, int d) {
  TDateTime v = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, v));
  return v;
}

TEST(DateText, CalendarOfTheDateTimeType) {
  EXPECT_EQ(Date(1899, 12, 30), 0.0);
  EXPECT_EQ(Date(2003, 2, 22), 37674.0);
  EXPECT_EQ(Date(1, 1, 1), -693593.0);
  EXPECT_EQ(Date(9999, 12, 31), 2958465.0);
  TDateTime v;
  EXPECT_FALSE(TryEncodeDate(2003, 2, 29, v));
  EXPECT_TRUE(TryEncodeDate(2004, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
  EXPECT_FALSE(TryEncodeDate(2003, 13, 1, v));
  int y, m, d;
  DecodeDate(-693593.0, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  DecodeDate(Date(2000, 2, 29) + 0.99, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
}

TEST(DateText, Formatting) {
  EXPECT_EQ(FormatDateText(4, Date(2003, 3, 5)), "05.03.2003");
  EXPECT_EQ(FormatDateText(2, Date(2003, 3, 5)), "05.03.03");
  EXPECT_EQ(FormatDateText(4, 0), "30.12.1899");
  EXPECT_EQ(FormatDateText(4, Date(812, 1, 2)), "02.01.0812");
  EXPECT_EQ(InsertTimeColon(FormatTimeDigits(0)), "00:00");
  // 09:07:59.9 is cut, not rounded, to the minute.
  EXPECT_EQ(InsertTimeColon(FormatTimeDigits(EncodeTime(9, 7, 59, 900))), "09:07");
  EXPECT_EQ(FormatTimeDigits(Date(2003, 3, 5) + EncodeTime(23, 59, 0, 0)), "2359");
  // A value a hair below midnight never reads 24:00.
  EXPECT_EQ(FormatTimeDigits(0.9999999999), "2359");
  // Damaged values show the zero date instead of breaking.
  EXPECT_EQ(FormatDateText(4, std::nan("")), "30.12.1899");
  EXPECT_EQ(FormatDateText(4, 1e300), "30.12.1899");
  EXPECT_EQ(FormatTimeDigits(std::nan("")), "0000");
  EXPECT_EQ(InsertTimeColon("1"), "1:");
}

TEST(DateText, ParseDateTextReadsLeniently) {
  vktest::ScriptedUi ui;
  EXPECT_EQ(ParseDateText("22.02.2003"), Date(2003, 2, 22));
  EXPECT_EQ(ParseDateText("1.2.03"), Date(2003, 2, 1));
  EXPECT_EQ(ParseDateText("1.2.45"), Date(1945, 2, 1));
  EXPECT_EQ(ParseDateText("1.2.39"), Date(2039, 2, 1));
  EXPECT_EQ(ParseDateText("20030222"), Date(2003, 2, 22));
  EXPECT_EQ(ParseDateText("22.02.2003 12:30"), Date(2003, 2, 22));
  // The day comes from characters 7 and 8 of the key 200302123.
  EXPECT_EQ(ParseDateText("123.2.2003"), Date(2003, 2, 12));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(DateText, InvalidDatesTellTheRestAndGiveToday) {
  vktest::ScriptedUi ui;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"31.02.2003", "2003"}, {"22.02", "02"},       {"1.2.", ""}, {"5.", ""}, {"", ""},
      {"200313", "200313"},   {"ab.cd.efgh", "efgh"}};
  for (const auto& [input, rest] : cases) {
    std::string failure;
    EXPECT_EQ(ParseDateText(input, &failure), Today()) << input;
    EXPECT_EQ(failure, "Ungültige Datumsangabe " + rest);
  }
  // The reader itself shows nothing.
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(DateText, ParseTimeText) {
  vktest::ScriptedUi ui;
  EXPECT_EQ(ParseTimeText("12:30"), EncodeTime(12, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("9:5"), EncodeTime(9, 5, 0, 0));
  EXPECT_EQ(ParseTimeText("12.30"), EncodeTime(12, 30, 0, 0));
  EXPECT_EQ(ParseTimeText("ab:cd"), 0.0);
  EXPECT_EQ(ParseTimeText("1230"), Today());
  EXPECT_EQ(ParseTimeText("12:30:15"), Today());
  std::string failure;
  EXPECT_EQ(ParseTimeText("12:30", &failure), EncodeTime(12, 30, 0, 0));
  EXPECT_EQ(failure, "");
  EXPECT_EQ(ParseTimeText("25:00", &failure), Today());
  EXPECT_EQ(failure, "Ungültige Zeitangabe");
  EXPECT_EQ(ParseTimeText("12:60", &failure), Today());
  EXPECT_EQ(failure, "Ungültige Zeitangabe");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(DateText, NowAndStamps) {
  TDateTime now = Now();
  EXPECT_GE(now, Today());
  EXPECT_LT(now, Today() + 1);
  EXPECT_EQ(Today(), std::trunc(Today()));
  // 22.02.2003 12:30:10 packed: year 23, month 2, day 22, 12:30, 5 x 2 s.
  platform::DosStamp expected =
      (23u << 25) | (2u << 21) | (22u << 16) | (12u << 11) | (30u << 5) | 5u;
  EXPECT_EQ(DateTimeToDosStamp(Date(2003, 2, 22) + EncodeTime(12, 30, 10, 0)), expected);
}

TEST(TextHelpers, TextToIntIsLenient) {
  EXPECT_EQ(TextToInt("42"), 42);
  EXPECT_EQ(TextToInt("  -42  "), -42);
  EXPECT_EQ(TextToInt("$1F"), 31);
  EXPECT_EQ(TextToInt("0x10"), 16);
  EXPECT_EQ(TextToInt("x10"), 16);
  EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(TextToInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TextToInt("2147483648"), 0);
  EXPECT_EQ(TextToInt("12a"), 0);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("-"), 0);
  EXPECT_EQ(TextToInt("1\t"), 0);
}

TEST(TextHelpers, TryTextToIntIsStrict) {
  std::int32_t v = 7;
  EXPECT_TRUE(TryTextToInt("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_TRUE(TryTextToInt("+15", v));
  EXPECT_EQ(v, 15);
  for (const char* bad : {"", "-", "1 ", " 1", "$10", "2147483648", "1.0", "99999999999999999999"})
    EXPECT_FALSE(TryTextToInt(bad, v)) << bad;
}

TEST(TextHelpers, SmallTextOperations) {
  EXPECT_EQ(TrimTrailingBlanks("ab \t  "), "ab \t");
  EXPECT_EQ(TrimTrailingBlanks("   "), "");
  EXPECT_EQ(IntToText(-5), "-5");
  EXPECT_EQ(IntToTextPadded(7, 2), "07");
  EXPECT_EQ(IntToTextPadded(123, 2), "123");
  EXPECT_EQ(IntToTextPadded(65536, 2), "00");
  EXPECT_EQ(IntToTextPadded(-1, 2), "65535");
  EXPECT_EQ(DayPart("20030222"), "22");
  EXPECT_EQ(MonthPart("20030222"), "02");
  EXPECT_EQ(YearPart("20030222"), "2003");
  EXPECT_EQ(DayPart("200222"), "");
}

TEST(TextHelpers, ShortenText) {
  const std::string fifty(50, 'x');
  EXPECT_EQ(ShortenText(fifty, 50), fifty);
  std::string s;
  for (int i = 0; i < 51; ++i) s += static_cast<char>('A' + i % 26);
  EXPECT_EQ(ShortenText(s, 50), s.substr(0, 24) + "..." + s.substr(51 - 23));
  EXPECT_EQ(text::Length(ShortenText(std::string(60, 'y'), 50)), 50u);
  EXPECT_EQ(ShortenText("abcdef", 2), "...");
  // Umlauts count as one character each.
  std::string u;
  for (int i = 0; i < 60; ++i) u += "ü";
  EXPECT_EQ(text::Length(ShortenText(u, 50)), 50u);
}

}  // namespace
