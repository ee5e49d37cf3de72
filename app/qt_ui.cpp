#include "app/qt_ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <utility>
#include <vector>

#include "platform/string_table.h"
#include "ui/desktop.h"

namespace kv::app {
namespace {

using Button = QMessageBox::StandardButton;

// The buttons of a message-box type, left to right as Win32 names them.
std::vector<Button> ButtonsOf(std::uint32_t style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL: return {QMessageBox::Ok, QMessageBox::Cancel};
        case MB_ABORTRETRYIGNORE: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
        case MB_YESNOCANCEL: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
        case MB_YESNO: return {QMessageBox::Yes, QMessageBox::No};
        case MB_RETRYCANCEL: return {QMessageBox::Retry, QMessageBox::Cancel};
        default: return {QMessageBox::Ok};
    }
}

QMessageBox::Icon IconOf(std::uint32_t style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONHAND: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

int ResultOf(Button button) {
    switch (button) {
        case QMessageBox::Cancel: return IDCANCEL;
        case QMessageBox::Abort: return IDABORT;
        case QMessageBox::Retry: return IDRETRY;
        case QMessageBox::Ignore: return IDIGNORE;
        case QMessageBox::Yes: return IDYES;
        case QMessageBox::No: return IDNO;
        default: return IDOK;
    }
}

// A message box that, like the Win32 one, can be left by Escape or its close
// button only when it has an OK-only or a Cancel button.
class Win32MessageBox final : public QMessageBox {
public:
    Win32MessageBox(QWidget* parent, bool escapable) : QMessageBox(parent), escapable_(escapable) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (!escapable_ && e->matches(QKeySequence::Cancel)) return;
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (!escapable_) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }

private:
    bool escapable_;
};

// "name (pattern)" filters of a filter string; the patterns match without
// regard to case ("*.DSK" as well as "*.dsk"), and "*.*" matches every file
// as it does on Windows.
QStringList NameFilters(std::uint32_t id) {
    QStringList filters;
    for (const auto& [name, pattern] : LoadFilterPairs(id)) {
        QStringList patterns;
        for (const QString& p : QString::fromStdString(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (p == QLatin1String("*.*")) {
                patterns << QStringLiteral("*");
                continue;
            }
            patterns << p.toLower();
            if (p.toUpper() != p.toLower()) patterns << p.toUpper();
        }
        filters << QString::fromStdString(name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

}  // namespace

class QtUi::ArrowWhileModal {
public:
    explicit ArrowWhileModal(bool waiting) : waiting_(waiting) {
        if (waiting_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileModal() {
        if (waiting_) QApplication::restoreOverrideCursor();
    }
    ArrowWhileModal(const ArrowWhileModal&) = delete;
    ArrowWhileModal& operator=(const ArrowWhileModal&) = delete;

private:
    bool waiting_;
};

QtUi::QtUi(QWidget* mainWindow, std::function<void(bool)> enableFileList)
    : mainWindow_(mainWindow), enableFileList_(std::move(enableFileList)) {}

QWidget* QtUi::Parent(WindowRef owner) const { return owner == kMainWindow ? mainWindow_ : ui::WidgetOf(owner); }

int QtUi::ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption, std::uint32_t style) {
    const std::uint32_t type = style & MB_TYPEMASK;
    const bool escapable = type == MB_OK || type == MB_OKCANCEL || type == MB_YESNOCANCEL || type == MB_RETRYCANCEL;
    Win32MessageBox box(Parent(owner), escapable);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(IconOf(style));
    const std::vector<Button> buttons = ButtonsOf(style);
    for (Button b : buttons) box.addButton(b);
    const std::size_t defaultIndex = (style & MB_DEFMASK) >> 8;
    box.setDefaultButton(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]);
    if (type == MB_OK)
        box.setEscapeButton(QMessageBox::Ok);
    else if (escapable)
        box.setEscapeButton(QMessageBox::Cancel);
    ArrowWhileModal arrow(waiting_);
    box.exec();
    return ResultOf(box.standardButton(box.clickedButton()));
}

bool QtUi::ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) {
    QFileDialog dialog(Parent(owner));
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.save && (request.flags & OFN_OVERWRITEPROMPT) == 0) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    dialog.setNameFilters(NameFilters(request.filterStringId));
    if (request.defaultExtensionId != 0) {
        QString extension = QString::fromStdString(LoadText(request.defaultExtensionId));
        if (extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
        dialog.setDefaultSuffix(extension);
    }
    if (!request.initialName.empty()) dialog.selectFile(QFile::decodeName(request.initialName.c_str()));

    QCheckBox* readOnlyBox = nullptr;
    if (!request.save && (request.flags & OFN_HIDEREADONLY) == 0) {
        readOnlyBox = new QCheckBox(QStringLiteral("Open as &read-only"), &dialog);
        readOnlyBox->setObjectName(QStringLiteral("readOnlyBox"));
        readOnlyBox->setChecked(result.readOnly);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            grid->addWidget(readOnlyBox, grid->rowCount(), 0, 1, -1);
        }
    }
    ArrowWhileModal arrow(waiting_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    result.path = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
    result.readOnly = readOnlyBox != nullptr && readOnlyBox->isChecked();
    return true;
}

void QtUi::SetCursor(Cursor cursor) {
    if (cursor == Cursor::Wait && !waiting_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        waiting_ = true;
    } else if (cursor == Cursor::Arrow && waiting_) {
        QApplication::restoreOverrideCursor();
        waiting_ = false;
    }
}

void QtUi::SetWindowTitle(const std::string& title) {
    if (mainWindow_ != nullptr) mainWindow_->setWindowTitle(QString::fromStdString(title));
}

void QtUi::EnableFileList(bool enabled) {
    if (enableFileList_) enableFileList_(enabled);
}

}  // namespace kv::app
