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

class FakeRegistry final : public RegistryApi {
public:
    struct Value {
        std::string key;
        std::uint32_t type;
        std::string data;  // as stored, with its NUL
    };
    std::vector<Value> values;
    std::vector<std::string> created;
    std::string failingKey;
    std::uint32_t failure = ERROR_ACCESS_DENIED;
    int openKeys = 0;
    int notifications = 0;

    std::uint32_t RegCreateKeyExA(const std::string& subKey, std::uintptr_t& key) override {
        created.push_back(subKey);
        if (subKey == failingKey) return failure;
        names_.push_back(subKey);
        key = names_.size();
        ++openKeys;
        return 0;
    }
    std::uint32_t RegSetValueExA(std::uintptr_t key, std::uint32_t type, const char* data, std::uint32_t size) override {
        values.push_back({names_[key - 1], type, std::string(data, size)});
        return 0;
    }
    std::uint32_t RegCloseKey(std::uintptr_t) override {
        --openKeys;
        return 0;
    }
    void SHChangeNotify() override { ++notifications; }

private:
    std::vector<std::string> names_;
};

std::string Z(const std::string& text) { return text + std::string(1, '\0'); }

TEST(RegistryFileTypesTest, WritesTheEightKeysInOrderAndNotifiesTheShell) {
    FakeRegistry registry;
    RegistryFileTypeStore store(registry);
    ScriptedUi ui;
    std::uint32_t error = 99;
    RegisterFileTypes(ui, kMainWindow, store, "C:\\Tools\\prog.exe", &error);
    EXPECT_EQ(error, 0u);

    std::vector<std::pair<std::string, std::string>> expected = {
        {".dsk", "DiskImage"},
        {"DiskImage", "Disk image"},
        {"DiskImage\\DefaultIcon", "C:\\Tools\\prog.exe,2"},
        {"DiskImage\\shell\\OpenWithKorvane", "Open with &Korvane"},
        {"DiskImage\\shell\\OpenWithKorvane\\command", "C:\\Tools\\prog.exe \"%1\""},
        {"DiskImage\\shell\\WriteToDisk", "&Write image to disk"},
        {"DiskImage\\shell\\WriteToDisk\\command", "C:\\Tools\\prog.exe -W \"%1\""},
        {".flp", "DiskImage"},
    };
    ASSERT_EQ(registry.values.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(registry.values[i].key, expected[i].first);
        EXPECT_EQ(registry.values[i].data, Z(expected[i].second));
        EXPECT_EQ(registry.values[i].type, kRegSz);
    }
    EXPECT_EQ(registry.openKeys, 0);
    EXPECT_EQ(registry.notifications, 1);
    EXPECT_TRUE(ui.Showed("Registration successful!", MB_ICONHAND));
}

TEST(RegistryFileTypesTest, AFailingStepStopsEverythingBehindIt) {
    FakeRegistry registry;
    registry.failingKey = "DiskImage\\DefaultIcon";
    RegistryFileTypeStore store(registry);
    ScriptedUi ui;
    std::uint32_t error = 0;
    RegisterFileTypes(ui, kMainWindow, store, "C:\\Tools\\prog.exe", &error);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.created, (std::vector<std::string>{".dsk", "DiskImage", "DiskImage\\DefaultIcon"}));
    EXPECT_EQ(registry.values.size(), 2u);  // what was written stays
    EXPECT_EQ(registry.notifications, 0);
    EXPECT_TRUE(ui.Showed("Registration failed!", MB_ICONHAND, false));

    // Without the full flag only the extension is written.
    FakeRegistry plain;
    RegistryFileTypeStore plainStore(plain);
    EXPECT_EQ(RegisterExtension(plainStore, ".flp", "DiskImage", false, 0, "x", 0, "", ""), 0u);
    EXPECT_EQ(plain.created, std::vector<std::string>{".flp"});
}

TEST(RegistryFileTypesTest, NoProgramPathRegistersNothing) {
    FakeRegistry registry;
    RegistryFileTypeStore store(registry);
    ScriptedUi ui;
    RegisterFileTypes(ui, kMainWindow, store, "");
    EXPECT_TRUE(registry.created.empty());
    EXPECT_EQ(ui.Last().text, "Registration failed!");
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
    EXPECT_NE(mime.find("<mime-type type=\"application/x-diskimage\">"), std::string::npos) << mime;
    EXPECT_NE(mime.find("<comment>Disk image</comment>"), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.dsk\"/>"), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.flp\"/>"), std::string::npos);

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
    if (HaveProgram("update-mime-database")) {
        // The desktop's MIME database now knows the type.
        EXPECT_TRUE(FileExists(home.File("mime/application/x-diskimage.xml")));
    }
}

TEST_F(XdgFileTypesTest, ASecondRunOverwritesTheFiles) {
    ASSERT_EQ(Register(), 0u);
    std::string first = Text("applications/korvane.desktop");
    WriteWholeFile(home.File("applications/korvane.desktop"), {'x'});
    program = "/usr/bin/korvane";
    ASSERT_EQ(Register(), 0u);
    std::string second = Text("applications/korvane.desktop");
    EXPECT_NE(second.find("\nExec=/usr/bin/korvane -W %f\n"), std::string::npos) << second;
    EXPECT_FALSE(FileExists(home.File("applications/korvane.desktop.new")));
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

}  // namespace
}  // namespace kv::test
