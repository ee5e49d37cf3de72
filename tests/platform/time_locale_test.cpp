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

TEST(DosTime, HostTimesBecomeLocalDosStampsAndBack) {
    std::uint16_t date = 0, time = 0;
    // Summer time: the stamp holds the local wall clock.
    DosDateTimeFromHostTime(LocalSeconds(2024, 7, 15, 13, 45, 31), date, time);
    EXPECT_EQ(date, ((2024 - 1980) << 9) | (7 << 5) | 15);
    EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15) << "seconds are halved";
    std::int64_t back = 0;
    EXPECT_TRUE(HostTimeFromDosDateTime(date, time, back));
    EXPECT_EQ(back, LocalSeconds(2024, 7, 15, 13, 45, 30));
}

TEST(DosTime, StampsOutsideTheDosRangeAreClamped) {
    std::uint16_t date = 1, time = 1;
    DosDateTimeFromHostTime(LocalSeconds(1975, 5, 5, 5, 5, 5), date, time);
    EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
    EXPECT_EQ(time, 0);
    DosDateTimeFromHostTime(LocalSeconds(2150, 1, 1, 0, 0, 0), date, time);
    EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
    EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);
}

TEST(DosTime, StampsThatAreNoRealTimeGiveTheEarliestDosTime) {
    std::int64_t t = 0;
    EXPECT_FALSE(HostTimeFromDosDateTime(0, 0, t));  // month 0
    EXPECT_EQ(t, LocalSeconds(1980, 1, 1, 0, 0, 0));
    EXPECT_FALSE(HostTimeFromDosDateTime((1 << 5) | 1, 24 << 11, t));  // hour 24
    EXPECT_FALSE(HostTimeFromDosDateTime((2 << 5) | 30, 0, t));        // 30 February
    EXPECT_TRUE(HostTimeFromDosDateTime(((2000 - 1980) << 9) | (2 << 5) | 29, 0, t));  // leap day
}

TEST(Formatting, NumbersFollowTheLocalesGrouping) {
    EnglishLocale en;
    for (auto [n, text] : {std::pair<std::uint64_t, const char*>{1474560, "1,474,560"}, {0, "0"},
                           {4294967295u, "4,294,967,295"}, {999, "999"}}) {
        std::string s;
        EXPECT_TRUE(FormatNumber(n, s, en));
        EXPECT_EQ(s, text);
    }
    NumberConventions german{".", ",", 3, 2};
    EXPECT_EQ(GroupDigits("1234567.125", german, -1), "1.234.567,13");
    EXPECT_EQ(GroupDigits("0.976", german, 2), "0,98");
    EXPECT_EQ(GroupDigits("999.999", german, 2), "1.000,00");
    NumberConventions plain{"", ".", 0, 0};
    EXPECT_EQ(GroupDigits("1474560", plain, 0), "1474560");
}

TEST(Formatting, DosStampsShowDateAndTimeOrNothing) {
    EnglishLocale en;
    std::string s;
    EXPECT_FALSE(FormatDosDateTime(0x0021, 0x0000, DateStyle::Short, s, en));
    EXPECT_EQ(s, "") << "1980-01-01 00:00:00 is no date";
    EXPECT_FALSE(FormatDosDateTime(0x0000, 0x0000, DateStyle::Short, s, en));
    EXPECT_EQ(s, "") << "month 0 cannot be formatted";
    EXPECT_TRUE(FormatDosDateTime(0x0021, 0x0001, DateStyle::Short, s, en));
    EXPECT_EQ(s, "1/1/1980 12:00:02 AM");
    EXPECT_FALSE(FormatDosDateTime(0x0021, 24 << 11, DateStyle::Short, s, en));
    EXPECT_EQ(s, "1/1/1980") << "a time that is no real time leaves the date alone";
    std::uint16_t date = ((2026 - 1980) << 9) | (12 << 5) | 5;
    EXPECT_TRUE(FormatDosDateTime(date, (18 << 11) | (30 << 5), DateStyle::Long, s, en));
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
