#include "floppy/file_types.h"

#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

std::string MenuText(std::uint32_t id) { return LoadText(id).substr(0, 79); }

}  // namespace

std::uint32_t RegisterExtension(FileTypeStore& store, const std::string& extension, const std::string& typeName,
                                bool full, std::uint32_t iconIndex, const std::string& programPath,
                                std::uint32_t descriptionId, const std::string& openArguments,
                                const std::string& writeArguments) {
    std::uint32_t result = store.SetDefaultValue(extension, typeName);
    if (result != 0 || !full) return result;
    const std::string open = typeName + "\\shell\\OpenWithKorvane";
    const std::string write = typeName + "\\shell\\WriteToDisk";
    const std::pair<std::string, std::string> steps[] = {
        {typeName, MenuText(descriptionId)},
        {typeName + "\\DefaultIcon", programPath + "," + std::to_string(iconIndex)},
        {open, MenuText(str::kOpenWithVerb)},
        {open + "\\command", programPath + " " + openArguments},
        {write, MenuText(str::kWriteToDiskVerb)},
        {write + "\\command", programPath + " " + writeArguments},
    };
    for (const auto& [key, value] : steps) {
        result = store.SetDefaultValue(key, value);
        if (result != 0) return result;
    }
    return 0;
}

int RegisterFileTypes(Ui& ui, WindowRef owner, FileTypeStore& store, const std::string& programPath,
                      std::uint32_t* error) {
    std::uint32_t result = programPath.empty() ? ERROR_INVALID_PARAMETER : 0;
    if (const std::string system = result == 0 ? store.SystemRegistration() : ""; !system.empty()) {
        if (error != nullptr) *error = 0;
        return ShowMessage(ui, owner,
                           LoadText(str::kRegistrationSucceeded) +
                               "\n\nKorvane is registered for all users by its "
                               "installed package (" +
                               system + ").",
                           MB_ICONHAND);
    }
    if (result == 0) {
        result = RegisterExtension(store, ".dsk", "DiskImage", true, 2, programPath, str::kDiskImageType, "\"%1\"",
                                   "-W \"%1\"");
    }
    if (result == 0) result = RegisterExtension(store, ".flp", "DiskImage", false, 0, programPath, 0, "", "");
    if (result == 0) result = store.Commit();
    if (error != nullptr) *error = result;
    if (result != 0) return ShowStringMessage(ui, owner, str::kRegistrationFailed, MB_ICONHAND);
    store.NotifyAssociationsChanged();
    return ShowStringMessage(ui, owner, str::kRegistrationSucceeded, MB_ICONHAND);
}

// --- Windows registry -----------------------------------------------------------

std::uint32_t RegistryFileTypeStore::SetDefaultValue(const std::string& key, const std::string& value) {
    std::uintptr_t handle = 0;
    if (std::uint32_t error = api_.RegCreateKeyExA(key, handle)) return error;
    std::uint32_t result =
        api_.RegSetValueExA(handle, kRegSz, value.c_str(), static_cast<std::uint32_t>(value.size() + 1));
    api_.RegCloseKey(handle);
    return result;
}

}  // namespace kv
