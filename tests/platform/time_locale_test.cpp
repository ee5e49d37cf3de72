#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "platform/dos_time.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "tests/support/temp_dir.h"

namespace kv {
namespace {

// The tests run with TZ=Europe/Amsterdam (see tests/CMakeLists.txt).
std::int64_t LocalSeconds(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{s, mi, h, d, mo - 1, y - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&tm);
}
constexpr std::uint16_t Date(int y, int m, int d) { return static_cast<std::uint16_t>((y - 1980) << 9 | m << 5 | d); }
constexpr std::uint16_t Time(int h, int m, int s) { return static_cast<std::uint16_t>(h << 11 | m << 5 | s / 2); }

TEST(DosTime, HostTimesBecomeLocalDosStampsClampedToTheDosRange) {
    const struct {
        std::int64_t host;
        std::uint16_t date, time;
    } cases[] = {
        {LocalSeconds(2024, 7, 15, 13, 45, 31), Date(2024, 7, 15), Time(13, 45, 30)},  // summer time, seconds halved
        {LocalSeconds(1975, 5, 5, 5, 5, 5), Date(1980, 1, 1), 0},
        {LocalSeconds(2150, 1, 1, 0, 0, 0), Date(2107, 12, 31), Time(23, 59, 58)},
    };
    for (const auto& c : cases) {
        std::uint16_t date = 1, time = 1;
        DosDateTimeFromHostTime(c.host, date, time);
        EXPECT_EQ(std::make_pair(date, time), std::make_pair(c.date, c.time)) << c.host;
    }
}

TEST(DosTime, StampsThatAreNoRealTimeGiveTheEarliestDosTime) {
    std::int64_t t = 0;
    EXPECT_FALSE(HostTimeFromDosDateTime(0, 0, t));  // month 0
    EXPECT_EQ(t, LocalSeconds(1980, 1, 1, 0, 0, 0));
    EXPECT_FALSE(HostTimeFromDosDateTime(Date(1980, 1, 1), 24 << 11, t));
    EXPECT_FALSE(HostTimeFromDosDateTime(Date(2024, 2, 30), 0, t));
    EXPECT_FALSE(HostTimeFromDosDateTime(Date(2100, 2, 29), 0, t));
    EXPECT_TRUE(HostTimeFromDosDateTime(Date(2024, 2, 29), 0, t));
}

TEST(Formatting, NumbersFollowTheLocalesGroupingAndLongDatesTheirWeekday) {
    EnglishLocale en;
    std::string s;
    for (auto [n, text] : {std::pair<std::uint32_t, const char*>{1474560, "1,474,560"}, {0, "0"}, {999, "999"}}) {
        EXPECT_TRUE(FormatNumber(n, s, en));
        EXPECT_EQ(s, text);
    }
    NumberConventions german{".", ",", 3, 2};
    EXPECT_EQ(GroupDigits("1234567.125", german, -1), "1.234.567,13");
    EXPECT_EQ(GroupDigits("999.999", german, 2), "1.000,00");
    EXPECT_EQ(GroupDigits("1474560", NumberConventions{"", ".", 0, 0}, 0), "1474560");
    EXPECT_TRUE(FormatDosDateTime(Date(2026, 12, 5), Time(18, 30, 0), DateStyle::Long, s, en));
    EXPECT_EQ(s, "Saturday, December 5, 2026 6:30:00 PM");
}

TEST(Settings, IniValuesAreFoundWithoutRegardToCase) {
    test::TempDir dir;
    std::string path = dir.File("KORVANE.INI");
    std::ofstream(path) << "; comment\r\n[Other]\r\nTXT=no\r\n[extensions]\r\n  txt = Text document \r\nBAS=\r\n";
    EXPECT_EQ(ReadIniValue(path, "Extensions", "TXT"), "Text document");
    EXPECT_EQ(ReadIniValue(path, "EXTENSIONS", "bas", "x"), "");
    EXPECT_EQ(ReadIniValue(path, "Extensions", "COM", "none"), "none");
    EXPECT_EQ(ReadIniValue(dir.File("missing.ini"), "Extensions", "TXT", "fb"), "fb");
}

}  // namespace
}  // namespace kv
