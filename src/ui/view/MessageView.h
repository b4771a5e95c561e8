#pragma once
// Shows one message: as a page in the HTML view (HTML preview on) or as
// plain text in a read-only text box (off), or a grey notice when the
// message's content is not available. One instance sits in the main
// window's preview pane (page file "message1.html"), one in the details
// window ("message2.html"), so the two never write the same file.
//
// The view keeps no message record after RenderMessage returns (a worker
// may delete records later); it keeps the account for clicked mail links.
// A right click on the page pops up the view's menu popDHTML.

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QPlainTextEdit;
class QUrl;

namespace vm {

class HtmlView;
class MailAccount;
class MessagePageWriter;
class MessageRecord;

class MessageView : public QWidget
{
    Q_OBJECT
public:
    explicit MessageView(const QString& pageFileName, QWidget* parent = nullptr);
    ~MessageView() override; // deletes its page files

    // Shows message, whose stored text the caller has parsed whole (and
    // releases after); account is the mailbox's account. Nothing is shown
    // while either is missing. HTML preview and the picture preview follow
    // the settings (DHTMLPreview, GraphicsPreview).
    void RenderMessage(MessageRecord* message, MailAccount* account);
    // "View inaccessible": the message's content is not available.
    void ShowNotice();
    // A grey notice with another text (nothing selected, several rows).
    void ShowNotice(const QString& text);
    // A message held as headers only: its chief header fields and a line
    // saying that its text is not held, with the command that fetches it
    // and the command's key.
    void ShowHeadersOnly(const MessageRecord& message);
    // The fields and the note ShowHeadersOnly shows.
    static QList<QPair<QString, QString>> HeaderFields(const MessageRecord& message);
    static QString HeadersOnlyNote();
    // Deletes the page file and the files saved beside it.
    void DeletePageFiles();
    // Prints the page when the HTML view is shown.
    void PrintPage();

    // The page file of this view (inside the private temporary folder).
    QString PageFilePath() const;
    // The decision on a clicked link of the page: true for a target within
    // the page file; otherwise the link is handed on (composeTo for mail
    // links, openExternal for the others) and false returned.
    bool LinkClicked(const QUrl& target);
    // True for the links that may leave the program: http and https with a
    // host, and mailto. Every other scheme (file:, javascript:, data:, ...)
    // is refused.
    static bool MayOpenExternally(const QUrl& url);
    // The default of openExternal: the desktop's handler, for the links
    // MayOpenExternally allows; false when nothing was opened.
    static bool OpenExternalDefault(const QUrl& url);

    HtmlView* DHTML = nullptr;
    QPlainTextEdit* TextBox = nullptr;

    // A clicked "mailto:" link (given without its "mailto:"): a new message
    // from the shown account, in a compose window or through the desktop's
    // mail client as the account sends. Without it, mail links do nothing.
    std::function<void(MailAccount* account, const QString& link)> composeTo;
    // Opens any other clicked link outside the program (default: the
    // desktop's handler for http and https; other schemes refused).
    std::function<void(const QUrl& url)> openExternal;

signals:
    // The page of the last rendering or notice finished loading.
    void pageLoaded(bool ok);

private:
    void ShowHtml(bool html);

    QString pageFileName_;
    std::unique_ptr<MessagePageWriter> writer_;
    MailAccount* account_ = nullptr;
};

} // namespace vm
