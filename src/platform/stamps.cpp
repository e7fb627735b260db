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

LocalTime ToLocal(std::time_t t, long nanoseconds) {
  LocalTime lt;
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
