#include "platform/locale.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <ctime>

namespace kv {
namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// `value` in decimal, zero-padded to `width` characters, as "%0*d" writes it.
void AppendZeroPadded(std::string& out, int value, int width) {
    char digits[16];
    const long magnitude = value < 0 ? -static_cast<long>(value) : value;
    const char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    if (value < 0) {
        out += '-';
        --width;
    }
    if (end - digits < width) out.append(static_cast<std::size_t>(width - (end - digits)), '0');
    out.append(digits, static_cast<std::size_t>(end - digits));
}

std::string Strftime(const char* format, const CalendarTime& t) {
    std::tm tm = ToTm(t);
    char buffer[128];
    std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

}  // namespace

NumberConventions EnglishLocale::Numbers() const { return NumberConventions{",", ".", 3, 2}; }

std::string EnglishLocale::DateText(const CalendarTime& t, DateStyle style) const {
    char buffer[96];
    if (style == DateStyle::Short) {
        std::snprintf(buffer, sizeof buffer, "%d/%d/%d", t.month, t.day, t.year);
    } else {
        std::snprintf(buffer, sizeof buffer, "%s, %s %d, %d", kWeekdays[ToTm(t).tm_wday], kMonths[t.month - 1], t.day,
                      t.year);
    }
    return buffer;
}

std::string EnglishLocale::TimeText(const CalendarTime& t) const {
    char buffer[32];
    int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d %s", hour12, t.minute, t.second, t.hour < 12 ? "AM" : "PM");
    return buffer;
}

NumberConventions IsoLocale::Numbers() const { return NumberConventions{"", ".", 0, 2}; }

// Listings print a date for every row: these spare printf's parsing.
std::string IsoLocale::DateText(const CalendarTime& t, DateStyle) const {
    std::string text;
    AppendZeroPadded(text, t.year, 4);
    AppendZeroPadded(text += '-', t.month, 2);
    AppendZeroPadded(text += '-', t.day, 2);
    return text;
}

std::string IsoLocale::TimeText(const CalendarTime& t) const {
    std::string text;
    AppendZeroPadded(text, t.hour, 2);
    AppendZeroPadded(text += ':', t.minute, 2);
    AppendZeroPadded(text += ':', t.second, 2);
    return text;
}

NumberConventions CLibraryLocale::Numbers() const {
    const std::lconv* lc = std::localeconv();
    NumberConventions n;
    n.thousandsSeparator = lc->thousands_sep ? lc->thousands_sep : "";
    n.decimalSeparator = lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
    n.grouping = (lc->grouping && *lc->grouping > 0 && *lc->grouping < 127) ? *lc->grouping : 0;
    n.decimals = 2;
    return n;
}

std::string CLibraryLocale::DateText(const CalendarTime& t, DateStyle style) const {
    return Strftime(style == DateStyle::Short ? "%x" : "%A, %d %B %Y", t);
}

std::string CLibraryLocale::TimeText(const CalendarTime& t) const { return Strftime("%X", t); }

std::string GroupDigits(const std::string& number, const NumberConventions& c, int decimals) {
    std::string integer = number;
    std::string fraction;
    std::string::size_type dot = number.find('.');
    if (dot != std::string::npos) {
        integer = number.substr(0, dot);
        fraction = number.substr(dot + 1);
    }
    if (decimals < 0) decimals = c.decimals;
    // Round the fraction to the wanted number of digits, half up.
    if (static_cast<int>(fraction.size()) > decimals) {
        bool up = fraction[static_cast<std::size_t>(decimals)] >= '5';
        fraction.resize(static_cast<std::size_t>(decimals));
        std::string digits = integer + fraction;
        for (std::size_t i = digits.size(); up && i-- > 0;) {
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                digits[i] += 1;
                up = false;
            }
        }
        if (up) digits.insert(digits.begin(), '1');
        integer = digits.substr(0, digits.size() - fraction.size());
        fraction = digits.substr(digits.size() - fraction.size());
    }
    while (static_cast<int>(fraction.size()) < decimals) fraction += '0';

    std::string grouped;
    if (c.grouping > 0 && !c.thousandsSeparator.empty()) {
        std::size_t first = integer.size() % static_cast<std::size_t>(c.grouping);
        if (first == 0) first = static_cast<std::size_t>(c.grouping);
        grouped = integer.substr(0, first);
        for (std::size_t i = first; i < integer.size(); i += static_cast<std::size_t>(c.grouping)) {
            grouped += c.thousandsSeparator;
            grouped += integer.substr(i, static_cast<std::size_t>(c.grouping));
        }
    } else {
        grouped = integer;
    }
    if (decimals > 0) grouped += c.decimalSeparator + fraction;
    return grouped;
}

bool FormatNumber(std::uint32_t value, std::string& out, const Locale& locale) {
    out = GroupDigits(std::to_string(value), locale.Numbers(), 0);
    return true;
}

bool FormatDosDateTime(std::uint16_t date, std::uint16_t time, DateStyle style, std::string& out,
                       const Locale& locale) {
    out.clear();
    CalendarTime t = DecodeDosDateTime(date, time);
    if (t.year == 1980 && t.month == 1 && t.day == 1 && t.hour == 0 && t.minute == 0 && t.second == 0) {
        return false;
    }
    if (!IsValidCalendarDate(t)) return false;
    out = locale.DateText(t, style);
    if (!IsValidClockTime(t)) return false;
    out += " ";
    out += locale.TimeText(t);
    return true;
}

}  // namespace kv
