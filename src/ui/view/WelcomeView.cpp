#include "ui/view/WelcomeView.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QEvent>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "core/StringTable.h"
#include "core/TempDir.h"
#include "lang/LanguageShell.h"
#include "ui/view/HtmlView.h"

// The resource of a static library is registered by hand, outside any
// namespace.
static void InitWelcomeResource()
{
    Q_INIT_RESOURCE(welcome);
}

namespace vm {

namespace {

// Writes the built-in welcome files into folder (created when missing).
void WriteWelcomeFiles(const QString& folder)
{
    InitWelcomeResource();
    if (!QDir().mkpath(folder))
        return;
    QDirIterator it(QStringLiteral(":/welcome"), QDir::Files);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = folder + QLatin1Char('/') + it.fileName();
        QFile::remove(target);
        if (QFile::copy(source, target))
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
}

} // namespace

WelcomeView::WelcomeView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WelcomeFrame"));
    const QString temp = TempDirPath();
    if (!temp.isEmpty()) {
        folder_ = QDir::cleanPath(temp + QStringLiteral("/welcome"));
        WriteWelcomeFiles(folder_);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Browser = new HtmlView(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    layout->addWidget(Browser);
    Browser->SetPageFolder(folder_);
    Browser->navigationRequested = [this](const QUrl& target) { return LinkClicked(target); };
    // Right clicks: contextMenuRequested is left unconnected, so nothing pops up.
    connect(Browser, &HtmlView::loadFinished, this, &WelcomeView::pageLoaded);
    if (!folder_.isEmpty())
        Browser->Navigate(StartPage());
}

WelcomeView::~WelcomeView() = default;

QString WelcomeView::StartPage() const
{
    // The Symbol comes from a language file: only a plain language code
    // names a page.
    static const QRegularExpression code(QStringLiteral("^[a-z]{2,3}$"));
    const QString symbol = QString::fromLatin1(Language().Symbol).toLower();
    if (code.match(symbol).hasMatch()) {
        const QString own = folder_ + QStringLiteral("/index-") + symbol + QStringLiteral(".html");
        if (QFileInfo::exists(own))
            return own;
    }
    return folder_ + QStringLiteral("/index.html");
}

void WelcomeView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && !folder_.isEmpty())
        Browser->Navigate(StartPage());
}

bool WelcomeView::LinkClicked(const QUrl& target)
{
    const QString text = target.toString().toLower();
    if (target.isLocalFile() && text.contains(QLatin1String(".htm")))
        return true;
    const QString makerHost = QUrl(StringTable(kStrMakerWebSite)).host().toLower();
    if (text.contains(QLatin1String("http://addaccount"))) {
        if (addAccount)
            addAccount();
    } else if (text.contains(QLatin1String("http://help"))) {
        if (help)
            help();
    } else if (!makerHost.isEmpty() && target.host().toLower() == makerHost) {
        if (makerSite)
            makerSite();
    }
    return false;
}

} // namespace vm
