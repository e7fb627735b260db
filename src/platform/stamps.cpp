// Local times and packed MS-DOS file stamps.
#include <sys/time.h>
#include <time.h>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr DosStamp kFirstStamp = (1u << 21) | (1u << 16);  // 1 Jan 1980 00:00:00
constexpr DosStamp kLastStamp = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) |
                                (59u << 5) | 29u;  // 31 Dec 2107 23:59:58

}  // namespace

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// The local time of t as the offset from UTC gives it.
void FromOffset(std::time_t t, long offset, LocalTime& lt) {
  const long long local = static_cast<long long>(t) + offset;
  long long days = local / 86400;
  long long rest = local % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilFromDays(days, lt.year, lt.month, lt.day);
  lt.hour = static_cast<int>(rest / 3600);
  lt.minute = static_cast<int>(rest / 60 % 60);
  lt.second = static_cast<int>(rest % 60);
}

bool Same(const LocalTime& lt, const struct tm& tmv) {
  return lt.year == tmv.tm_year + 1900 && lt.month == tmv.tm_mon + 1 && lt.day == tmv.tm_mday &&
         lt.hour == tmv.tm_hour && lt.minute == tmv.tm_min && lt.second == tmv.tm_sec;
}

// The offset from UTC of the hours whose stamps were converted last, per
// thread: a walk converts the stamps of many files of the same hours, and
// the C library's conversion takes a lock that the threads of a walk would
// queue for. An hour is looked at only when a second stamp of it comes (a
// stamp alone in its hour costs one conversion, as without the table), and
// kept only when its first and its last second have the same offset and
// the C library's own conversion of both agrees with plain arithmetic (no
// change of time zone rules within the hour, no leap seconds in the
// zone's table); otherwise each stamp of it is converted by the C library.
struct HourCache {
  static constexpr int kSize = 64;
  enum State : unsigned char { kEmpty, kSeen, kKept, kRefused };
  std::time_t hour[kSize];
  long offset[kSize];
  State state[kSize] = {};
};

bool OffsetOfHour(std::time_t t, long& offset) {
  // Far outside any file's time: left to the C library.
  constexpr std::time_t kFar = std::time_t{1} << 40;
  if (t < -kFar || t > kFar) return false;
  thread_local HourCache cache;
  std::time_t hour = t / 3600;
  if (t % 3600 < 0) --hour;
  const int slot = static_cast<int>(static_cast<unsigned long long>(hour) % HourCache::kSize);
  if (cache.state[slot] == HourCache::kEmpty || cache.hour[slot] != hour) {
    cache.hour[slot] = hour;
    cache.state[slot] = HourCache::kSeen;
    return false;
  }
  if (cache.state[slot] == HourCache::kKept) {
    offset = cache.offset[slot];
    return true;
  }
  if (cache.state[slot] == HourCache::kRefused) return false;
  const std::time_t first = hour * 3600;
  const std::time_t last = first + 3599;
  struct tm a {}, b {};
  cache.state[slot] = HourCache::kRefused;
  if (localtime_r(&first, &a) == nullptr || localtime_r(&last, &b) == nullptr ||
      a.tm_gmtoff != b.tm_gmtoff)
    return false;
  LocalTime la, lb;
  FromOffset(first, a.tm_gmtoff, la);
  FromOffset(last, b.tm_gmtoff, lb);
  if (!Same(la, a) || !Same(lb, b)) return false;
  cache.offset[slot] = a.tm_gmtoff;
  cache.state[slot] = HourCache::kKept;
  offset = a.tm_gmtoff;
  return true;
}

}  // namespace

LocalTime ToLocal(std::time_t t, long nanoseconds) {
  LocalTime lt;
  long offset = 0;
  if (OffsetOfHour(t, offset)) {
    FromOffset(t, offset, lt);
    if (nanoseconds < 0) nanoseconds = 0;
    lt.millisecond = static_cast<int>((nanoseconds / 1000000) % 1000);
    return lt;
  }
  struct tm tmv {};
  if (localtime_r(&t, &tmv) == nullptr) {
    // Out of the range the C library handles: the nearest end of time.
    if (t < 0) return lt;
    lt.year = 9999;
    lt.month = 12;
    lt.day = 31;
    lt.hour = 23;
    lt.minute = 59;
    lt.second = 59;
    return lt;
  }
  lt.year = tmv.tm_year + 1900;
  lt.month = tmv.tm_mon + 1;
  lt.day = tmv.tm_mday;
  lt.hour = tmv.tm_hour;
  lt.minute = tmv.tm_min;
  lt.second = tmv.tm_sec > 59 ? 59 : tmv.tm_sec;  // a leap second counts as :59
  if (nanoseconds < 0) nanoseconds = 0;
  lt.millisecond = static_cast<int>((nanoseconds / 1000000) % 1000);
  return lt;
}

LocalTime Now() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return ToLocal(ts.tv_sec, ts.tv_nsec);
}

DosStamp PackDosStamp(const LocalTime& lt) {
  if (lt.year < 1980) return kFirstStamp;
  if (lt.year > 2107) return kLastStamp;
  return (static_cast<DosStamp>(lt.year - 1980) << 25) |
         (static_cast<DosStamp>(lt.month & 0x0f) << 21) |
         (static_cast<DosStamp>(lt.day & 0x1f) << 16) |
         (static_cast<DosStamp>(lt.hour & 0x1f) << 11) |
         (static_cast<DosStamp>(lt.minute & 0x3f) << 5) |
         static_cast<DosStamp>((lt.second / 2) & 0x1f);
}

DosStamp DosStampOf(std::time_t t) { return PackDosStamp(ToLocal(t)); }

}  // namespace platform
