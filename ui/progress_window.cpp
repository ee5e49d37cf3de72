#include "ui/progress_window.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv::ui {

ProgressWindow::ProgressWindow(Session& s, TransferKind kind, QWidget* owner) : QDialog(owner), s_(s) {
    setObjectName(QStringLiteral("progress"));
    setWindowTitle(kind == TransferKind::Read ? QStringLiteral("Reading disk") : QStringLiteral("Write to disk"));
    auto* layout = new QVBoxLayout(this);

    auto* group = Make<QGroupBox>(this, "driveGroup", QStringLiteral("Drive"));
    auto* groupLayout = new QVBoxLayout(group);
    drive_ = Make<QLabel>(group, "driveText", QStringLiteral("-"));
    drive_->setMinimumWidth(260);
    groupLayout->addWidget(drive_);
    layout->addWidget(group);

    auto* row = new QHBoxLayout;
    percent_ = Make<QLabel>(this, "percent", QStringLiteral("0"));
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(percent_);
    row->addWidget(Make<QLabel>(this, "percentSign", QStringLiteral("%")));
    bar_ = Make<QProgressBar>(this, "bar");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QStringLiteral("Progress"));
    row->addWidget(bar_, 1);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cancel_ = Make<QPushButton>(this, "cancel", QStringLiteral("Cancel"));
    connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The user can use only this window while the transfer runs.
    setWindowModality(Qt::WindowModal);
    show();
    ownerDisabled_ = std::make_unique<ControlsDisabled>(owner);
    repaint();  // painted at once
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::SetDriveText(const std::string& text) { drive_->setText(Q(text)); }

void ProgressWindow::SetPercent(std::uint32_t percent) {
    percent_->setText(QString::number(percent));
    bar_->setValue(static_cast<int>(percent));
}

void ProgressWindow::PumpMessages() { QCoreApplication::processEvents(); }

void ProgressWindow::reject() { Cancel(); }

void ProgressWindow::Cancel() {
    if (!cancel_->isEnabled()) return;
    s_.transferCancelled = true;
    cancel_->setEnabled(false);
}

ProgressFactory MakeProgressFactory(Session& s) {
    return [&s](TransferKind kind, WindowRef owner) -> std::unique_ptr<ProgressSink> {
        return std::make_unique<ProgressWindow>(s, kind, WidgetOf(owner));
    };
}

}  // namespace kv::ui
