#include "tests/ui/ui_test.h"

#include <QDialog>

#include "document/boot_sector.h"
#include "document/media_errors.h"

namespace kv::test {

void UiEnv::NewBlankImage(std::uint32_t code) {
    QVERIFY(BuildBlankImage(s, kMainWindow, code));
    CreateMediaErrorList(s.doc.errors, s.doc.geometry.totalSectors);
    ListRootDirectory(s);
}

std::vector<std::uint8_t> UiEnv::Image() const {
    return s.doc.IsOpen() ? std::vector<std::uint8_t>(s.doc.data.get(), s.doc.data.get() + s.doc.size)
                          : std::vector<std::uint8_t>{};
}

void WithModal(std::function<void(QWidget* dialog)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            QTest::qFail("no modal dialog is open", __FILE__, __LINE__);
            return;
        }
        act(dialog);
        if (QTest::currentTestFailed()) {
            while (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) open->done(0);
        }
    });
}

QWidget* ShownWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
    }
    return nullptr;
}

bool NoUnexpectedQuestion() {
    // The scripted Ui reports an unscripted question or file dialog as a
    // GoogleTest failure outside any test.
    static int seen = 0;
    const int now = ::testing::UnitTest::GetInstance()->ad_hoc_test_result().total_part_count();
    const bool none = now == seen;
    seen = now;
    return none;
}

}  // namespace kv::test
