#include "ui/view/MessageView.h"

#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "core/TempDir.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "ops/ErrorList.h"
#include "render/MessagePage.h"
#include "ui/main/MessageListModel.h"
#include "ui/common/FixedPitchFont.h"
#include "ui/view/HtmlView.h"

namespace vm {

namespace {

// Sets the text box's text with one alignment and weight for all of it.
void SetBoxText(QPlainTextEdit* box, const QString& text, Qt::Alignment alignment, bool bold)
{
    QTextDocument* doc = box->document();
    QTextOption option = doc->defaultTextOption();
    option.setAlignment(alignment);
    doc->setDefaultTextOption(option);
    box->clear();
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    QTextCursor cursor(doc);
    cursor.insertText(text, format);
    box->moveCursor(QTextCursor::Start);
}

} // namespace

MessageView::MessageView(const QString& pageFileName, QWidget* parent)
    : QWidget(parent), pageFileName_(pageFileName)
{
    setObjectName(QStringLiteral("MsgViewFrame"));
    const QString folder = TempDirPath();
    writer_ = std::make_unique<MessagePageWriter>(folder, pageFileName);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    DHTML = new HtmlView(this);
    DHTML->SetPageFolder(folder);
    DHTML->navigationRequested = [this](const QUrl& target) { return LinkClicked(target); };
    connect(DHTML, &HtmlView::contextMenuRequested, DHTML, &HtmlView::PopUpMenu);
    connect(DHTML, &HtmlView::loadFinished, this, &MessageView::pageLoaded);

    TextBox = new QPlainTextEdit(this);
    TextBox->setObjectName(QStringLiteral("TextBox"));
    TextBox->setReadOnly(true);
    TextBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    TextBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextBox->setFont(FixedPitchFont(10));
    QPalette palette = TextBox->palette();
    palette.setColor(QPalette::Text, QColor(0x00, 0x00, 0x80)); // navy
    TextBox->setPalette(palette);
    TextBox->setVisible(false);
    layout->addWidget(DHTML);
    layout->addWidget(TextBox);

    openExternal = [](const QUrl& url) { OpenExternalDefault(url); };
}

MessageView::~MessageView() = default; // the writer deletes its files

QString MessageView::PageFilePath() const
{
    return writer_->PageFilePath();
}

void MessageView::ShowHtml(bool html)
{
    DHTML->setVisible(html);
    TextBox->setVisible(!html);
}

void MessageView::RenderMessage(MessageRecord* message, MailAccount* account)
{
    account_ = account;
    if (!message || !account)
        return;
    if (DHTML->Busy())
        DHTML->Stop();
    PageOptions options;
    options.htmlPreview = AppSettings().DHTMLPreview;
    options.graphicsPreview = AppSettings().GraphicsPreview;
    // The writer deletes the previous page's files first; the record is not
    // used after this call.
    const RenderedPage page = writer_->Render(*message, options);
    if (!page.html) {
        SetBoxText(TextBox, page.plainText, Qt::AlignLeft, false);
        ShowHtml(false);
        return;
    }
    if (!page.written)
        return; // the view keeps what it showed
    ShowHtml(true);
    DHTML->Navigate(writer_->PageFilePath());
}

void MessageView::ShowNotice()
{
    ShowNotice(TextOr("MSGVIEWFRAME", "MsgViewInaccessible", "View inaccessible"));
}

QList<QPair<QString, QString>> MessageView::HeaderFields(const MessageRecord& m)
{
    const auto label = [](const char* key, const char* english) {
        return TextOr("MSGVIEWFRAME", key, english);
    };
    const auto addresses = [](int count, const auto& name, const auto& address) {
        QStringList list;
        for (int i = 0; i < count; ++i) {
            const QString n = name(i);
            const QString a = QString::fromUtf8(address(i));
            list.append(n.isEmpty() || n == a ? a : n + QStringLiteral(" <") + a + '>');
        }
        return list.join(QStringLiteral(", "));
    };
    QList<QPair<QString, QString>> fields;
    fields.append({label("HeaderFrom", "From:"), m.FromText()});
    const QString to = addresses(
        m.ToCount(), [&m](int i) { return m.ToName(i); }, [&m](int i) { return m.ToAddress(i); });
    if (!to.isEmpty())
        fields.append({label("HeaderTo", "To:"), to});
    const QString cc = addresses(
        m.CcCount(), [&m](int i) { return m.CcName(i); }, [&m](int i) { return m.CcAddress(i); });
    if (!cc.isEmpty())
        fields.append({label("HeaderCc", "Cc:"), cc});
    fields.append({label("HeaderSubject", "Subject:"), m.Subject()});
    fields.append({label("HeaderDate", "Date:"), MessageDateText(m.Date)});
    fields.append({label("HeaderSize", "Size:"), MessageSizeText(m.size)});
    return fields;
}

QString MessageView::HeadersOnlyNote()
{
    // The list's command, as its menu names it, and its key.
    QString command = TextOr("MAINWND", "popListRetrieveWhole", "Retrieve &whole");
    command.remove(QLatin1Char('&'));
    const QString key = QKeySequence(Qt::CTRL | Qt::Key_D).toString(QKeySequence::NativeText);
    return TextOr("MSGVIEWFRAME", "HeadersOnlyNote",
                  "Only the headers of this message are held. Its text and attachments come "
                  "with \"%s\" (%s).",
                  {command, key});
}

void MessageView::ShowHeadersOnly(const MessageRecord& message)
{
    const QList<QPair<QString, QString>> fields = HeaderFields(message);
    const QString note = HeadersOnlyNote();
    if (!AppSettings().DHTMLPreview) {
        QString text;
        for (const auto& [label, value] : fields)
            text += label + ' ' + value + '\n';
        SetBoxText(TextBox, text + '\n' + note, Qt::AlignLeft, false);
        ShowHtml(false);
        return;
    }
    if (DHTML->Busy())
        DHTML->Stop();
    ShowHtml(true);
    if (writer_->WriteHeaderSummary(fields, note))
        DHTML->Navigate(writer_->PageFilePath());
}

void MessageView::ShowNotice(const QString& text)
{
    if (!AppSettings().DHTMLPreview) {
        SetBoxText(TextBox, QStringLiteral("\r\n") + text, Qt::AlignHCenter, true);
        ShowHtml(false);
        return;
    }
    if (DHTML->Busy())
        DHTML->Stop();
    ShowHtml(true);
    if (writer_->WriteNotice(text))
        DHTML->Navigate(writer_->PageFilePath());
}

void MessageView::DeletePageFiles()
{
    writer_->DeletePageFiles();
}

void MessageView::PrintPage()
{
    if (!DHTML->isHidden())
        DHTML->Print();
}

bool MessageView::LinkClicked(const QUrl& target)
{
    // Moves within the page itself (anchors) go ahead.
    if (target.isLocalFile() &&
        QDir::cleanPath(target.toLocalFile()) == QDir::cleanPath(writer_->PageFilePath()))
        return true;
    // A mail link never leaves as it stands: the program reads the fields
    // it takes from it and writes the message itself (composeTo).
    if (target.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0) {
        const QString text = target.toString();
        if (account_ && composeTo)
            composeTo(account_, text.mid(text.indexOf(QLatin1Char(':')) + 1));
        return false;
    }
    if (openExternal)
        openExternal(target);
    return false;
}

bool MessageView::MayOpenExternally(const QUrl& url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool MessageView::OpenExternalDefault(const QUrl& url)
{
    return MayOpenExternally(url) && QDesktopServices::openUrl(url);
}

} // namespace vm
