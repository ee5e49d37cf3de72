#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"

namespace kv {
namespace {

TEST(SystemErrors, HostErrorsKeepTheirWindowsNumbers) {
    const std::pair<int, std::uint32_t> pairs[] = {
        {0, ERROR_SUCCESS},          {EACCES, ERROR_ACCESS_DENIED}, {EPERM, ERROR_ACCESS_DENIED},
        {ENOENT, ERROR_FILE_NOT_FOUND}, {EEXIST, ERROR_FILE_EXISTS},   {ENOSPC, ERROR_DISK_FULL},
        {EROFS, ERROR_WRITE_PROTECT}, {EBUSY, ERROR_BUSY},             {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
    };
    for (const auto& [e, code] : pairs) EXPECT_EQ(ErrorFromErrno(e), code) << e;
    EXPECT_EQ(ErrorFromErrno(ECHILD), ERROR_GEN_FAILURE) << "unmatched errno values are general failures";
}

TEST(SystemErrors, TextsUseTheHostsWordingAndEndWithALineBreak) {
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), std::string(std::strerror(EACCES)) + ".\n");
    EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), std::string(std::strerror(ENOENT)) + ".\n");
    EXPECT_EQ(SystemErrorText(ERROR_CRC), "Data error (cyclic redundancy check).\n");
    EXPECT_FALSE(SystemErrorText(1358).empty());
    EXPECT_TRUE(SystemErrorText(9999).empty());
}

TEST(SystemErrors, MessageIsPrefixSystemTextAndSuffixOnTheirOwnLines) {
    test::ScriptedUi ui;
    ShowSystemError(ui, kMainWindow, std::string("A: [WORK]"), ERROR_NOT_READY, std::nullopt, MB_ICONHAND);
    EXPECT_TRUE(ui.Showed("A: [WORK]\n" + SystemErrorText(ERROR_NOT_READY), MB_ICONHAND));

    ui.answers.push_back(IDRETRY);
    int answer = ShowSystemError(ui, kMainWindow, std::string("Disk sector 17 cannot be read!"), ERROR_CRC,
                                 std::string("after"), MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    EXPECT_EQ(answer, IDRETRY);
    // The system text keeps its own line break, so the suffix stands one empty line below it.
    EXPECT_EQ(ui.Last().text,
              "Disk sector 17 cannot be read!\nData error (cyclic redundancy check).\n\nafter");
    EXPECT_EQ(ui.Last().DefaultButton(), MB_DEFBUTTON2);

    ShowSystemError(ui, kMainWindow, std::nullopt, 9999, std::string("tail"), MB_ICONHAND);
    EXPECT_EQ(ui.Last().text, "Error 9999\ntail");
}

TEST(StringTable, FilterStringsBecomeNulSeparatedLists) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    std::size_t n = LoadFilterString(7, buffer, sizeof buffer);
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(std::string(buffer, n + 1), std::string("All files\0*.*\0\0", 15));

    auto pairs = LoadFilterPairs(6);
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"All disk-images", "*.dsk;*.flp"}));
    EXPECT_EQ(pairs[3].second, "*.*");

    char small[6];
    EXPECT_EQ(LoadFilterString(7, small, sizeof small), 5u) << "cut to the buffer";
    EXPECT_EQ(small[5], '\0');
}

TEST(StringTable, FillTextFillsDirectivesInOrderAndNeverReadsArgumentsAsDirectives) {
    EXPECT_EQ(FillText("Disk in %c:, capacity is %lu KBytes", {"A", "1440"}), "Disk in A:, capacity is 1440 KBytes");
    EXPECT_EQ(FillText("File '%s' already exists! Replace?", {"100%s.TXT"}),
              "File '100%s.TXT' already exists! Replace?");
    EXPECT_EQ(FillText("%s KB (%s Byte), %s Byte allocated", {"1.50", "1,536"}), "1.50 KB (1,536 Byte),  Byte allocated");
    EXPECT_EQ(FillText("100%% of %ld", {"7"}), "100% of 7");
}

}  // namespace
}  // namespace kv
