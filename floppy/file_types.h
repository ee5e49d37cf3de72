// Registering the program as the handler of disk images (.dsk, .flp): the file
// type "DiskImage" with its description, icon and two commands, "Open with
// Korvane" and "Write image to disk" (the program with -W). The steps are
// written as registry keys with default values; a FileTypeStore realises them:
// the Windows registry, or the desktop's shared MIME info and desktop entry.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace kv {

// Where the association goes.
class FileTypeStore {
public:
    virtual ~FileTypeStore() = default;
    // Creates (or opens) `key` and sets its default value; 0 or the error code.
    virtual std::uint32_t SetDefaultValue(const std::string& key, const std::string& value) = 0;
    // After every step succeeded: puts what was set into effect; 0 or the error
    // code (a registry has nothing left to do).
    virtual std::uint32_t Commit() { return 0; }
    // Tells the desktop that associations changed.
    virtual void NotifyAssociationsChanged() = 0;
    // Where an association that already covers the program for every user is
    // (an installed package's); empty when there is none and registering has
    // work to do.
    virtual std::string SystemRegistration() const { return {}; }
};

// Registers one extension: its key names `typeName`; with `full`, also the
// type's description (string `descriptionId`), icon (program path and
// ",index") and the two commands with their menu texts (strings 45 and 46) and
// arguments. Each step runs only when every step before it succeeded. Returns 0
// or the error of the step that failed.
std::uint32_t RegisterExtension(FileTypeStore& store, const std::string& extension, const std::string& typeName,
                                bool full, std::uint32_t iconIndex, const std::string& programPath,
                                std::uint32_t descriptionId, const std::string& openArguments,
                                const std::string& writeArguments);

// Registers .dsk fully and then .flp, shows "Registration successful!" or
// "Registration failed!" (string 47 or 48) and returns the message box's
// result; `error` (when given) receives 0 or the error of the step that failed.
// An empty program path registers nothing and fails. When the store finds a
// system-wide registration that covers the program, nothing is written and the
// success message says where that registration is.
int RegisterFileTypes(Ui& ui, WindowRef owner, FileTypeStore& store, const std::string& programPath,
                      std::uint32_t* error = nullptr);

// The freedesktop realisation, under the user's data folder `dataHome`
// ($XDG_DATA_HOME or ~/.local/share): the MIME type application/x-diskimage
// (mime/packages/korvane-diskimage.xml), the desktop entry with the two actions
// (applications/korvane.desktop) and the program's icon
// (icons/hicolor/scalable/apps/korvane.svg); the desktop's MIME and desktop
// databases are refreshed when their tools are installed.
//
// An installed package registers Korvane for every user with the desktop entry
// applications/org.korvane.Korvane.desktop in a system data folder
// (`systemDataDirs`, colon-separated: $XDG_DATA_DIRS or /usr/local/share:/usr/share).
// When the program that entry starts is the program being registered (the same
// file, links resolved), the user needs nothing of their own.
class XdgFileTypeStore final : public FileTypeStore {
public:
    XdgFileTypeStore(std::string dataHome, std::string programPath, std::string systemDataDirs = SystemDataDirs());

    std::uint32_t SetDefaultValue(const std::string& key, const std::string& value) override;
    std::uint32_t Commit() override;
    void NotifyAssociationsChanged() override;
    std::string SystemRegistration() const override;

    // The files Commit writes, by path.
    std::map<std::string, std::string> Files() const;

    // $XDG_DATA_DIRS, or /usr/local/share:/usr/share without it.
    static std::string SystemDataDirs();

private:
    std::string dataHome_;
    std::string programPath_;
    std::string systemDataDirs_;
    std::map<std::string, std::string> values_;  // key -> default value, as set
};

// The user's data folder: $XDG_DATA_HOME, else $HOME/.local/share; empty when
// neither names an absolute folder (registering then fails).
std::string UserDataHome();

// The registry calls the Windows realisation makes, one for one.
class RegistryApi {
public:
    virtual ~RegistryApi() = default;
    // RegCreateKeyExA under HKEY_CLASSES_ROOT (REG_OPTION_NON_VOLATILE,
    // KEY_SET_VALUE); 0 or the error code.
    virtual std::uint32_t RegCreateKeyExA(const std::string& subKey, std::uintptr_t& key) = 0;
    // RegSetValueExA of the default value: REG_SZ, `size` bytes of `data`.
    virtual std::uint32_t RegSetValueExA(std::uintptr_t key, std::uint32_t type, const char* data,
                                         std::uint32_t size) = 0;
    virtual std::uint32_t RegCloseKey(std::uintptr_t key) = 0;
    // SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, none, none).
    virtual void SHChangeNotify() = 0;
};

inline constexpr std::uint32_t kRegSz = 1;  // REG_SZ

class RegistryFileTypeStore final : public FileTypeStore {
public:
    explicit RegistryFileTypeStore(RegistryApi& api) : api_(api) {}
    std::uint32_t SetDefaultValue(const std::string& key, const std::string& value) override;
    void NotifyAssociationsChanged() override { api_.SHChangeNotify(); }

private:
    RegistryApi& api_;
};

#ifdef _WIN32
// The registry of this Windows.
RegistryApi& Win32RegistryApi();
#endif

}  // namespace kv
