// DOS date and time words and their conversion to and from host time. DOS stamps
// hold local time; host times are seconds since the epoch.
#pragma once

#include <cstdint>
#include <ctime>

namespace kv {

// A broken-down local time as the DOS words hold it.
struct CalendarTime {
    int year = 1980;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Decodes the two words without checking them (a month of 0 stays 0).
CalendarTime DecodeDosDateTime(std::uint16_t date, std::uint16_t time);

// The C library's broken-down time of a calendar time (with its weekday;
// daylight saving time left to the library).
std::tm ToTm(const CalendarTime& t);

// Encodes a calendar time; seconds are halved. Fields are not checked.
void EncodeDosDateTime(const CalendarTime& t, std::uint16_t& date, std::uint16_t& time);

// True when the date is a real day of the calendar and year 1601 or later.
bool IsValidCalendarDate(const CalendarTime& t);
// True when the time is 00:00:00 ... 23:59:59.
bool IsValidClockTime(const CalendarTime& t);

// Host time to DOS stamp in local time. Times before 1980-01-01 00:00:00 give
// that moment; times after 2107-12-31 23:59:58 give that moment.
void DosDateTimeFromHostTime(std::int64_t unixSeconds, std::uint16_t& date, std::uint16_t& time);

// DOS stamp, read as local time, to host time. False when the words are not a
// valid date and time (a month or day of 0, an hour of 24 ...); `unixSeconds`
// is then the start of 1980-01-01 in local time, the earliest DOS stamp.
bool HostTimeFromDosDateTime(std::uint16_t date, std::uint16_t time, std::int64_t& unixSeconds);

// The current local time.
CalendarTime LocalNow();

}  // namespace kv
