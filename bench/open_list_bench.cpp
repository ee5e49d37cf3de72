// Opening a 2.88 MB image (5,760 sectors) whose 240 root entries are all in
// use and listing it in the desktop program: into the file list's model with
// every cell made once, as a view asks for them, and into the main window
// (shown on the offscreen platform) until its list has been painted.
//
//   cmake --preset release && cmake --build --preset release --target open_list_bench
//   build/release/bench/open_list_bench
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QAbstractItemView>
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/qt_locale.h"
#include "document/boot_sector.h"
#include "fat12/directory.h"

namespace {

using namespace kv;

// Answers every question No and every dialog Cancel, and records nothing.
class QuietUi final : public Ui {
public:
    int ShowMessageBox(WindowRef, const std::string&, const std::string&, std::uint32_t) override { return IDNO; }
    bool ChooseFile(WindowRef, const FileDialogRequest&, FileDialogResult&) override { return false; }
    void SetCursor(Cursor) override {}
    void SetWindowTitle(const std::string&) override {}
    void EnableFileList(bool) override {}
};

// The image: a blank custom format of 2.88 MB with 240 entries of every kind
// (files with sizes and dates, a directory every tenth, attributes varying).
std::string WriteImage() {
    QuietUi ui;
    MemoryFileList list;
    EnglishLocale locale;
    Session s(ui, list, locale, nullptr);
    s.formats.CustomRow() = DiskFormat{0, 2, 5760, 9, 2, 1, 2, 36, 240, 0xF0, 0};
    if (!BuildBlankImage(s, kMainWindow, kCustomFormatCode)) return {};
    std::uint8_t* root = s.doc.Volume() + RootDirectoryOffset(s.doc.geometry);
    for (std::uint32_t i = 0; i < 240; ++i) {
        DirEntry e{};
        char name[12];
        std::snprintf(name, sizeof name, "FILE%04u%s", i, i % 10 == 9 ? "   " : "DAT");
        std::memcpy(e.name, name, 11);
        e.attributes = i % 10 == 9 ? attr::kDirectory : static_cast<std::uint8_t>(attr::kArchive | (i % 8 & 0x07));
        e.size = i % 10 == 9 ? 0 : i * 1237;
        e.date = static_cast<std::uint16_t>(((5 + i % 20) << 9) | ((1 + i % 12) << 5) | (1 + i % 28));
        e.time = static_cast<std::uint16_t>(((i % 24) << 11) | ((i % 60) << 5) | (i % 30));
        WriteDirEntry(root + i * dir::kEntrySize, e);
    }
    char path[] = "/tmp/korvane-bench-XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0) return {};
    const bool written = ::write(fd, s.doc.data.get(), s.doc.size) == static_cast<ssize_t>(s.doc.size);
    ::close(fd);
    return written ? path : std::string();
}

const std::string& ImagePath() {
    static const std::string path = WriteImage();
    return path;
}

void OpenIntoModel(benchmark::State& state) {
    QuietUi ui;
    app::QtLocale locale;
    app::FileListModel model;
    Session s(ui, model, locale, ListRootDirectory);
    model.Attach(s.doc, locale);
    for (auto _ : state) {
        if (!OpenImage(s, kMainWindow, ImagePath())) state.SkipWithError("the image did not open");
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                benchmark::DoNotOptimize(model.data(model.index(row, column), Qt::DisplayRole));
                benchmark::DoNotOptimize(model.data(model.index(row, column), Qt::DecorationRole));
            }
        }
    }
    state.counters["rows"] = static_cast<double>(model.RowCount());
}
BENCHMARK(OpenIntoModel)->Unit(benchmark::kMillisecond);

void OpenIntoMainWindow(benchmark::State& state) {
    QuietUi ui;
    app::MainWindow window(&ui);
    window.resize(800, 600);
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (!OpenImage(window.session(), kMainWindow, ImagePath())) state.SkipWithError("the image did not open");
        window.CurrentView()->viewport()->repaint();
    }
    state.counters["rows"] = static_cast<double>(window.model().RowCount());
}
BENCHMARK(OpenIntoMainWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});  // the platform's notes
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (ImagePath().empty()) {
        std::fprintf(stderr, "could not write the benchmark image\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::unlink(ImagePath().c_str());
    return 0;
}
