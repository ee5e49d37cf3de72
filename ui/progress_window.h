// The progress window of a floppy transfer: the drive line, the percentage,
// the bar and a Cancel button that can be pressed once.
#pragma once

#include <QDialog>
#include <memory>

#include "document/image_document.h"
#include "floppy/progress.h"
#include "ui/desktop.h"
#include "ui/widgets.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kv::ui {

class ProgressWindow final : public QDialog, public ProgressSink {
public:
    // Shows the window over `owner`, whose controls stay disabled while it exists.
    ProgressWindow(Session& s, TransferKind kind, QWidget* owner);
    ~ProgressWindow() override;

    void SetDriveText(const std::string& text) override;
    void SetPercent(std::uint32_t percent) override;
    void PumpMessages() override;
    WindowRef Window() const override { return RefOf(this); }

    // Escape and the window's close button do what Cancel does; the transfer
    // closes the window itself.
    void reject() override;

private:
    void Cancel();

    Session& s_;
    QLabel* drive_;
    QLabel* percent_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    std::unique_ptr<ControlsDisabled> ownerDisabled_;
};

// The factory the transfers of `s` create their progress windows with; the
// window's owner is the dialog the transfer runs from.
ProgressFactory MakeProgressFactory(Session& s);

}  // namespace kv::ui
