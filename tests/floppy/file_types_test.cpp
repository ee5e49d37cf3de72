// Registering the disk-image file types: the steps and their order, the stop at
// the first failure, the two messages; the registry keys and the freedesktop
// files they become.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "floppy/file_types.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace kv::test {
namespace {

// Records each value written as "key = data" (data with its NUL, "(not REG_SZ)"
// for any other type).
class FakeRegistry final : public RegistryApi {
public:
    std::vector<std::string> values;
    std::vector<std::string> created;
    std::string failingKey;
    int openKeys = 0;
    int notifications = 0;

    std::uint32_t RegCreateKeyExA(const std::string& subKey, std::uintptr_t& key) override {
        created.push_back(subKey);
        if (subKey == failingKey) return ERROR_ACCESS_DENIED;
        names_.push_back(subKey);
        key = names_.size();
        ++openKeys;
        return 0;
    }
    std::uint32_t RegSetValueExA(std::uintptr_t key, std::uint32_t type, const char* data, std::uint32_t size) override {
        values.push_back(names_[key - 1] + " = " + (type == kRegSz ? std::string(data, size) : "(not REG_SZ)"));
        return 0;
    }
    std::uint32_t RegCloseKey(std::uintptr_t) override { return --openKeys, 0; }
    void SHChangeNotify() override { ++notifications; }

private:
    std::vector<std::string> names_;
};

class RegistryFileTypesTest : public ::testing::Test {
protected:
    FakeRegistry registry;
    RegistryFileTypeStore store{registry};
    ScriptedUi ui;

