// The file properties sheet: one page, "General", with the entry's name, type,
// location, size, date and the four attribute boxes it can change.
#include <QCheckBox>
#include <QGridLayout>
#include <QTabWidget>
#include <QVBoxLayout>

#include "fat12/properties.h"
#include "ui/desktop.h"
#include "ui/widgets.h"

namespace kv::ui {
namespace {

constexpr std::uint32_t kGeneralHelp = 1002;
constexpr int kFolderIcon = 110, kFileIcon = 112;

class FilePropertiesSheet final : public QDialog {
public:
    FilePropertiesSheet(QWidget* parent, Session& s, std::uint8_t* slot, const QString& caption)
        : QDialog(parent), s_(s), slot_(slot) {
        setObjectName(QStringLiteral("fileProperties"));
        setWindowTitle(QStringLiteral("%1 Properties").arg(caption));
        auto* layout = new QVBoxLayout(this);
        auto* tabs = Make<QTabWidget>(this, "pages");
        tabs->addTab(GeneralPage(tabs), QStringLiteral("General"));
        layout->addWidget(tabs);
        buttons_ = AddDialogButtons(this, layout, true, true);
        for (QCheckBox* box : {readOnly_, hidden_, archive_, system_}) {
            connect(box, &QCheckBox::clicked, this, [this] { buttons_.apply->setEnabled(true); });
        }
        connect(buttons_.apply, &QPushButton::clicked, this, [this] { Apply(); });
        connect(buttons_.ok, &QPushButton::clicked, this, [this] {
            Apply();
            done(applied_);
        });
        connect(buttons_.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, kGeneralHelp); });
    }

    // 1 when a change reached the entry, 0 otherwise.
    void reject() override { done(applied_); }

private:
    QWidget* GeneralPage(QWidget* parent) {
        const kv::GeneralPage page = FillGeneralPage(slot_, s_.doc.geometry, s_.locale, SettingsFilePath());
        auto* w = Make<QWidget>(parent, "general");
        auto* grid = new QGridLayout(w);
        int row = 0;
        auto field = [&](const char* name, const char* label, const std::string& text) {
            QLineEdit* edit = ReadOnlyField(w, name, Q(text));
            grid->addWidget(BuddyLabel(w, QString::fromLatin1(label), edit), row, 0);
            grid->addWidget(edit, row++, 1);
        };
        auto separator = [&] { grid->addWidget(Separator(w), row++, 0, 1, 3); };
        field("name", "File:", page.name);
        grid->addWidget(IconLabel(w, "icon", page.directory ? kFolderIcon : kFileIcon), 0, 2, Qt::AlignRight);
        separator();
        field("type", "Type:", page.type);
        field("location", "Location:", page.location);
        field("size", "Size:", page.size);
        separator();
        field("date", "Creation/change:", page.date);
        separator();
        readOnly_ = Make<QCheckBox>(w, "readOnly", QStringLiteral("&Read only"));
        hidden_ = Make<QCheckBox>(w, "hidden", QStringLiteral("H&idden"));
        archive_ = Make<QCheckBox>(w, "archive", QStringLiteral("&Archive"));
        system_ = Make<QCheckBox>(w, "system", QStringLiteral("&System"));
        readOnly_->setChecked(page.checks.readOnly);
        hidden_->setChecked(page.checks.hidden);
        archive_->setChecked(page.checks.archive);
        system_->setChecked(page.checks.system);
        grid->addWidget(BuddyLabel(w, QStringLiteral("Attributes:"), readOnly_), row, 0, Qt::AlignTop);
        auto* boxes = new QGridLayout;
        boxes->addWidget(readOnly_, 0, 0);
        boxes->addWidget(hidden_, 0, 1);
        boxes->addWidget(archive_, 1, 0);
        boxes->addWidget(system_, 1, 1);
        grid->addLayout(boxes, row++, 1, 1, 2);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(row, 1);
        w->setMinimumWidth(390);
        return w;
    }

    void Apply() {
        AttributeChecks checks{readOnly_->isChecked(), hidden_->isChecked(), archive_->isChecked(),
                               system_->isChecked()};
        if (ApplyAttributes(s_, slot_, checks)) applied_ = 1;
        buttons_.apply->setEnabled(false);
    }

    Session& s_;
    std::uint8_t* slot_;
    DialogButtons buttons_;
    QCheckBox* readOnly_ = nullptr;
    QCheckBox* hidden_ = nullptr;
    QCheckBox* archive_ = nullptr;
    QCheckBox* system_ = nullptr;
    int applied_ = 0;
};

}  // namespace

int ShowFileProperties(QWidget* parent, Session& s, std::uint8_t* slot, const std::string& caption) {
    if (slot == nullptr || !s.doc.IsOpen()) return -1;
    FilePropertiesSheet sheet(parent, s, slot, Q(caption));
    return RunModal(sheet);
}

}  // namespace kv::ui
