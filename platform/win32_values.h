// The values of the Win32 interfaces that the program's behaviour is stated in:
// message-box styles and results, error codes, file access, sharing, creation
// dispositions, attributes and file-dialog flags. On Windows they come from
// <windows.h>; elsewhere they are defined here with the same numbers, so that the
// core reads the same on both.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else

// Message-box styles.
constexpr std::uint32_t MB_OK = 0x00000000;
constexpr std::uint32_t MB_OKCANCEL = 0x00000001;
constexpr std::uint32_t MB_ABORTRETRYIGNORE = 0x00000002;
constexpr std::uint32_t MB_YESNOCANCEL = 0x00000003;
constexpr std::uint32_t MB_YESNO = 0x00000004;
constexpr std::uint32_t MB_RETRYCANCEL = 0x00000005;
constexpr std::uint32_t MB_TYPEMASK = 0x0000000F;
constexpr std::uint32_t MB_ICONHAND = 0x00000010;
constexpr std::uint32_t MB_ICONSTOP = MB_ICONHAND;
constexpr std::uint32_t MB_ICONERROR = MB_ICONHAND;
constexpr std::uint32_t MB_ICONQUESTION = 0x00000020;
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x00000030;
constexpr std::uint32_t MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr std::uint32_t MB_ICONINFORMATION = 0x00000040;
constexpr std::uint32_t MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr std::uint32_t MB_ICONMASK = 0x000000F0;
constexpr std::uint32_t MB_DEFBUTTON1 = 0x00000000;
constexpr std::uint32_t MB_DEFBUTTON2 = 0x00000100;
constexpr std::uint32_t MB_DEFBUTTON3 = 0x00000200;
constexpr std::uint32_t MB_DEFMASK = 0x00000F00;

// Message-box results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Error codes (the Win32 error space).
constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_INVALID_DATA = 13;
constexpr std::uint32_t ERROR_OUTOFMEMORY = 14;
constexpr std::uint32_t ERROR_INVALID_DRIVE = 15;
constexpr std::uint32_t ERROR_WRITE_PROTECT = 19;
constexpr std::uint32_t ERROR_BAD_UNIT = 20;
constexpr std::uint32_t ERROR_NOT_READY = 21;
constexpr std::uint32_t ERROR_CRC = 23;
constexpr std::uint32_t ERROR_SEEK = 25;
constexpr std::uint32_t ERROR_SECTOR_NOT_FOUND = 27;
constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
constexpr std::uint32_t ERROR_READ_FAULT = 30;
constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr std::uint32_t ERROR_LOCK_VIOLATION = 33;
constexpr std::uint32_t ERROR_HANDLE_EOF = 38;
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_BROKEN_PIPE = 109;
constexpr std::uint32_t ERROR_DISK_FULL = 112;
constexpr std::uint32_t ERROR_INVALID_NAME = 123;
constexpr std::uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr std::uint32_t ERROR_BUSY = 170;
constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr std::uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr std::uint32_t ERROR_FILE_TOO_LARGE = 223;
constexpr std::uint32_t ERROR_DIRECTORY = 267;
constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
constexpr std::uint32_t ERROR_MEDIA_CHANGED = 1110;
constexpr std::uint32_t ERROR_NO_MEDIA_IN_DRIVE = 1112;
constexpr std::uint32_t ERROR_DISK_RESET_FAILED = 1128;
constexpr std::uint32_t ERROR_NOT_FOUND = 1168;

// File access, sharing and creation.
constexpr std::uint32_t GENERIC_READ = 0x80000000u;
constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
constexpr std::uint32_t FILE_SHARE_READ = 0x00000001;
constexpr std::uint32_t FILE_SHARE_WRITE = 0x00000002;
constexpr std::uint32_t CREATE_NEW = 1;
constexpr std::uint32_t CREATE_ALWAYS = 2;
constexpr std::uint32_t OPEN_EXISTING = 3;
constexpr std::uint32_t OPEN_ALWAYS = 4;
constexpr std::uint32_t TRUNCATE_EXISTING = 5;

// File attributes and flags.
constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr std::uint32_t FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr std::uint32_t FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr std::uint32_t FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr std::uint32_t FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;

// Common file-dialog flags.
constexpr std::uint32_t OFN_READONLY = 0x00000001;
constexpr std::uint32_t OFN_OVERWRITEPROMPT = 0x00000002;
constexpr std::uint32_t OFN_HIDEREADONLY = 0x00000004;
constexpr std::uint32_t OFN_PATHMUSTEXIST = 0x00000800;
constexpr std::uint32_t OFN_FILEMUSTEXIST = 0x00001000;
constexpr std::uint32_t OFN_CREATEPROMPT = 0x00002000;

#endif  // _WIN32
