#include "ui/widgets.h"

#include <QBoxLayout>
#include <QFile>
#include <QFrame>
#include <QIcon>

namespace kv::ui {

QLabel* BuddyLabel(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(buddy->objectName() + QStringLiteral("Label"));
    label->setBuddy(buddy);
    // Screen readers name the field after its label (without the "&").
    QString name = text;
    name.remove(QLatin1Char('&'));
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    if (buddy->accessibleName().isEmpty()) buddy->setAccessibleName(name);
    return label;
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, const QString& text, bool number) {
    auto* field = Make<QLineEdit>(parent, name, text);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setBackgroundRole(QPalette::Window);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    if (number) field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for its whole text.
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(text) + 12);
    field->setCursorPosition(0);
    return field;
}

QFrame* Separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QString ProgramIconPath(int iconId) { return QStringLiteral(":/icons/%1.svg").arg(iconId); }

QLabel* IconLabel(QWidget* parent, const char* name, int iconId, int size) {
    auto* label = Make<QLabel>(parent, name);
    const QString path = ProgramIconPath(iconId);
    if (QFile::exists(path)) label->setPixmap(QIcon(path).pixmap(size, size));
    label->setFixedSize(size, size);
    label->setAccessibleName(QString());
    return label;
}

DialogButtons AddDialogButtons(QDialog* dialog, QBoxLayout* layout, bool withApply, bool withHelp) {
    DialogButtons b;
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    b.ok = Make<QPushButton>(dialog, "ok", QStringLiteral("OK"));
    b.ok->setDefault(true);
    b.cancel = Make<QPushButton>(dialog, "cancel", QStringLiteral("Cancel"));
    row->addWidget(b.ok);
    row->addWidget(b.cancel);
    if (withApply) {
        b.apply = Make<QPushButton>(dialog, "apply", QStringLiteral("&Apply"));
        b.apply->setEnabled(false);
        row->addWidget(b.apply);
    }
    if (withHelp) {
        b.help = Make<QPushButton>(dialog, "help", QStringLiteral("&Help"));
        b.help->setAutoDefault(false);
        row->addWidget(b.help);
    }
    QObject::connect(b.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    layout->addLayout(row);
    // Dialogs keep their size; a sheet (the one with Apply) keeps one size for
    // all its pages, which are filled later.
    if (!withApply) layout->setSizeConstraint(QLayout::SetFixedSize);
    return b;
}

int RunModal(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

ControlsDisabled::ControlsDisabled(QWidget* window) {
    if (window == nullptr) return;
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || !child->isEnabled()) continue;
        child->setEnabled(false);
        disabled_.emplace_back(child);
    }
}

ControlsDisabled::~ControlsDisabled() {
    for (const QPointer<QWidget>& child : disabled_) {
        if (child) child->setEnabled(true);
    }
}

}  // namespace kv::ui
