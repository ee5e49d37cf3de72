// The image properties sheet: the Volume page (label), the Errors page (the
// bad-sector list, with the Add sector dialog) and, on request, the Media page.
// Each page is filled when it is first shown; only filled pages are applied.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

#include "fat12/properties.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "ui/desktop.h"
#include "ui/widgets.h"

namespace kv::ui {
namespace {

constexpr std::uint32_t kVolumeHelp = 1003, kErrorsHelp = 1004, kAddSectorHelp = 1005;
constexpr int kAppIcon = 100, kVolumeIcon = 102, kErrorsIcon = 103;

class Page : public QWidget {
public:
    Page(QWidget* parent, Session& s, std::function<void()> changed)
        : QWidget(parent), s_(s), changed_(std::move(changed)) {}
    void EnsureFilled() {
        if (filled_) return;
        filled_ = true;
        Fill();
    }
    bool Filled() const { return filled_; }
    // OK or Apply; false keeps the sheet open on this page.
    virtual bool Apply() = 0;
    virtual std::uint32_t HelpContext() const = 0;  // 0: no Help

protected:
    virtual void Fill() = 0;
    WindowRef Owner() const { return RefOf(window()); }

    Session& s_;
    const std::function<void()> changed_;

private:
    bool filled_ = false;
};

class VolumePageWidget final : public Page {
public:
    using Page::Page;
    bool Apply() override { return ApplyVolumeLabelText(s_, Owner(), S(label_->text())); }
    std::uint32_t HelpContext() const override { return kVolumeHelp; }

private:
    void Fill() override {
        const VolumePage page = FillVolumePage(s_.doc, s_.locale);
        auto* grid = new QGridLayout(this);
        QLineEdit* oem = ReadOnlyField(this, "oem", Q(page.oemSignature));
        grid->addWidget(BuddyLabel(this, QStringLiteral("OEM signature:"), oem), 0, 0);
        grid->addWidget(oem, 0, 1, 1, 2);
        grid->addWidget(IconLabel(this, "icon", kVolumeIcon), 0, 3, Qt::AlignRight);
        label_ = Make<QLineEdit>(this, "label", Q(page.label));
        label_->setMaxLength(11);
        grid->addWidget(BuddyLabel(this, QStringLiteral("Volume label:"), label_), 1, 0);
        grid->addWidget(label_, 1, 1, 1, 2);
        connect(label_, &QLineEdit::textEdited, this, [this] { changed_(); });
        grid->addWidget(Separator(this), 2, 0, 1, 4);
        const struct {
            const char* name;
            const char* label;
            const std::string& value;
        } numbers[] = {{"used", "Used memory:", page.used},
                       {"free", "Free memory:", page.free},
                       {"total", "Total capacity:", page.total}};
        int row = 3;
        for (const auto& n : numbers) {
            QLineEdit* value = ReadOnlyField(this, n.name, Q(n.value), true);
            grid->addWidget(BuddyLabel(this, QString::fromLatin1(n.label), value), row, 0);
            grid->addWidget(value, row, 1);
            grid->addWidget(new QLabel(QStringLiteral("Bytes"), this), row++, 2);
        }
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(row, 1);
    }

    QLineEdit* label_ = nullptr;
};

// The Add sector dialog: a sector number picked from 0 ... totalSectors - 1 or
// typed.
class AddSectorWindow final : public QDialog {
public:
    AddSectorWindow(QWidget* parent, Session& s) : QDialog(parent), s_(s) {
        setObjectName(QStringLiteral("addSector"));
        setWindowTitle(QStringLiteral("Add sector"));
        auto* layout = new QVBoxLayout(this);
        auto* combo = Make<QComboBox>(this, "sector");
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        QStringList numbers;
        for (std::uint32_t n = 0; n < s.doc.geometry.totalSectors; ++n) numbers << QString::number(n);
        combo->addItems(numbers);
        combo->setCurrentIndex(-1);
        combo->setMaxVisibleItems(12);
        auto* row = new QHBoxLayout;
        row->addWidget(BuddyLabel(this, QStringLiteral("&Sector:"), combo));
        row->addWidget(combo, 1);
        layout->addLayout(row);
        DialogButtons buttons = AddDialogButtons(this, layout, false, true);
        connect(buttons.ok, &QPushButton::clicked, this, [this, combo] {
            sector_ = ReadSectorNumber(s_.ui, RefOf(this), S(combo->currentText()), s_.doc.geometry.totalSectors);
            if (sector_ >= 0) accept();
        });
        connect(buttons.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, kAddSectorHelp); });
        setMinimumWidth(260);
    }
    std::int64_t Sector() const { return sector_; }

private:
    Session& s_;
    std::int64_t sector_ = -2;
};

