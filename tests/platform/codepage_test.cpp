#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTripAndLettersAndGraphicsMapToTheirUnicode) {
    for (int b = 1; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp437(Cp437ToUtf8(one)), one) << "byte " << b;
    }
    EXPECT_EQ(Cp437ToUtf8("\x80\x81\x9B\x01\x7F"), "\u00C7\u00FC\u00A2\u263A\u2302");
    EXPECT_EQ(Utf8ToCp437("\u00E9T\u00C9"), "\x82T\x90");
}

TEST(CodePage, CharactersOutsideTheCodePageAndBrokenUtf8BecomeTheReplacement) {
    EXPECT_EQ(Utf8ToCp437("a\u4E2Db"), "a_b");
    EXPECT_EQ(Utf8ToCp437("a\xC3"), "a_");       // sequence cut short
    EXPECT_EQ(Utf8ToCp437("\xFFz", '?'), "?z");  // not UTF-8 at all
}

TEST(CodePage, UpperCasingCoversAsciiAndTheAccentedPairsOnly) {
    std::string s = "readme.txt\x87\x81\x82\x84\x86\x91\x94\xA4\x83\xE1";
    UpperCaseCp437(s);
    // \x83 (a circumflex) has no capital in the code page; \xE1 (sharp s) neither.
    EXPECT_EQ(s, "README.TXT\x80\x9A\x90\x8E\x8F\x92\x99\xA5\x83\xE1");
}

}  // namespace
}  // namespace kv
