// Small helpers the dialogs and sheets share: texts between the core's UTF-8
// and Qt, labels tied to their fields, right-aligned number fields, the row of
// dialog buttons, the program's icons, and running a dialog modally.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <string>
#include <utility>
#include <vector>

class QBoxLayout;
class QFrame;

namespace kv::ui {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

// A widget of `parent` with an object name, so that tests and accessibility
// tools can find it.
template <class W, class... Args>
W* Make(QWidget* parent, const char* name, Args&&... args) {
    W* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A label whose mnemonic ("&") moves the focus to `buddy`, and which screen
// readers read as the name of `buddy`.
QLabel* BuddyLabel(QWidget* parent, const QString& text, QWidget* buddy);

// A read-only text field; `number` aligns it to the right.
QLineEdit* ReadOnlyField(QWidget* parent, const char* name, const QString& text, bool number = false);

// A thin sunken line between groups of fields.
QFrame* Separator(QWidget* parent);

// The program's icon `iconId` among its resources.
QString ProgramIconPath(int iconId);

// An icon of the program's resources (":/icons/NNN.svg") drawn into a label of
// `size` pixels; the label stays empty when the resource is missing.
QLabel* IconLabel(QWidget* parent, const char* name, int iconId, int size = 32);

// The buttons at the foot of a dialog, left to right as named: "ok", "cancel",
// "apply", "help". OK is the default button.
struct DialogButtons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* apply = nullptr;
    QPushButton* help = nullptr;
};
DialogButtons AddDialogButtons(QDialog* dialog, QBoxLayout* layout, bool withApply, bool withHelp);

// Runs `dialog` modally over its parent window only, so that the help viewer
// stays usable while it is open; returns its end code.
int RunModal(QDialog& dialog);

// Disables a window's controls while a transfer runs and enables them again
// afterwards, leaving alone those that were disabled before and the windows it
// owns (the progress window among them).
class ControlsDisabled {
public:
    explicit ControlsDisabled(QWidget* window);
    ~ControlsDisabled();
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    std::vector<QPointer<QWidget>> disabled_;
};

}  // namespace kv::ui