class ErrorsPageWidget final : public Page {
public:
    using Page::Page;
    bool Apply() override {
        if (!changedRows_) return true;
        std::vector<std::string> rows;
        for (int i = 0; i < list_->topLevelItemCount(); ++i) rows.push_back(S(list_->topLevelItem(i)->text(0)));
        ApplyErrorsPage(s_.doc.errors, rows);
        return true;
    }
    std::uint32_t HelpContext() const override { return kErrorsHelp; }

private:
    void Fill() override {
        const ErrorsPage page = FillErrorsPage(s_.doc);
        auto* grid = new QGridLayout(this);
        list_ = Make<QTreeWidget>(this, "badSectors");
        QLabel* label = BuddyLabel(this, QStringLiteral("Media &errors:"), list_);
        grid->addWidget(label, 0, 0);
        grid->addWidget(IconLabel(this, "icon", kErrorsIcon), 0, 1, Qt::AlignRight);
        list_->setRootIsDecorated(false);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setHeaderLabels({Q(LoadText(str::kBadSectorsColumn))});
        list_->header()->setSectionResizeMode(QHeaderView::Interactive);
        list_->header()->setSectionsClickable(false);
        list_->header()->setStretchLastSection(false);
        list_->setColumnWidth(0, 122);
        for (const std::string& row : page.rows) AddRow(row);
        grid->addWidget(list_, 1, 0, 4, 1);
        add_ = Make<QPushButton>(this, "add", QStringLiteral("&Add..."));
        edit_ = Make<QPushButton>(this, "edit", QStringLiteral("&Edit..."));
        remove_ = Make<QPushButton>(this, "remove", QStringLiteral("&Remove"));
        grid->addWidget(add_, 1, 1);
        grid->addWidget(edit_, 2, 1);
        grid->addWidget(remove_, 3, 1);
        grid->setRowStretch(4, 1);
        grid->setColumnStretch(0, 1);
        if (!page.hasList) {
            for (QWidget* w : std::initializer_list<QWidget*>{label, list_, add_}) w->setEnabled(false);
        }
        edit_->setEnabled(false);
        remove_->setEnabled(false);
        connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
            const bool selected = !list_->selectedItems().isEmpty();
            edit_->setEnabled(selected);
            remove_->setEnabled(selected);
        });
        connect(add_, &QPushButton::clicked, this, [this] { AddSector(); });
        connect(edit_, &QPushButton::clicked, this,
                [this] { ShowMessage(s_.ui, Owner(), "Edit not implemented yet!", MB_ICONEXCLAMATION); });
        connect(remove_, &QPushButton::clicked, this, [this] { RemoveSector(); });
    }

    void AddRow(const std::string& text) { new QTreeWidgetItem(list_, QStringList{Q(text)}); }

    void AddSector() {
        AddSectorWindow dialog(window(), s_);
        if (RunModal(dialog) != QDialog::Accepted) return;
        AddRow(std::to_string(dialog.Sector()));  // appended, not sorted
        changedRows_ = true;
        changed_();
    }

    void RemoveSector() {
        const QList<QTreeWidgetItem*> selected = list_->selectedItems();
        if (selected.isEmpty()) return;
        delete selected.front();
        changedRows_ = true;
        changed_();
        edit_->setEnabled(false);
        remove_->setEnabled(false);
    }

    QTreeWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* remove_ = nullptr;
    bool changedRows_ = false;  // kept after Apply: a second Apply rebuilds the list the same way
};

