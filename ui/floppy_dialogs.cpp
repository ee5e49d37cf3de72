// The New disk-image and Write to disk dialogs. Their rules are the core's
// (CreateNewImage, WriteImageToFloppy); the windows hold the controls' states.
#include "ui/floppy_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QVBoxLayout>

#include "floppy/floppy_device.h"
#include "floppy/transfer.h"
#include "platform/string_table.h"
#include "ui/desktop.h"
#include "ui/progress_window.h"
#include "ui/widgets.h"

namespace kv::ui {
namespace {

constexpr std::uint32_t kNewImageHelp = 1001;
constexpr std::uint32_t kWriteHelp = 1006;

// Fills a drive list; false when there is no drive.
bool FillDrives(QComboBox* list) {
    for (const std::string& line : ListRemovableDrives()) list->addItem(Q(line));
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);
    return list->count() > 0;
}

class NewImageWindow final : public QDialog {
public:
    NewImageWindow(QWidget* parent, Session& s) : QDialog(parent), s_(s), formats_(FillFormatList(s.formats)) {
        setObjectName(QStringLiteral("newImage"));
        setWindowTitle(QStringLiteral("New disk-image"));
        auto* layout = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        copy_ = Make<QCheckBox>(this, "copyFromDisk", QStringLiteral("&Copy data from disk"));
        drives_ = Make<QComboBox>(this, "drives");
        drives_->setAccessibleName(QStringLiteral("Drive"));
        useFormat_ = Make<QCheckBox>(this, "useFormat", QStringLiteral("&Disk format/capacity"));
        formatList_ = Make<QComboBox>(this, "formats");
        formatList_->setAccessibleName(QStringLiteral("Disk format/capacity"));
        bootSector_ = Make<QComboBox>(this, "bootSector");
        grid->addWidget(copy_, 0, 0);
        grid->addWidget(drives_, 0, 1);
        grid->addWidget(useFormat_, 1, 0);
        grid->addWidget(formatList_, 1, 1);
        grid->addWidget(BuddyLabel(this, QStringLiteral("Boot sector:"), bootSector_), 2, 0);
        grid->addWidget(bootSector_, 2, 1);
        grid->setColumnStretch(1, 1);
        layout->addLayout(grid);
        DialogButtons buttons = AddDialogButtons(this, layout, false, true);

        // The boot-sector kind is shown only, never read.
        bootSector_->addItem(Q(LoadText(str::kMsxDosBootSector)));
        for (const FormatLine& line : formats_.lines) formatList_->addItem(Q(line.text), line.itemData);
        formatList_->setCurrentIndex(formats_.selected);
        formatList_->setMinimumContentsLength(36);

        useFormat_->setChecked(true);
        if (!FillDrives(drives_)) {
            copy_->setEnabled(false);
            useFormat_->setFocus();
        }
        drives_->setEnabled(copy_->isChecked());
        formatList_->setEnabled(useFormat_->isChecked());

        connect(copy_, &QCheckBox::clicked, this, [this](bool checked) {
            drives_->setEnabled(checked);
            if (checked) {
                useFormat_->setChecked(false);
                formatList_->setEnabled(false);
            }
        });
        connect(useFormat_, &QCheckBox::clicked, this, [this](bool checked) { formatList_->setEnabled(checked); });
        connect(buttons.ok, &QPushButton::clicked, this, [this] {
            if (Create()) done(1);
        });
        connect(buttons.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, kNewImageHelp); });
    }

private:
    bool Create() {
        NewImageDialog state;
        state.window = RefOf(this);
        state.copyFromDisk = copy_->isChecked();
        state.driveLine = S(drives_->currentText());
        state.useFormat = useFormat_->isChecked();
        state.formats = formats_;
        state.formats.selected = formatList_->currentIndex();
        state.runCustomFormatDialog = [this] { return RunCustomFormatDialog(this, s_); };
        state.createProgress = MakeProgressFactory(s_);
        return CreateNewImage(s_, state);
    }

    Session& s_;
    const FormatList formats_;
    QCheckBox* copy_;
    QComboBox* drives_;
    QCheckBox* useFormat_;
    QComboBox* formatList_;
    QComboBox* bootSector_;
};

class WriteWindow final : public QDialog {
public:
    WriteWindow(QWidget* parent, Session& s) : QDialog(parent), s_(s) {
        setObjectName(QStringLiteral("writeToDisk"));
        setWindowTitle(QStringLiteral("Write to disk"));
        auto* layout = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        drives_ = Make<QComboBox>(this, "drives");
        drives_->setMinimumContentsLength(24);
        format_ = Make<QCheckBox>(this, "formatDisk", QStringLiteral("&Format disk"));
        grid->addWidget(BuddyLabel(this, QStringLiteral("Drive:"), drives_), 0, 0);
        grid->addWidget(drives_, 0, 1);
        grid->addWidget(format_, 1, 1);
        grid->setColumnStretch(1, 1);
        layout->addLayout(grid);
        DialogButtons buttons = AddDialogButtons(this, layout, false, true);
        if (!FillDrives(drives_)) {
            drives_->setEnabled(false);
            buttons.ok->setEnabled(false);
            buttons.ok->setDefault(false);
            buttons.cancel->setFocus();
        }
        connect(buttons.ok, &QPushButton::clicked, this, [this] {
            WriteDialog state;
            state.window = RefOf(this);
            state.formatDisk = format_->isChecked();
            state.createProgress = MakeProgressFactory(s_);
            if (WriteImageToFloppy(s_, state, DriveIndexOfLine(S(drives_->currentText())))) done(1);
        });
        connect(buttons.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, kWriteHelp); });
    }

private:
    Session& s_;
    QComboBox* drives_;
    QCheckBox* format_;
};

}  // namespace

int RunNewImageDialog(QWidget* parent, Session& s) {
    NewImageWindow dialog(parent, s);
    return RunModal(dialog);
}

int RunWriteDialog(QWidget* parent, Session& s) {
    WriteWindow dialog(parent, s);
    return RunModal(dialog);
}

}  // namespace kv::ui
