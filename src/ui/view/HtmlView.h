#pragma once
// The embedded HTML view used for message pages and the welcome page, on Qt
// WebEngine with a private off-the-record profile. The rest of the program
// talks only to this class: navigate to a local file, stop, busy, select all,
// the selection as text and as HTML, printing, and the decision on every
// navigation the page asks for. Interface thread only.
//
// Pages are local files of one folder (SetPageFolder). JavaScript and
// plug-ins are off, and every request for anything that is not a file of
// that folder is blocked before it leaves the machine, unless remote content
// was allowed for the page now shown (AllowRemoteContent; never scripts).
// When remote content was blocked, a slim bar above the page says so and
// offers to show it for this page only.

#include <QPoint>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QMenu;
class QAction;
class QWebEngineView;

namespace vm {

class HtmlView : public QWidget
{
    Q_OBJECT
public:
    explicit HtmlView(QWidget* parent = nullptr);
    ~HtmlView() override;

    // Only files inside this folder may be loaded by a page.
    void SetPageFolder(const QString& folder);
    QString PageFolder() const;
    // Loads a local file; returns at once (Busy() until it is loaded).
    // Remote content is blocked again for the new page.
    void Navigate(const QString& localFile);
    void Stop();
    bool Busy() const;
    bool HasDocument() const;

    void SelectAll();
    // Puts the selection on the clipboard as plain text: its text, or its
    // HTML source. The HTML arrives from the page a moment later.
    void CopySelectionText();
    void CopySelectionHtml();
    bool HasSelection() const;
    // The system print dialog, then the page printed.
    void Print();

    // Every navigation that is not the view's own loading of the page and
    // is a click (a link, also one that asks for a new window) asks this;
    // true lets it go ahead. Unset: nothing goes ahead. Navigations the page
    // starts by itself (refresh, redirects, frames) go ahead only inside the
    // page folder.
    std::function<bool(const QUrl& target)> navigationRequested;

    // The pop-up menu "popDHTML" with popDHTMLSelectAll (Ctrl+A),
    // popDHTMLCopyText (Ctrl+C) and popDHTMLCopyHTML. The view's own context
    // menu is never shown; a right click on the page emits
    // contextMenuRequested and the owner decides (shows this menu, or
    // nothing). Ctrl+C and Ctrl+A in the page trigger the items (after
    // UpdateMenu, only when enabled).
    QMenu* popDHTML = nullptr;
    QAction* popDHTMLSelectAll = nullptr;
    QAction* popDHTMLCopyText = nullptr;
    QAction* popDHTMLCopyHTML = nullptr;
    // Enables the menu items by the view's state (before the menu pops up):
    // no document or busy: all off; the copy items only with a selection.
    void UpdateMenu();
    // UpdateMenu, then the menu at a global position.
    void PopUpMenu(const QPoint& globalPos);

    // Remote content of the page shown now was blocked.
    bool RemoteContentBlocked() const;
    bool RemoteContentAllowed() const;
    // Loads the page shown now again with remote pictures, style sheets,
    // fonts and frames allowed (scripts stay off); the next Navigate blocks
    // again.
    void AllowRemoteContent();

    // The engine's view, for tests and focus handling.
    QWebEngineView* Engine() const;

signals:
    void loadFinished(bool ok);
    // Emitted once per page, the first time something remote is blocked.
    void remoteContentBlocked();
    void contextMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A language change sets the bar's and the menu's texts again.
    void changeEvent(QEvent* event) override;

private:
    friend class PageRequestGuard;
    struct Private;
    Private* d = nullptr;
    void OnBlocked(quint64 generation);
    void WatchChild(QObject* child);
    // The texts of the remote-content bar and of the menu, from the language.
    void SetTexts();
};

} // namespace vm
