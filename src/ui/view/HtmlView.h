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

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QMenu;
class QAction;

namespace vm {

class HtmlView : public QWidget
{
    Q_OBJECT
public:
    explicit HtmlView(QWidget* parent = nullptr);
    ~HtmlView() override;

    // Only files inside this folder may be loaded by a page.
    void SetPageFolder(const QString& folder);
    // Loads a local file; returns at once (Busy() until it is loaded).
    void Navigate(const QString& localFile);
    void Stop();
    bool Busy() const;
    bool HasDocument() const;

    void SelectAll();
    // Puts the selection on the clipboard as plain text: its text, or its
    // HTML source.
    void CopySelectionText();
    void CopySelectionHtml();
    bool HasSelection() const;
    // The system print dialog, then the page printed.
    void Print();

    // Every navigation that is not the view's own loading of the page asks
    // this; true lets it go ahead. Unset: nothing goes ahead.
    std::function<bool(const QUrl& target)> navigationRequested;

    // The pop-up menu "popDHTML" with popDHTMLSelectAll (Ctrl+A),
    // popDHTMLCopyText (Ctrl+C) and popDHTMLCopyHTML. The view's own context
    // menu is never shown; the owner shows this one on a right click.
    QMenu* popDHTML = nullptr;
    QAction* popDHTMLSelectAll = nullptr;
    QAction* popDHTMLCopyText = nullptr;
    QAction* popDHTMLCopyHTML = nullptr;
    // Enables the menu items by the view's state (before the menu pops up).
    void UpdateMenu();

    // Remote content of the page shown now was blocked.
    bool RemoteContentBlocked() const;
    // Loads the page shown now again with remote pictures, style sheets and
    // frames allowed (scripts stay off); the next Navigate blocks again.
    void AllowRemoteContent();

signals:
    void loadFinished(bool ok);
    void remoteContentBlocked();

private:
    struct Private;
    Private* d = nullptr;
};

} // namespace vm
