// The help viewer: KORVANE.HLP (HTML) from the program folder in a window of
// the program's own. Context numbers are the file's anchors.
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/messages.h"
#include "platform/string_table.h"
#include "ui/desktop.h"
#include "ui/widgets.h"

namespace kv::ui {
namespace {

class HelpViewer final : public QWidget {
public:
    HelpViewer() : QWidget(nullptr, Qt::Window) {
        setObjectName(QStringLiteral("helpViewer"));
        setWindowTitle(QStringLiteral("Korvane Help"));
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);
        auto* bar = new QHBoxLayout;
        auto* contents = Make<QPushButton>(this, "contents", QStringLiteral("&Contents"));
        auto* back = Make<QPushButton>(this, "back", QStringLiteral("&Back"));
        auto* forward = Make<QPushButton>(this, "forward", QStringLiteral("&Forward"));
        auto* close = Make<QPushButton>(this, "close", QStringLiteral("Close"));
        bar->addWidget(contents);
        bar->addWidget(back);
        bar->addWidget(forward);
        bar->addStretch(1);
        bar->addWidget(close);
        layout->addLayout(bar);
        browser_ = Make<QTextBrowser>(this, "helpText");
        browser_->setOpenExternalLinks(false);
        browser_->setAccessibleName(QStringLiteral("Help text"));
        layout->addWidget(browser_, 1);
        back->setEnabled(false);
        forward->setEnabled(false);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
        connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
        connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
        connect(contents, &QPushButton::clicked, this, [this] { Show(QString()); });
        connect(close, &QPushButton::clicked, this, &QWidget::close);
        resize(680, 600);
    }

    void Open(const QString& path, const QString& anchor) {
        file_ = QUrl::fromLocalFile(path);
        Show(anchor);
    }

private:
    void Show(const QString& anchor) {
        QUrl url = file_;
        if (!anchor.isEmpty()) url.setFragment(anchor);
        browser_->setSource(url, QTextDocument::HtmlResource);
        show();
        raise();
        activateWindow();
    }

    QTextBrowser* browser_;
    QUrl file_;
};

QPointer<HelpViewer>& Viewer() {
    static QPointer<HelpViewer> viewer;
    return viewer;
}

void CloseViewer() { delete Viewer().data(); }

}  // namespace

bool ShowHelp(Ui& ui, WindowRef owner, HelpCommand command, std::uint32_t context) {
    if (command == HelpCommand::Quit) {
        CloseViewer();
        return true;
    }
    const QString path = Q(HelpFilePath());
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        ShowStringMessage(ui, owner, str::kHelpFailed, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!Viewer()) {
        Viewer() = new HelpViewer;
        static bool cleanupAdded = false;
        if (!cleanupAdded) qAddPostRoutine(CloseViewer);
        cleanupAdded = true;
    }
    Viewer()->Open(path, command == HelpCommand::Context ? QString::number(context) : QString());
    return true;
}

}  // namespace kv::ui
