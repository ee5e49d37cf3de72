// The Custom disk-format dialog: eleven fields, the capacity they give as the
// user types, and OK through ConfirmCustomFormat.
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>
#include <QValidator>
#include <array>

#include "floppy/custom_format.h"
#include "ui/desktop.h"
#include "ui/floppy_dialogs.h"
#include "ui/widgets.h"

namespace kv::ui {
namespace {

constexpr std::uint32_t kCustomFormatHelp = 1007;

// Letters typed into the media field become capitals.
class UpperCase final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

struct FieldSpec {
    const char* name;
    const char* label;
    int field;  // index into CustomFormatFields, -1 for the two fields never read
    const char* initial;
};

// In the dialog's order; the nine read fields take their initial texts from
// CustomFormatFields.
constexpr std::array<FieldSpec, 11> kFields = {{
    {"media", "Media Id byte", kCustomMedia, nullptr},
    {"bytesPerSector", "Bytes per sector", -1, "512"},
    {"sectorsPerCluster", "Sectors per cluster", kCustomSectorsPerCluster, nullptr},
    {"reserved", "Reserved sectors", kCustomReserved, nullptr},
    {"fats", "Number of FAT's", kCustomFats, nullptr},
    {"rootEntries", "Directory-entries", kCustomRootEntries, nullptr},
    {"sectors", "Sectors per disk", kCustomSectors, nullptr},
    {"sectorsPerFat", "Sectors per FAT", kCustomSectorsPerFat, nullptr},
    {"sectorsPerTrack", "Sectors per track", kCustomSectorsPerTrack, nullptr},
    {"heads", "Heads", kCustomHeads, nullptr},
    {"hiddenSectors", "Hidden sectors", -1, "0"},
}};

class CustomFormatWindow final : public QDialog {
public:
    CustomFormatWindow(QWidget* parent, Session& s) : QDialog(parent), s_(s) {
        setObjectName(QStringLiteral("customFormat"));
        setWindowTitle(QStringLiteral("Custom disk-format"));
        auto* layout = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        const CustomFormatFields initial;
        for (std::size_t i = 0; i < kFields.size(); ++i) {
            const FieldSpec& spec = kFields[i];
            const int f = spec.field;
            auto* edit = Make<QLineEdit>(
                this, spec.name,
                f >= 0 ? Q(initial.texts[static_cast<std::size_t>(f)]) : QString::fromLatin1(spec.initial));
            auto* label = BuddyLabel(this, QString::fromLatin1(spec.label), edit);
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (f == kCustomMedia) edit->setValidator(new UpperCase(edit));
            if (f < 0) {
                edit->setEnabled(false);
                if (i + 1 == kFields.size()) label->setEnabled(false);  // "Hidden sectors" with its label
            } else {
                fields_[static_cast<std::size_t>(f)] = edit;
                connect(edit, &QLineEdit::textChanged, this, [this] { UpdateCapacity(); });
            }
            const int column = i < 6 ? 0 : 2;
            const int row = static_cast<int>(i < 6 ? i : i - 6);
            grid->addWidget(label, row, column);
            grid->addWidget(edit, row, column + 1);
        }
        grid->setColumnMinimumWidth(1, 70);
        grid->setColumnMinimumWidth(3, 70);
        layout->addLayout(grid);

        auto* capacity = Make<QGroupBox>(this, "capacity", QStringLiteral("Capacity"));
        auto* capacityGrid = new QGridLayout(capacity);
        total_ = CapacityRow(capacity, capacityGrid, 0, "total", "Total:");
        formatted_ = CapacityRow(capacity, capacityGrid, 1, "formatted", "Formatted:");
        capacityGrid->setColumnStretch(1, 1);
        layout->addWidget(capacity);

        DialogButtons buttons = AddDialogButtons(this, layout, false, true);
        connect(buttons.ok, &QPushButton::clicked, this, [this] {
            if (ConfirmCustomFormat(s_.ui, RefOf(this), Fields(), s_.formats)) done(1);
        });
        connect(buttons.help, &QPushButton::clicked, this,
                [this] { ShowHelp(s_.ui, RefOf(this), HelpCommand::Context, kCustomFormatHelp); });
        UpdateCapacity();
    }

private:
    static QLabel* CapacityRow(QWidget* box, QGridLayout* grid, int row, const char* name, const char* text) {
        auto* value = Make<QLabel>(box, name);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(BuddyLabel(box, QString::fromLatin1(text), value), row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("KB"), box), row, 2);
        return value;
    }

    CustomFormatFields Fields() const {
        CustomFormatFields f;
        for (std::size_t i = 0; i < kCustomFieldCount; ++i) f.texts[i] = S(fields_[i]->text());
        return f;
    }

    void UpdateCapacity() {
        CustomCapacity c = UpdateCustomCapacity(Fields());
        total_->setText(Q(c.total));
        formatted_->setText(Q(c.formatted));
    }

    Session& s_;
    std::array<QLineEdit*, kCustomFieldCount> fields_{};
    QLabel* total_ = nullptr;
    QLabel* formatted_ = nullptr;
};

}  // namespace

int RunCustomFormatDialog(QWidget* parent, Session& s) {
    CustomFormatWindow dialog(parent, s);
    return RunModal(dialog);
}

}  // namespace kv::ui
