#include "ui/view/HtmlView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <atomic>
#include <mutex>

#include "ops/ErrorList.h"

namespace vm {

namespace {

// True when url names a file inside folder (after removing "." and ".."
// parts, and after following links when the file exists).
bool IsFileInside(const QUrl& url, const QString& folder)
{
    if (folder.isEmpty() || !url.isLocalFile())
        return false;
    const QString root = QDir::cleanPath(folder) + QLatin1Char('/');
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (!path.startsWith(root))
        return false;
    const QFileInfo info(path);
    if (!info.exists())
        return true; // nothing to follow; the load fails on its own
    const QString canonicalRoot = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    return info.canonicalFilePath().startsWith(canonicalRoot);
}

bool IsWeb(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// What "show remote content" lets through: pictures, style sheets, fonts,
// media and frames. Scripts, workers, XHR, pings, prefetch and plug-in
// requests stay blocked.
bool IsShowableRemoteType(QWebEngineUrlRequestInfo::ResourceType type)
{
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        return true;
    default:
        return false;
    }
}

// The selection's HTML source, read by a script of the program's own world
// (it runs while the page's scripts are off and the page cannot see it).
const char kSelectionHtmlScript[] =
    "(function(){var s=window.getSelection();if(!s||s.rangeCount===0)return '';"
    "var d=document.createElement('div');"
    "for(var i=0;i<s.rangeCount;++i)d.appendChild(s.getRangeAt(i).cloneContents());"
    "return d.innerHTML;})()";

} // namespace

// Decides on every request of the profile's pages before it is sent. It may
// run on another thread than the interface thread: its state is guarded, and
// what it reports reaches the view by a queued call.
class PageRequestGuard : public QWebEngineUrlRequestInterceptor
{
public:
    explicit PageRequestGuard(HtmlView* owner)
        : QWebEngineUrlRequestInterceptor(owner), owner_(owner)
    {
    }

    void SetFolder(const QString& folder)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        folder_ = folder;
    }
    QString Folder() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return folder_;
    }
    // A new page: remote content blocked or allowed for it.
    quint64 NewPage(bool allowRemote)
    {
        allowRemote_.store(allowRemote);
        return ++generation_;
    }
    bool RemoteAllowed() const { return allowRemote_.load(); }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        if (IsFileInside(url, Folder()))
            return;
        const bool showable = IsWeb(url) && IsShowableRemoteType(info.resourceType());
        if (showable && allowRemote_.load())
            return;
        info.block(true);
        if (showable) {
            const quint64 generation = generation_.load();
            QMetaObject::invokeMethod(
                owner_, [owner = owner_, generation] { owner->OnBlocked(generation); },
                Qt::QueuedConnection);
        }
    }

private:
    friend class HtmlView;
    HtmlView* owner_;
    mutable std::mutex mutex_;
    QString folder_;
    std::atomic<bool> allowRemote_{false};
    std::atomic<quint64> generation_{0};
};

// The page: hands its navigation decisions to the view.
class GuardedPage : public QWebEnginePage
{
public:
    GuardedPage(QWebEngineProfile* profile,
                std::function<bool(const QUrl&, NavigationType, bool)> decide, QObject* parent)
        : QWebEnginePage(profile, parent), decide_(std::move(decide))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return decide_(url, type, isMainFrame);
    }

private:
    std::function<bool(const QUrl&, NavigationType, bool)> decide_;
};

struct HtmlView::Private
{
    QWebEngineProfile* profile = nullptr;
    PageRequestGuard* guard = nullptr;
    QWebEngineView* view = nullptr;
    GuardedPage* page = nullptr;
    QFrame* bar = nullptr;
    QUrl ownUrl;
    quint64 generation = 0;
    quint64 loadedGeneration = 0;
    bool busy = false;
    bool hasDocument = false;
    bool blocked = false;

    bool Decide(HtmlView* q, const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame)
    {
        using Page = QWebEnginePage;
        if (type == Page::NavigationTypeLinkClicked)
            return q->navigationRequested ? q->navigationRequested(url) : false;
        if (type == Page::NavigationTypeFormSubmitted || type == Page::NavigationTypeBackForward)
            return false;
        // The view's own load, a reload of it, or the page's own moves
        // (refresh, redirect, frames) within the page folder.
        if (isMainFrame && url.adjusted(QUrl::RemoveFragment) == ownUrl)
            return true;
        if (IsFileInside(url, guard->Folder()))
            return true;
        // Frames of a page whose remote content the user asked to see.
        return !isMainFrame && IsWeb(url) && guard->RemoteAllowed();
    }

    void Load(bool allowRemote)
    {
        generation = guard->NewPage(allowRemote);
        blocked = false;
        hasDocument = false;
        bar->hide();
        busy = true;
        view->load(ownUrl);
    }
};

