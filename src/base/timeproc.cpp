#include "base/timeproc.h"

#include <cmath>
#include <limits>

#include "base/codepage.h"

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Day numbers of 1 January 0001 and 31 December 9999.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958465.0;
// Day number of 1 January 1970.
constexpr std::int64_t kUnixEpochDay = 25569;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The whole-day part of a value (towards zero); 0 for values outside the
// calendar (a damaged record must not break the display).
std::int64_t DayNumber(TDateTime value) {
  if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1.0) return 0;
  return static_cast<std::int64_t>(std::trunc(value));
}

// Civil date of a count of days since 1 January 1970.
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string Chars(const std::string& s, std::size_t from1, std::size_t count) {
  return text::Left(text::Mid(s, from1 - 1), count);
}

std::string PadOne(const std::string& part) { return text::Length(part) == 1 ? "0" + part : part; }

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  int dayOfYear = day;
  for (int m = 1; m < month; ++m) dayOfYear += DaysInMonth(year, m);
  const std::int64_t y = year - 1;
  result = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - 693594);
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  const std::int64_t ms =
      static_cast<std::int64_t>(hour) * 3600000 + minute * 60000 + second * 1000 + millisecond;
  return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  CivilFromDays(DayNumber(value) - kUnixEpochDay, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  std::int64_t ms = 0;
  if (std::isfinite(value)) {
    double fraction = std::fabs(value - std::trunc(value));
    ms = static_cast<std::int64_t>(std::llround(fraction * static_cast<double>(kMsPerDay)));
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;  // never "24:00"
  }
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

TDateTime Now() {
  platform::LocalTime lt = platform::Now();
  TDateTime date = 0;
  TryEncodeDate(lt.year, lt.month, lt.day, date);
  return date + EncodeTime(lt.hour, lt.minute, lt.second, lt.millisecond);
}

TDateTime Today() { return std::trunc(Now()); }

platform::DosStamp DateTimeToDosStamp(TDateTime value) {
  platform::LocalTime lt;
  DecodeDate(value, lt.year, lt.month, lt.day);
  DecodeTime(value, lt.hour, lt.minute, lt.second, lt.millisecond);
  return platform::PackDosStamp(lt);
}

std::string FormatDateText(std::uint8_t yearDigits, TDateTime value) {
  int year, month, day;
  DecodeDate(value, year, month, day);
  std::string y = IntToTextPadded(year, 4);
  std::size_t n = yearDigits < y.size() ? yearDigits : y.size();
  return IntToTextPadded(day, 2) + "." + IntToTextPadded(month, 2) + "." + y.substr(y.size() - n);
}

std::string FormatTimeDigits(TDateTime value) {
  int hour, minute, second, millisecond;
  DecodeTime(value, hour, minute, second, millisecond);
  return IntToTextPadded(hour, 2) + IntToTextPadded(minute, 2);
}

std::string InsertTimeColon(const std::string& text) {
  if (text::Length(text) < 2) return text + ":";
  return text::Left(text, 2) + ":" + text::Mid(text, 2);
}

TDateTime ParseDateText(const std::string& input, std::string* failure) {
  if (failure != nullptr) failure->clear();
  std::string t = input;
  if (text::Length(t) > 10) {
    t = text::Left(t, 10);
    if (t.find('.') == std::string::npos) t = text::Left(t, 8);
  }
  std::string key = t;
  std::size_t dot = t.find('.');
  if (dot != std::string::npos) {
    std::string d = PadOne(t.substr(0, dot));
    t.erase(0, dot + 1);
    std::string m;
    dot = t.find('.');
    if (dot != std::string::npos) {
      m = PadOne(t.substr(0, dot));
      t.erase(0, dot + 1);
    }
    std::string y;
    if (text::Length(t) == 4)
      y = t;
    else if (!t.empty() && t[0] >= '0' && t[0] <= '3')
      y = "20" + t;
    else
      y = "19" + t;
    key = y + m + d;
  }
  TDateTime result = 0;
  if (TryEncodeDate(TextToInt(YearPart(key)), TextToInt(MonthPart(key)), TextToInt(DayPart(key)),
                    result))
    return result;
  if (failure != nullptr) *failure = "Ungültige Datumsangabe " + t;
  return Today();
}

TDateTime ParseTimeText(const std::string& input, std::string* failure) {
  if (failure != nullptr) failure->clear();
  std::string t = input;
  std::size_t colon = t.find(':');
  if (colon != std::string::npos)
    t = PadOne(t.substr(0, colon)) + ":" + PadOne(t.substr(colon + 1));
  if (text::Length(t) != 5) return Today();
  int hour = TextToInt(Chars(t, 1, 2));
  int minute = TextToInt(Chars(t, 4, 2));
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60) {
    if (failure != nullptr) *failure = "Ungültige Zeitangabe";
    return Today();
  }
  return EncodeTime(hour, minute, 0, 0);
}

std::string TrimTrailingBlanks(const std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::int32_t TextToInt(const std::string& input) {
  const std::string t = TrimTrailingBlanks(input);
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  bool hex = false;
  if (i < t.size() && t[i] == '$') {
    hex = true;
    ++i;
  } else if (i < t.size() && (t[i] == 'x' || t[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= t.size()) return 0;
  std::uint64_t value = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return 0;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return 0;
  }
  if (hex) {
    // Hexadecimal fills all 32 bits ($FFFFFFFF is -1).
    auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(bits)) : bits;
  }
  if (negative) {
    if (value > 2147483648ull) return 0;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  if (value > 2147483647ull) return 0;
  return static_cast<std::int32_t>(value);
}

bool TryTextToInt(const std::string& text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

std::string IntToText(std::int32_t value) { return std::to_string(value); }

std::string IntToTextPadded(std::int32_t value, std::uint8_t width) {
  std::string s = std::to_string(static_cast<std::uint16_t>(value));
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

std::string ShortenText(const std::string& text, int maximum) {
  const auto length = static_cast<long long>(text::Length(text));
  if (maximum >= length) return text;
  const int half = maximum / 2;
  std::string head = text::Left(text, half > 1 ? static_cast<std::size_t>(half - 1) : 0) + "...";
  const long long tailLength = maximum - static_cast<long long>(text::Length(head));
  if (tailLength <= 0) return head;
  return head + text::Mid(text, static_cast<std::size_t>(length - tailLength));
}

std::string DayPart(const std::string& key) { return Chars(key, 7, 2); }
std::string MonthPart(const std::string& key) { return Chars(key, 5, 2); }
std::string YearPart(const std::string& key) { return Chars(key, 1, 4); }
