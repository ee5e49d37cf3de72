#include "app/application.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <vector>

#include "document/image_document.h"
#include "floppy/file_types.h"
#include "floppy/transfer.h"
#include "platform/string_table.h"
#include "ui/desktop.h"

namespace kv::app {

std::optional<int> StartUp(const CommandLine& line, const std::string& programPath, std::unique_ptr<MainWindow>& window,
                           const StartupHooks& hooks) {
    if (line.registerSwitch) {
        QtUi windowless;
        XdgFileTypeStore store(UserDataHome(), programPath);
        RegisterFileTypes(hooks.ui != nullptr ? *hooks.ui : windowless, kMainWindow, store, programPath);
        return 1;
    }
    window = std::make_unique<MainWindow>(hooks.ui);
    Session& s = window->session();
    const bool havePath = line.path && !line.path->empty();
    const bool opened = havePath && OpenImage(s, kMainWindow, *line.path);
    if (line.writeSwitch && havePath) {
        if (opened) {
            QWidget* parent = window.get();
            WriteImageCommand(s, kMainWindow, [&] {
                return hooks.runWriteDialog ? hooks.runWriteDialog(parent, s) : ui::RunWriteDialog(parent, s);
            });
        }
        return 1;
    }
    window->show();
    return std::nullopt;
}

int RunApplication(int argc, char** argv) {
    // The switches are read from the arguments as given, before Qt takes its
    // own ("-reverse" is the R switch here).
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(ApplicationTitle()));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/100.svg")));
    ui::SetProgramFolder(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    const std::string programPath = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();

    std::unique_ptr<MainWindow> window;
    if (std::optional<int> code = StartUp(ParseCommandLine(arguments), programPath, window)) return *code;
    return QApplication::exec();
}

}  // namespace kv::app
