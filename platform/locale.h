// Locale-aware display of numbers and DOS time stamps. The locale is passed in,
// so tests use the fixed English one and the programs use the user's.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dos_time.h"

namespace kv {

enum class DateStyle { Short, Long };  // DATE_SHORTDATE, DATE_LONGDATE

struct NumberConventions {
    std::string thousandsSeparator;  // empty: no grouping
    std::string decimalSeparator = ".";
    int grouping = 3;  // digits per group; 0: no grouping
    int decimals = 2;  // the locale's own number of decimals
};

class Locale {
public:
    virtual ~Locale() = default;
    virtual NumberConventions Numbers() const = 0;
    // Format a date or a time that the caller has checked to be valid.
    virtual std::string DateText(const CalendarTime& t, DateStyle style) const = 0;
    virtual std::string TimeText(const CalendarTime& t) const = 0;
};

// United States English: 1,474,560; 1/1/1980; Tuesday, January 1, 1980; 12:00:02 AM.
class EnglishLocale final : public Locale {
public:
    NumberConventions Numbers() const override;
    std::string DateText(const CalendarTime& t, DateStyle style) const override;
    std::string TimeText(const CalendarTime& t) const override;
};

// ISO 8601 dates and times (1980-01-01, 00:00:02) and numbers without grouping,
// whatever the user's locale: the command-line program's listings, which other
// programs read.
class IsoLocale final : public Locale {
public:
    NumberConventions Numbers() const override;
    std::string DateText(const CalendarTime& t, DateStyle style) const override;
    std::string TimeText(const CalendarTime& t) const override;
};

// The C library's current locale (LC_NUMERIC, LC_TIME), as the program set it
// from the environment.
class CLibraryLocale final : public Locale {
public:
    NumberConventions Numbers() const override;
    std::string DateText(const CalendarTime& t, DateStyle style) const override;
    std::string TimeText(const CalendarTime& t) const override;
};

// Writes `value` with the locale's digit grouping and no decimals. Returns true
// when the locale formatted it, false when the plain digits were used.
bool FormatNumber(std::uint32_t value, std::string& out, const Locale& locale);

// Groups the integer part of a number text ("1234567" or "1234.50") and puts the
// locale's separators in; the fraction is given to `decimals` digits (rounded
// half up), with -1 for the locale's own number of decimals.
std::string GroupDigits(const std::string& number, const NumberConventions& conventions, int decimals);

// The date and time of a directory entry's stamp for display: empty for the
// stamp 1980-01-01 00:00:00 and for a date that is not a real day; the date alone
// when the time is not a real time; else the date, a blank and the time. Returns
// true when both parts were formatted.
bool FormatDosDateTime(std::uint16_t date, std::uint16_t time, DateStyle style, std::string& out, const Locale& locale);

}  // namespace kv
