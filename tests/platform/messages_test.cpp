#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"

namespace kv {
namespace {

std::string HostWords(int error) { return std::string(std::strerror(error)) + ".\n"; }

// Each errno in the host's words, its own or those of the errno it stands for.
TEST(SystemErrors, EachErrnoIsShownInTheHostsWordsOrInWordsOfItsOwn) {
    const std::pair<int, int> words[] = {
        {EACCES, EACCES},  {EPERM, EACCES},    {EISDIR, EACCES},       {ENOENT, ENOENT},
        {ENOTDIR, ENOENT}, {EMFILE, EMFILE},   {ENFILE, EMFILE},       {EBADF, EBADF},
        {ENOMEM, ENOMEM},  {EROFS, EROFS},     {ENODEV, ENODEV},       {EIO, EIO},
        {ESPIPE, ESPIPE},  {EAGAIN, EAGAIN},   {EEXIST, EEXIST},       {EINVAL, EINVAL},
        {EPIPE, EPIPE},    {ENOSPC, ENOSPC},   {EDQUOT, ENOSPC},       {ENOTEMPTY, ENOTEMPTY},
        {EBUSY, EBUSY},    {EFBIG, EFBIG},     {EOVERFLOW, EFBIG},     {ENAMETOOLONG, ENAMETOOLONG},
        {ELOOP, ELOOP},    {ENOTSUP, ENOTSUP}, {ENOMEDIUM, ENOMEDIUM},
    };
    for (auto [error, meaning] : words) EXPECT_EQ(SystemErrorText(ErrorFromErrno(error)), HostWords(meaning)) << error;
    EXPECT_EQ(ErrorFromErrno(ENOTDIR), ERROR_PATH_NOT_FOUND) << "a code of its own";
    // Where the host's words would mislead, the program has its own.
    EXPECT_EQ(SystemErrorText(ErrorFromErrno(ETXTBSY)),
              "The file or drive is in use by another program, or the drive is mounted.\n");
    EXPECT_EQ(SystemErrorText(ErrorFromErrno(ECHILD)), "The device is not functioning.\n") << "an errno without a row";
    for (int error : {ENXIO, EMEDIUMTYPE}) {
        EXPECT_NE(SystemErrorText(ErrorFromErrno(error)), HostWords(error));
        EXPECT_FALSE(SystemErrorText(ErrorFromErrno(error)).empty());
    }
    EXPECT_TRUE(SystemErrorText(9999).empty());
}

TEST(SystemErrors, MessageIsPrefixSystemTextAndSuffixOnTheirOwnLines) {
    test::ScriptedUi ui;
    ui.answers.push_back(IDRETRY);
    EXPECT_EQ(ShowSystemError(ui, kMainWindow, std::string("Disk sector 17 cannot be read!"), ERROR_CRC,
                              std::string("after"), MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2),
              IDRETRY);
    // The system text keeps its own line break, so the suffix stands one empty line below it.
    EXPECT_TRUE(ui.Showed("Disk sector 17 cannot be read!\nData error (cyclic redundancy check).\n\nafter",
                          MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    ShowSystemError(ui, kMainWindow, std::nullopt, 9999, std::string("tail"), MB_ICONHAND);
    EXPECT_EQ(ui.Last().text, "Error 9999\ntail");
}

TEST(StringTable, FilterStringsBecomeNulSeparatedLists) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    std::size_t n = LoadFilterString(str::kAllFilesFilter, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n + 1), std::string("All files\0*.*\0\0", 15));
    char small[6];
    EXPECT_EQ(LoadFilterString(str::kAllFilesFilter, small, sizeof small), 5u) << "cut to the buffer";
    EXPECT_EQ(small[5], '\0');

    auto pairs = LoadFilterPairs(str::kImageFilter);
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"All disk-images", "*.dsk;*.flp"}));
    EXPECT_EQ(pairs[3].second, "*.*");
}

TEST(StringTable, FillTextFillsDirectivesInOrderAndNeverReadsArgumentsAsDirectives) {
    EXPECT_EQ(FillText("Disk in %c:, capacity is %lu KBytes", {"A", "1440"}), "Disk in A:, capacity is 1440 KBytes");
    EXPECT_EQ(FillText("File '%s' already exists! Replace?", {"100%s.TXT"}),
              "File '100%s.TXT' already exists! Replace?");
    EXPECT_EQ(FillText("%s KB (%s Byte), %s Byte allocated", {"1.50", "1,536"}),
              "1.50 KB (1,536 Byte),  Byte allocated");
    EXPECT_EQ(FillText("100%% of %ld", {"7"}), "100% of 7");
}

}  // namespace
}  // namespace kv
