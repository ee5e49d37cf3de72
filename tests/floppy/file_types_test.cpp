// Registering the disk-image file types: the steps, the stop at the first failure,
// the two messages; the registry keys and the freedesktop files they become.
#include <gtest/gtest.h>

#include <filesystem>

#include "floppy/file_types.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace kv::test {
namespace {

// Records each key created, and each value written as "key = data" (with its NUL).
class FakeRegistry final : public RegistryApi {
public:
    std::vector<std::string> created, values;
    std::string failingKey;
    int openKeys = 0, notifications = 0;

    std::uint32_t RegCreateKeyExA(const std::string& subKey, std::uintptr_t& key) override {
        created.push_back(subKey);
        key = created.size();
        return subKey == failingKey ? ERROR_ACCESS_DENIED : (++openKeys, 0);
    }
    std::uint32_t RegSetValueExA(std::uintptr_t key, std::uint32_t type, const char* data,
                                 std::uint32_t size) override {
        EXPECT_EQ(type, kRegSz);
        values.push_back(created[key - 1] + " = " + std::string(data, size));
        return 0;
    }
    std::uint32_t RegCloseKey(std::uintptr_t) override { return --openKeys, 0; }
    void SHChangeNotify() override { ++notifications; }
};

TEST(RegistryFileTypesTest, WritesTheEightKeysInOrderAndStopsAtTheFirstFailure) {
    FakeRegistry registry;
    RegistryFileTypeStore store(registry);
    ScriptedUi ui;
    std::uint32_t error = 99;
    RegisterFileTypes(ui, kMainWindow, store, "C:\\Tools\\prog.exe", &error);
    EXPECT_EQ(error, 0u);
    std::vector<std::string> expected = {
        ".dsk = DiskImage",
        "DiskImage = Disk image",
        "DiskImage\\DefaultIcon = C:\\Tools\\prog.exe,2",
        "DiskImage\\shell\\OpenWithKorvane = Open with &Korvane",
        "DiskImage\\shell\\OpenWithKorvane\\command = C:\\Tools\\prog.exe \"%1\"",
        "DiskImage\\shell\\WriteToDisk = &Write image to disk",
        "DiskImage\\shell\\WriteToDisk\\command = C:\\Tools\\prog.exe -W \"%1\"",
        ".flp = DiskImage",
    };
    for (std::string& value : expected) value += '\0';
    EXPECT_EQ(registry.values, expected);
    EXPECT_EQ(registry.openKeys, 0);
    EXPECT_EQ(registry.notifications, 1);
    EXPECT_TRUE(ui.Showed(LoadText(str::kRegistrationSucceeded), MB_ICONHAND));

    // What was written before a failing step stays; nothing is written after it.
    registry = FakeRegistry();
    registry.failingKey = "DiskImage\\DefaultIcon";
    RegisterFileTypes(ui, kMainWindow, store, "C:\\Tools\\prog.exe", &error);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.created, (std::vector<std::string>{".dsk", "DiskImage", "DiskImage\\DefaultIcon"}));
    EXPECT_EQ(registry.values.size(), 2u);
    EXPECT_EQ(registry.notifications, 0);
    EXPECT_EQ(ui.Last().text, LoadText(str::kRegistrationFailed));
    // Without a program path nothing is registered.
    registry.created.clear();
    RegisterFileTypes(ui, kMainWindow, store, "", &error);
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(registry.created.empty());
}

class XdgFileTypesTest : public ::testing::Test {
protected:
    TempDir home;
    ScriptedUi ui;
    std::string program = "/opt/My Tools/korvane";

    std::uint32_t Register(FileTypeStore&& store, const std::string& registered) {
        std::uint32_t error = 99;
        RegisterFileTypes(ui, kMainWindow, store, registered, &error);
        return error;
    }
    std::string Text(const std::string& relative) {
        std::vector<std::uint8_t> bytes = ReadWholeFile(home.File(relative));
        return {bytes.begin(), bytes.end()};
    }
};

