// Binds Win32Api and RegistryApi to the real Windows functions. Built on
// Windows only.
#ifdef _WIN32

#include <shlobj.h>
#include <windows.h>

#include <cstdint>

#include "floppy/file_types.h"
#include "floppy/win32_floppy.h"

namespace kv {
namespace {

HANDLE H(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class RealWin32Api final : public Win32Api {
public:
    DeviceHandle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags) override {
        HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
        return reinterpret_cast<DeviceHandle>(h);
    }
    bool DeviceIoControl(DeviceHandle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize) override {
        DWORD returned = 0;
        return ::DeviceIoControl(H(handle), code, in, inSize, out, outSize, &returned, nullptr) != FALSE;
    }
    std::uint32_t SetFilePointer(DeviceHandle handle, std::int32_t low, std::int32_t* high,
                                 std::uint32_t method) override {
        LONG h = high != nullptr ? *high : 0;
        DWORD result = ::SetFilePointer(H(handle), low, high != nullptr ? &h : nullptr, method);
        if (high != nullptr) *high = h;
        return result;
    }
    bool ReadFile(DeviceHandle handle, void* buffer, std::uint32_t size, std::uint32_t& done) override {
        DWORD n = 0;
        BOOL ok = ::ReadFile(H(handle), buffer, size, &n, nullptr);
        done = n;
        return ok != FALSE;
    }
    bool WriteFile(DeviceHandle handle, const void* buffer, std::uint32_t size, std::uint32_t& done) override {
        DWORD n = 0;
        BOOL ok = ::WriteFile(H(handle), buffer, size, &n, nullptr);
        done = n;
        return ok != FALSE;
    }
    bool CloseHandle(DeviceHandle handle) override { return ::CloseHandle(H(handle)) != FALSE; }
    std::uint32_t GetLastError() override { return ::GetLastError(); }
    std::uint32_t GetVersionPlatformId() override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // GetVersionExA is what tells the two families apart
#endif
        if (!::GetVersionExA(&info)) return win32::kPlatformWin32Nt;
        return info.dwPlatformId;
    }
    std::uint32_t GetLogicalDrives() override { return ::GetLogicalDrives(); }
    std::uint32_t GetDriveTypeA(const std::string& root) override { return ::GetDriveTypeA(root.c_str()); }
    void GetVolumeInformationA(const std::string& root, char* label, std::uint32_t labelSize, char* fileSystem,
                               std::uint32_t fileSystemSize) override {
        ::GetVolumeInformationA(root.c_str(), label, labelSize, nullptr, nullptr, nullptr, fileSystem, fileSystemSize);
    }
    std::uint32_t AddressOf(const void* buffer) override {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
    }
};

class RealRegistryApi final : public RegistryApi {
public:
    std::uint32_t RegCreateKeyExA(const std::string& subKey, std::uintptr_t& key) override {
        HKEY h = nullptr;
        LONG result = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_SET_VALUE, nullptr, &h, nullptr);
        key = reinterpret_cast<std::uintptr_t>(h);
        return static_cast<std::uint32_t>(result);
    }
    std::uint32_t RegSetValueExA(std::uintptr_t key, std::uint32_t type, const char* data,
                                 std::uint32_t size) override {
        return static_cast<std::uint32_t>(
            ::RegSetValueExA(reinterpret_cast<HKEY>(key), nullptr, 0, type, reinterpret_cast<const BYTE*>(data), size));
    }
    std::uint32_t RegCloseKey(std::uintptr_t key) override {
        return static_cast<std::uint32_t>(::RegCloseKey(reinterpret_cast<HKEY>(key)));
    }
    void SHChangeNotify() override { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }
};

}  // namespace

RegistryApi& Win32RegistryApi() {
    static RealRegistryApi api;
    return api;
}

FloppyBackend& Win32PlatformBackend() {
    static RealWin32Api api;
    static std::optional<bool> variant;
    static NtFloppyBackend nt(api);
    static Vwin32FloppyBackend vwin32(api);
    if (IsVwin32Platform(api, variant)) return vwin32;
    return nt;
}

}  // namespace kv

#endif  // _WIN32