HtmlView::HtmlView(QWidget* parent) : QWidget(parent), d(new Private)
{
    setObjectName(QStringLiteral("DHTML"));

    // An off-the-record profile of its own: nothing is kept on disk and no
    // other view's state is shared.
    d->profile = new QWebEngineProfile(this);
    d->profile->setHttpCacheType(QWebEngineProfile::NoCache);
    d->profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    d->profile->setSpellCheckEnabled(false);
    d->guard = new PageRequestGuard(this);
    d->profile->setUrlRequestInterceptor(d->guard);
    QWebEngineSettings* settings = d->profile->settings();
    using S = QWebEngineSettings;
    for (const auto attribute : {S::JavascriptEnabled,
                                 S::JavascriptCanOpenWindows,
                                 S::JavascriptCanAccessClipboard,
                                 S::JavascriptCanPaste,
                                 S::PluginsEnabled,
                                 S::LocalStorageEnabled,
                                 S::HyperlinkAuditingEnabled,
                                 S::ErrorPageEnabled,
                                 S::FullScreenSupportEnabled,
                                 S::ScreenCaptureEnabled,
                                 S::WebGLEnabled,
                                 S::Accelerated2dCanvasEnabled,
                                 S::AutoLoadIconsForPage,
                                 S::TouchIconsEnabled,
                                 S::FocusOnNavigationEnabled,
                                 S::AllowRunningInsecureContent,
                                 S::AllowGeolocationOnInsecureOrigins,
                                 S::DnsPrefetchEnabled,
                                 S::PdfViewerEnabled,
                                 S::NavigateOnDropEnabled,
                                 S::AllowWindowActivationFromJavaScript,
                                 S::WebRTCPublicInterfacesOnly})
        settings->setAttribute(attribute, attribute == S::WebRTCPublicInterfacesOnly);
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
    // The engine's own rules for local pages are opened so that every load
    // reaches the guard: with them closed, remote loads of a local page fail
    // before any request exists (nothing to report, nothing the user could
    // allow) and the page's own pictures would not load. The guard lets
    // through only files of the page folder (and, when asked, remote
    // pictures, styles, fonts and frames).
    settings->setAttribute(S::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(S::LocalContentCanAccessFileUrls, true);

    d->view = new QWebEngineView(this);
    d->view->setObjectName(QStringLiteral("Engine"));
    d->page = new GuardedPage(
        d->profile,
        [this](const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) {
            return d->Decide(this, url, type, isMainFrame);
        },
        d->view);
    d->view->setPage(d->page);
    d->view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(d->view, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit contextMenuRequested(d->view->mapToGlobal(pos)); });
    // A link that asks for a new window is a click like any other; no
    // window is ever opened.
    connect(d->page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                if (navigationRequested)
                    navigationRequested(request.requestedUrl());
            });
    connect(d->view, &QWebEngineView::loadStarted, this, [this] { d->busy = true; });
    connect(d->view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        d->busy = false;
        // A refused navigation ends with a failed load too, while the page
        // stays: the document is there once this page loaded.
        // That one is not reported: the page shown has not changed.
        const bool refusedLater = !ok && d->loadedGeneration == d->generation;
        if (ok)
            d->loadedGeneration = d->generation;
        d->hasDocument = d->loadedGeneration == d->generation;
        if (!refusedLater)
            emit loadFinished(ok);
    });
    // Keys reach the page through the view's children (created by the
    // engine, sometimes later): watch each of them for Ctrl+C and Ctrl+A.
    d->view->installEventFilter(this);
    for (QObject* child : d->view->children())
        WatchChild(child);

    d->bar = new QFrame(this);
    d->bar->setObjectName(QStringLiteral("RemoteContentBar"));
    d->bar->setFrameShape(QFrame::StyledPanel);
    d->bar->setAutoFillBackground(true);
    auto* barLayout = new QHBoxLayout(d->bar);
    barLayout->setContentsMargins(6, 2, 6, 2);
    auto* barText = new QLabel(d->bar);
    barText->setObjectName(QStringLiteral("RemoteContentText"));
    auto* barButton = new QPushButton(d->bar);
    barButton->setObjectName(QStringLiteral("BShowRemoteContent"));
    barLayout->addWidget(barText, 1);
    barLayout->addWidget(barButton);
    connect(barButton, &QPushButton::clicked, this, &HtmlView::AllowRemoteContent);
    d->bar->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->bar);
    layout->addWidget(d->view, 1);

    popDHTML = new QMenu(this);
    popDHTML->setObjectName(QStringLiteral("popDHTML"));
    popDHTMLSelectAll = popDHTML->addAction(QString());
    popDHTMLSelectAll->setObjectName(QStringLiteral("popDHTMLSelectAll"));
    popDHTMLSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    popDHTMLCopyText = popDHTML->addAction(QString());
    popDHTMLCopyText->setObjectName(QStringLiteral("popDHTMLCopyText"));
    popDHTMLCopyText->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    popDHTMLCopyHTML = popDHTML->addAction(QString());
    popDHTMLCopyHTML->setObjectName(QStringLiteral("popDHTMLCopyHTML"));
    connect(popDHTMLSelectAll, &QAction::triggered, this, &HtmlView::SelectAll);
    connect(popDHTMLCopyText, &QAction::triggered, this, &HtmlView::CopySelectionText);
    connect(popDHTMLCopyHTML, &QAction::triggered, this, &HtmlView::CopySelectionHtml);
    SetTexts();
    UpdateMenu();
}