    std::uint32_t Register(const std::string& program = "C:\\Tools\\prog.exe") {
        std::uint32_t error = 99;
        RegisterFileTypes(ui, kMainWindow, store, program, &error);
        return error;
    }
};

TEST_F(RegistryFileTypesTest, WritesTheEightKeysInOrderAndNotifiesTheShell) {
    EXPECT_EQ(Register(), 0u);
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
    EXPECT_TRUE(ui.Showed("Registration successful!", MB_ICONHAND));
}

TEST_F(RegistryFileTypesTest, AFailingStepStopsEverythingBehindIt) {
    registry.failingKey = "DiskImage\\DefaultIcon";
    EXPECT_EQ(Register(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.created, (std::vector<std::string>{".dsk", "DiskImage", "DiskImage\\DefaultIcon"}));
    EXPECT_EQ(registry.values.size(), 2u);  // what was written stays
    EXPECT_EQ(registry.notifications, 0);
    EXPECT_TRUE(ui.Showed("Registration failed!", MB_ICONHAND, false));

    // Without a program path nothing is registered.
    registry.created.clear();
    EXPECT_NE(Register(""), 0u);
    EXPECT_TRUE(registry.created.empty());
    EXPECT_EQ(ui.Last().text, "Registration failed!");

    // Without the full flag only the extension is written.
    EXPECT_EQ(RegisterExtension(store, ".flp", "DiskImage", false, 0, "x", 0, "", ""), 0u);
    EXPECT_EQ(registry.created, std::vector<std::string>{".flp"});
}

class XdgFileTypesTest : public ::testing::Test {
protected:
    TempDir home;
    ScriptedUi ui;
    std::string program = "/opt/My Tools/korvane";

    std::uint32_t Register() {
        XdgFileTypeStore store(home.Path(), program);
        std::uint32_t error = 99;
        RegisterFileTypes(ui, kMainWindow, store, program, &error);
        return error;
    }
    std::string Text(const std::string& relative) {
        std::vector<std::uint8_t> bytes = ReadWholeFile(home.File(relative));
        return {bytes.begin(), bytes.end()};
    }
};

TEST_F(XdgFileTypesTest, WritesTheMimeTypeAndADesktopEntryWithTheTwoCommands) {
    ASSERT_EQ(Register(), 0u);
    EXPECT_EQ(ui.Last().text, "Registration successful!");

    std::string mime = Text("mime/packages/korvane-diskimage.xml");
    for (const char* line : {"<mime-type type=\"application/x-diskimage\">", "<comment>Disk image</comment>",
                             "<glob pattern=\"*.dsk\"/>", "<glob pattern=\"*.flp\"/>"}) {
        EXPECT_NE(mime.find(line), std::string::npos) << line << "\n---\n" << mime;
    }

    std::string desktop = Text("applications/korvane.desktop");
    EXPECT_EQ(desktop.rfind("[Desktop Entry]\n", 0), 0u);
    for (const char* line :
         {"\nName=Korvane\n", "\nComment=Disk image\n", "\nIcon=korvane\n", "\nMimeType=application/x-diskimage;\n",
          "\nActions=OpenWithKorvane;WriteToDisk;\n", "\nExec=\"/opt/My Tools/korvane\" %f\n",
          "[Desktop Action OpenWithKorvane]\nName=Open with Korvane\nExec=\"/opt/My Tools/korvane\" %f\n",
          "[Desktop Action WriteToDisk]\nName=Write image to disk\nExec=\"/opt/My Tools/korvane\" -W %f\n"}) {
        EXPECT_NE(desktop.find(line), std::string::npos) << line << "\n---\n" << desktop;
    }
    EXPECT_TRUE(FileExists(home.File("icons/hicolor/scalable/apps/korvane.svg")));
    EXPECT_FALSE(FileExists(home.File("applications/korvane.desktop.new")));
    if (HaveProgram("update-mime-database")) {
        // The desktop's MIME database now knows the type.
        EXPECT_TRUE(FileExists(home.File("mime/application/x-diskimage.xml")));
    }
}

TEST_F(XdgFileTypesTest, AFolderThatCannotBeWrittenFailsTheRegistration) {
    WriteWholeFile(home.File("mime"), {'x'});  // a file where the folder belongs
    EXPECT_NE(Register(), 0u);
    EXPECT_EQ(ui.Last().text, "Registration failed!");

    // Without a home folder nothing is written, least of all from the root down.
    XdgFileTypeStore homeless("", program);
    RegisterFileTypes(ui, kMainWindow, homeless, program);
    EXPECT_EQ(ui.Last().text, "Registration failed!");
}

TEST_F(XdgFileTypesTest, AnInstalledPackagesRegistrationCoversItsOwnProgramOnly) {
    // The package's layout: bin/korvane is a link to lib/korvane/korvane.
    TempDir system;
    ASSERT_EQ(::mkdir(system.File("bin").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(system.File("lib").c_str(), 0755), 0);
    WriteWholeFile(system.File("lib/korvane"), {'#', '!'});
    ASSERT_EQ(::chmod(system.File("lib/korvane").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../lib/korvane", system.File("bin/korvane").c_str()), 0);
    ASSERT_EQ(::mkdir(system.File("share").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(system.File("share/applications").c_str(), 0755), 0);
    const std::string entry = system.File("share/applications/org.korvane.Korvane.desktop");
    for (const std::string& exec : {system.File("bin/korvane"), std::string("korvane")}) {
        std::string text = "[Desktop Entry]\nName=Korvane\nExec=" + exec + " %f\n";
        WriteWholeFile(entry, std::vector<std::uint8_t>(text.begin(), text.end()));
        const std::string dirs = "/nonexistent:" + system.File("share");
        ScopedEnvironment path("PATH", system.File("bin"));

        XdgFileTypeStore installed(home.Path(), system.File("lib/korvane"), dirs);
        EXPECT_EQ(installed.SystemRegistration(), entry) << exec;
        std::uint32_t error = 99;
        RegisterFileTypes(ui, kMainWindow, installed, system.File("lib/korvane"), &error);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(ui.Last().text, "Registration successful!\n\nKorvane is registered for all users by its installed "
                                  "package (" + entry + ").");
        EXPECT_FALSE(FileExists(home.File("applications/korvane.desktop")));

        // A build of its own elsewhere is registered for the user.
        XdgFileTypeStore other(home.Path(), program, dirs);
        EXPECT_EQ(other.SystemRegistration(), "");
    }
}

}  // namespace
}  // namespace kv::test
