#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"

namespace kv {
namespace {

// Each host errno, the code it is reported as, and the errno whose wording that
// code is shown with (0: words of the program's own, which must not be the
// host's wording of the errno).
struct ErrnoRow {
    int error;
    std::uint32_t code;
    int wording;
};
constexpr ErrnoRow kErrnoRows[] = {
    {EACCES, ERROR_ACCESS_DENIED, EACCES},   {EPERM, ERROR_ACCESS_DENIED, EACCES},
    {EISDIR, ERROR_ACCESS_DENIED, EACCES},   {ENOENT, ERROR_FILE_NOT_FOUND, ENOENT},
    {ENOTDIR, ERROR_PATH_NOT_FOUND, ENOENT}, {EMFILE, ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {EBADF, ERROR_INVALID_HANDLE, EBADF},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, ENOMEM}, {EROFS, ERROR_WRITE_PROTECT, EROFS},
    {ENXIO, ERROR_NOT_READY, 0},             {ENODEV, ERROR_BAD_UNIT, ENODEV},
    {EIO, ERROR_IO_DEVICE, EIO},             {ESPIPE, ERROR_SEEK, ESPIPE},
    {ETXTBSY, ERROR_SHARING_VIOLATION, 0},   {EAGAIN, ERROR_LOCK_VIOLATION, EAGAIN},
    {EEXIST, ERROR_FILE_EXISTS, EEXIST},     {EINVAL, ERROR_INVALID_PARAMETER, EINVAL},
    {EPIPE, ERROR_BROKEN_PIPE, EPIPE},       {ENOSPC, ERROR_DISK_FULL, ENOSPC},
    {EDQUOT, ERROR_DISK_FULL, ENOSPC},       {ENOTEMPTY, ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {EBUSY, ERROR_BUSY, EBUSY},              {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {EFBIG, ERROR_FILE_TOO_LARGE, EFBIG},    {EOVERFLOW, ERROR_FILE_TOO_LARGE, EFBIG},
    {ENOTSUP, ERROR_NOT_SUPPORTED, ENOTSUP}, {ELOOP, ERROR_INVALID_NAME, ELOOP},
    {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE, ENOMEDIUM}, {EMEDIUMTYPE, 1358, 0},
    {ECHILD, ERROR_GEN_FAILURE, 0},
};

TEST(SystemErrors, EachErrnoHasItsCodeAndTheHostsWording) {
    EXPECT_EQ(ErrorFromErrno(0), ERROR_SUCCESS);
    for (const ErrnoRow& row : kErrnoRows) {
        SCOPED_TRACE(std::strerror(row.error));
        EXPECT_EQ(ErrorFromErrno(row.error), row.code);
        const std::string text = SystemErrorText(row.code);
        if (row.wording == 0) {
            EXPECT_FALSE(text.empty());
            EXPECT_NE(text, std::string(std::strerror(row.error)) + ".\n");
            continue;
        }
        EXPECT_EQ(text, std::string(std::strerror(row.wording)) + ".\n");
        // The wording's own errno is reported as the same code; a missing
        // folder borrows the wording of a missing file.
        if (row.code != ERROR_PATH_NOT_FOUND) {
            EXPECT_EQ(ErrorFromErrno(row.wording), row.code);
        }
    }
    EXPECT_EQ(SystemErrorText(ERROR_SHARING_VIOLATION), "The file is in use by another program.\n");
    EXPECT_EQ(SystemErrorText(ERROR_CRC), "Data error (cyclic redundancy check).\n");
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