void HtmlView::SetTexts()
{
    d->bar->findChild<QLabel*>(QStringLiteral("RemoteContentText"))
        ->setText(TextOr("MSGVIEWFRAME", "RemoteContentBlocked",
                         "Pictures and styles from the Internet were blocked to protect your "
                         "privacy."));
    d->bar->findChild<QPushButton*>(QStringLiteral("BShowRemoteContent"))
        ->setText(TextOr("MSGVIEWFRAME", "ShowRemoteContent", "Show remote content"));
    // The details window's keys, wherever the view is.
    popDHTMLSelectAll->setText(TextOr("DETAILSWND", "popDHTMLSelectAll", "Select &all"));
    popDHTMLCopyText->setText(TextOr("DETAILSWND", "popDHTMLCopyText", "&Copy text"));
    popDHTMLCopyHTML->setText(TextOr("DETAILSWND", "popDHTMLCopyHTML", "Copy &HTML"));
}

void HtmlView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        SetTexts();
}

HtmlView::~HtmlView()
{
    // The page goes before its profile; the interceptor is unhooked first.
    d->profile->setUrlRequestInterceptor(nullptr);
    d->view->removeEventFilter(this);
    delete d->view; // owns the page
    delete d->profile;
    delete d;
}

void HtmlView::SetPageFolder(const QString& folder)
{
    d->guard->SetFolder(folder);
}

QString HtmlView::PageFolder() const
{
    return d->guard->Folder();
}

void HtmlView::Navigate(const QString& localFile)
{
    d->ownUrl = QUrl::fromLocalFile(localFile);
    d->Load(false);
}

void HtmlView::Stop()
{
    d->view->stop();
    d->busy = false;
}

bool HtmlView::Busy() const
{
    return d->busy;
}

bool HtmlView::HasDocument() const
{
    return d->hasDocument;
}

void HtmlView::SelectAll()
{
    d->page->triggerAction(QWebEnginePage::SelectAll);
}

void HtmlView::CopySelectionText()
{
    QApplication::clipboard()->setText(d->page->selectedText());
}

void HtmlView::CopySelectionHtml()
{
    d->page->runJavaScript(QString::fromLatin1(kSelectionHtmlScript),
                           QWebEngineScript::ApplicationWorld, [](const QVariant& result) {
                               if (result.isValid())
                                   QApplication::clipboard()->setText(result.toString());
                           });
}

bool HtmlView::HasSelection() const
{
    return d->page->hasSelection();
}

void HtmlView::Print()
{
    if (!d->hasDocument)
        return;
    // The printer lives until the engine has finished with it.
    auto* printer = new QPrinter(QPrinter::HighResolution);
    QPrintDialog dialog(printer, this);
    if (dialog.exec() != QDialog::Accepted) {
        delete printer;
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(d->view, &QWebEngineView::printFinished, this, [printer, connection] {
        QObject::disconnect(*connection);
        delete printer;
    });
    d->view->print(printer);
}

void HtmlView::UpdateMenu()
{
    const bool ready = !d->busy && d->hasDocument;
    const bool selection = ready && HasSelection();
    popDHTMLSelectAll->setEnabled(ready);
    popDHTMLCopyText->setEnabled(selection);
    popDHTMLCopyHTML->setEnabled(selection);
}

void HtmlView::PopUpMenu(const QPoint& globalPos)
{
    UpdateMenu();
    popDHTML->popup(globalPos);
}

bool HtmlView::RemoteContentBlocked() const
{
    return d->blocked;
}

bool HtmlView::RemoteContentAllowed() const
{
    return d->guard->RemoteAllowed();
}

void HtmlView::AllowRemoteContent()
{
    if (d->ownUrl.isEmpty())
        return;
    d->Load(true);
}

QWebEngineView* HtmlView::Engine() const
{
    return d->view;
}

void HtmlView::OnBlocked(quint64 generation)
{
    if (generation != d->generation || d->blocked)
        return;
    d->blocked = true;
    d->bar->show();
    emit remoteContentBlocked();
}

void HtmlView::WatchChild(QObject* child)
{
    if (child->isWidgetType())
        child->installEventFilter(this);
}

bool HtmlView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == d->view && event->type() == QEvent::ChildAdded) {
        WatchChild(static_cast<QChildEvent*>(event)->child());
        return false;
    }
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QAction* action = nullptr;
    if (key->matches(QKeySequence::Copy))
        action = popDHTMLCopyText;
    else if (key->matches(QKeySequence::SelectAll))
        action = popDHTMLSelectAll;
    if (!action)
        return false;
    // Claimed here so that neither a shortcut nor the engine's own copy
    // (which would put rich text on the clipboard) takes the key.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        UpdateMenu();
        if (action->isEnabled())
            action->trigger();
    }
    return true;
}

} // namespace vm