TEST_F(XdgFileTypesTest, WritesTheMimeTypeAndADesktopEntryWithTheTwoCommands) {
    ASSERT_EQ(Register(XdgFileTypeStore(home.Path(), program), program), 0u);
    std::string mime = Text("mime/packages/korvane-diskimage.xml");
    for (const char* line : {"<mime-type type=\"application/x-diskimage\">", "<comment>Disk image</comment>",
                             "<glob pattern=\"*.dsk\"/>", "<glob pattern=\"*.flp\"/>"}) {
        EXPECT_NE(mime.find(line), std::string::npos) << line << "\n---\n" << mime;
    }
    std::string desktop = Text("applications/korvane.desktop");
    EXPECT_TRUE(desktop.starts_with("[Desktop Entry]\n"));
    for (const char* line :
         {"\nName=Korvane\n", "\nComment=Disk image\n", "\nIcon=korvane\n", "\nMimeType=application/x-diskimage;\n",
          "\nActions=OpenWithKorvane;WriteToDisk;\n", "\nExec=\"/opt/My Tools/korvane\" %f\n",
          "[Desktop Action OpenWithKorvane]\nName=Open with Korvane\nExec=\"/opt/My Tools/korvane\" %f\n",
          "[Desktop Action WriteToDisk]\nName=Write image to disk\nExec=\"/opt/My Tools/korvane\" -W %f\n"}) {
        EXPECT_NE(desktop.find(line), std::string::npos) << line << "\n---\n" << desktop;
    }
    EXPECT_TRUE(FileExists(home.File("icons/hicolor/scalable/apps/korvane.svg")));
    EXPECT_FALSE(FileExists(home.File("applications/korvane.desktop.new")));
    // The desktop's MIME database now knows the type.
    EXPECT_TRUE(!HaveProgram("update-mime-database") || FileExists(home.File("mime/application/x-diskimage.xml")));
}

TEST_F(XdgFileTypesTest, WithoutAFolderItCanWriteRegistrationFails) {
    WriteWholeFile(home.File("mime"), {'x'});  // a file where the folder belongs
    EXPECT_NE(Register(XdgFileTypeStore(home.Path(), program), program), 0u);
    EXPECT_EQ(ui.Last().text, LoadText(str::kRegistrationFailed));
    // Without a home folder nothing is written, least of all from the root down.
    EXPECT_NE(Register(XdgFileTypeStore("", program), program), 0u);
}

TEST_F(XdgFileTypesTest, AnInstalledPackagesRegistrationCoversItsOwnProgramOnly) {
    // The package's layout: bin/korvane is a link to lib/korvane.
    TempDir system;
    for (const char* folder : {"bin", "lib", "share/applications"}) {
        std::filesystem::create_directories(system.File(folder));
    }
    const std::string own = system.File("lib/korvane"), other = system.File("lib/other");
    WriteWholeFile(own, {'#', '!'});
    WriteWholeFile(other, {'#', '!'});
    std::filesystem::permissions(own, std::filesystem::perms::owner_all);
    std::filesystem::create_symlink("../lib/korvane", system.File("bin/korvane"));
    const std::string entry = system.File("share/applications/org.korvane.Korvane.desktop");
    const std::string dirs = "/nonexistent:" + system.File("share");
    ScopedEnvironment path("PATH", system.File("bin"));
    for (const std::string& exec : {system.File("bin/korvane"), std::string("korvane")}) {
        std::string text = "[Desktop Entry]\nName=Korvane\nExec=" + exec + " %f\n";
        WriteWholeFile(entry, std::vector<std::uint8_t>(text.begin(), text.end()));
        EXPECT_EQ(Register(XdgFileTypeStore(home.Path(), own, dirs), own), 0u) << exec;
        EXPECT_EQ(ui.Last().text, LoadText(str::kRegistrationSucceeded) +
                                      "\n\nKorvane is registered for all users by its installed package (" + entry +
                                      ").");
        EXPECT_FALSE(FileExists(home.File("applications/korvane.desktop")));
        // Another build of the program is registered for the user.
        EXPECT_EQ(XdgFileTypeStore(home.Path(), other, dirs).SystemRegistration(), "") << exec;
    }
}

}  // namespace
}  // namespace kv::test