class MediaPageWidget final : public Page {
public:
    using Page::Page;
    bool Apply() override { return true; }
    std::uint32_t HelpContext() const override { return 0; }

private:
    void Fill() override {
        const MediaPage p = FillMediaPage(s_.doc);
        const struct {
            const char* name;
            const char* label;
            std::uint32_t value;
        } numbers[] = {
            {"bytesPerSector", "Bytes per sector", p.bytesPerSector},
            {"sectorsPerCluster", "Sectors per cluster", p.sectorsPerCluster},
            {"reserved", "Reserved sectors", p.reservedSectors},
            {"fats", "Number of FAT's", p.fatCount},
            {"rootEntries", "Directory-entries", p.rootEntries},
            {"sectors", "Sectors per disk", p.totalSectors},
            {"sectorsPerFat", "Sectors per FAT", p.sectorsPerFat},
            {"sectorsPerTrack", "Sectors per track", p.sectorsPerTrack},
            {"heads", "Heads", p.heads},
            {"hiddenSectors", "Hidden sectors", p.hiddenSectors},
        };
        auto* grid = new QGridLayout(this);
        int i = 0;
        for (const auto& n : numbers) {
            QLineEdit* value = ReadOnlyField(this, n.name, QString::number(n.value), true);
            const int column = i < 5 ? 0 : 2, row = i < 5 ? i : i - 5;
            grid->addWidget(BuddyLabel(this, QString::fromLatin1(n.label), value), row, column);
            grid->addWidget(value, row, column + 1);
            ++i;
        }
        auto* harddisk = Make<QCheckBox>(this, "harddisk", QStringLiteral("Disk-image is harddisk"));
        harddisk->setChecked(p.harddisk);
        harddisk->setEnabled(false);
        grid->addWidget(harddisk, 5, 0, 1, 4);
        grid->setRowStretch(6, 1);
    }
};

class ImagePropertiesSheet final : public QDialog {
public:
    ImagePropertiesSheet(QWidget* parent, Session& s, bool withMedia) : QDialog(parent), s_(s) {
        setObjectName(QStringLiteral("imageProperties"));
        setWindowTitle(Q(LoadText(str::kImageProperties)));
        if (QFile::exists(ProgramIconPath(kAppIcon))) setWindowIcon(QIcon(ProgramIconPath(kAppIcon)));
        auto* layout = new QVBoxLayout(this);
        tabs_ = Make<QTabWidget>(this, "pages");
        tabs_->setMinimumSize(440, 260);  // room for every page before it is filled
        auto changed = [this] { buttons_.apply->setEnabled(true); };
        AddPage(new VolumePageWidget(tabs_, s, changed), "Volume");
        const ImageSheetPages pages = ImagePropertiesPages(s.doc, withMedia);
        if (pages.errors) AddPage(new ErrorsPageWidget(tabs_, s, changed), "Errors");
        if (pages.media) AddPage(new MediaPageWidget(tabs_, s, changed), "Media");
        layout->addWidget(tabs_);
        buttons_ = AddDialogButtons(this, layout, true, true);
        connect(tabs_, &QTabWidget::currentChanged, this, [this] { ShowPage(); });
        connect(buttons_.apply, &QPushButton::clicked, this, [this] { ApplyPages(); });
        connect(buttons_.ok, &QPushButton::clicked, this, [this] {
            if (ApplyPages()) done(applied_);
        });
        connect(buttons_.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, CurrentPage()->HelpContext()); });
        ShowPage();
    }

    void reject() override { done(applied_); }

private:
    void AddPage(Page* page, const char* title) {
        page->setObjectName(QString::fromLatin1(title).toLower());
        pages_.push_back(page);
        tabs_->addTab(page, QString::fromLatin1(title));
    }
    Page* CurrentPage() const { return pages_[static_cast<std::size_t>(tabs_->currentIndex())]; }

    void ShowPage() {
        CurrentPage()->EnsureFilled();
        buttons_.help->setEnabled(CurrentPage()->HelpContext() != 0);
    }

    // Applies every filled page; a page that refuses is shown and stops it.
    bool ApplyPages() {
        for (Page* page : pages_) {
            if (page->Filled() && !page->Apply()) {
                tabs_->setCurrentWidget(page);
                return false;
            }
        }
        if (buttons_.apply->isEnabled()) ++applied_;
        buttons_.apply->setEnabled(false);
        return true;
    }

    Session& s_;
    QTabWidget* tabs_;
    std::vector<Page*> pages_;
    DialogButtons buttons_;
    int applied_ = 0;
};

}  // namespace

int ShowImageProperties(QWidget* parent, Session& s, bool withMedia) {
    if (!s.doc.IsOpen()) return -1;
    ImagePropertiesSheet sheet(parent, s, withMedia);
    return RunModal(sheet);
}

}  // namespace kv::ui
