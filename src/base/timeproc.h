// Date and time texts (day.month.year, hour:minute) and small text helpers.
// A date-time value is a double: whole days since 30 December 1899 plus the
// fraction of the day.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

using TDateTime = double;

// Calendar of the date-time type.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
// Hour, minute, second, millisecond of the time of day (to the nearest ms).
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// The current local date and time, and today's date alone.
TDateTime Now();
TDateTime Today();
// The local date-time value of a packed stamp and back.
platform::DosStamp DateTimeToDosStamp(TDateTime value);

std::string FormatDateText(std::uint8_t yearDigits, TDateTime value);
std::string FormatTimeDigits(TDateTime value);
std::string InsertTimeColon(const std::string& text);
// Lenient readers. An invalid date gives today's date and sets *failure
// to "Ungültige Datumsangabe " + rest, an out-of-range time gives today and
// "Ungültige Zeitangabe": the caller shows that text (with a beep). A valid
// text leaves *failure empty.
TDateTime ParseDateText(const std::string& text, std::string* failure = nullptr);
TDateTime ParseTimeText(const std::string& text, std::string* failure = nullptr);

std::string TrimTrailingBlanks(const std::string& text);
std::int32_t TextToInt(const std::string& text);
// Strict variant: false for anything that is not a signed 32-bit decimal.
bool TryTextToInt(const std::string& text, std::int32_t& value);
std::string IntToText(std::int32_t value);
std::string IntToTextPadded(std::int32_t value, std::uint8_t width);
std::string ShortenText(const std::string& text, int maximum);
std::string DayPart(const std::string& key);
std::string MonthPart(const std::string& key);
std::string YearPart(const std::string& key);
