#include "platform/dos_time.h"

#include <ctime>

namespace kv {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeap(year)) return 29;
    return kDays[month - 1];
}

// Day of the week, 0 = Sunday, on the proleptic Gregorian calendar.
int Weekday(int year, int month, int day) {
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

std::int64_t LocalToHost(const CalendarTime& t) {
    std::tm tm = ToTm(t);
    return static_cast<std::int64_t>(std::mktime(&tm));
}

}  // namespace

std::tm ToTm(const CalendarTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = t.month >= 1 && t.month <= 12 ? Weekday(t.year, t.month, t.day) : 0;
    tm.tm_isdst = -1;
    return tm;
}

CalendarTime DecodeDosDateTime(std::uint16_t date, std::uint16_t time) {
    CalendarTime t;
    t.year = 1980 + (date >> 9);
    t.month = (date >> 5) & 15;
    t.day = date & 31;
    t.hour = time >> 11;
    t.minute = (time >> 5) & 63;
    t.second = (time & 31) * 2;
    return t;
}

void EncodeDosDateTime(const CalendarTime& t, std::uint16_t& date, std::uint16_t& time) {
    date = static_cast<std::uint16_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
    time = static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
}

bool IsValidCalendarDate(const CalendarTime& t) {
    return t.year >= 1601 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month);
}

bool IsValidClockTime(const CalendarTime& t) {
    return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60;
}

void DosDateTimeFromHostTime(std::int64_t unixSeconds, std::uint16_t& date, std::uint16_t& time) {
    std::time_t host = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    CalendarTime t;
    if (localtime_r(&host, &tm) == nullptr) {
        t = CalendarTime{};  // far outside any calendar: the earliest stamp
    } else {
        t.year = tm.tm_year + 1900;
        t.month = tm.tm_mon + 1;
        t.day = tm.tm_mday;
        t.hour = tm.tm_hour;
        t.minute = tm.tm_min;
        t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    }
    if (t.year < 1980) {
        t = CalendarTime{};
    } else if (t.year > 2107) {
        t = CalendarTime{2107, 12, 31, 23, 59, 58};
    }
    EncodeDosDateTime(t, date, time);
}

bool HostTimeFromDosDateTime(std::uint16_t date, std::uint16_t time, std::int64_t& unixSeconds) {
    CalendarTime t = DecodeDosDateTime(date, time);
    if (!IsValidCalendarDate(t) || !IsValidClockTime(t)) {
        unixSeconds = LocalToHost(CalendarTime{});
        return false;
    }
    unixSeconds = LocalToHost(t);
    return true;
}

CalendarTime LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace kv
