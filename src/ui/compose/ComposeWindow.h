#pragma once
// The compose window: sender, recipients, subject, priority, receipt,
// charset, a formatted or plain body and attachments, checked and sent
// through the send worker. Any number may be open at once; each is a
// top-level window of its own. Split by the window's parts:
// ComposeWindow.cpp (frame, opening, sending, closing), ComposeEditor.cpp
// (the two editors and the formatting tool bar), ComposeAttachments.cpp
// (the attachment list and the window's private folder).

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

#include "send/MessageData.h"
#include "ui/common/TranslatedWindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTemporaryDir;
class QTextCharFormat;
class QTextCursor;
class QTextEdit;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vm {

class AddressInput;
class CharsetEncodingFrame;
class MailAccount;
class SmtpClient;
class StatusChannel;

class ComposeWindow : public QWidget, public TranslationHooks
{
    Q_OBJECT
public:
    // Creates, initialises and shows a window; it deletes itself when closed.
    static ComposeWindow* Open(const MessageData& data, MailAccount* account);
    // The open windows, oldest first.
    static QList<ComposeWindow*> OpenWindows();
    // Asks every open window to close (each may ask the user); true when
    // all closed.
    static bool CloseAll();

    ComposeWindow();
    ~ComposeWindow() override;

    void Initialise(const MessageData& data, MailAccount* account);

    // The send command (BSend): checks, then sends on the worker.
    void Send();
    bool Sending() const { return sending_; }
    // The account that sends; nullptr once it has been removed.
    MailAccount* Account() const;
    bool Formatted() const { return formatted_; }
    // The body as it goes out: the HTML document or the plain text.
    QString BodyForSending();

    // Attachment list entries: path and whether the window deletes the file.
    struct Attachment
    {
        QString path;
        bool temporary = false;
    };
    QList<Attachment> Attachments() const;
    void AddAttachments(const QStringList& paths);
    // The folder of this composition's own files (created on first use).
    QString PrivateFolder();
    // Size column text: bytes / 1024 rounded half up, then "KB".
    static QString SizeText(qint64 bytes);

    void AfterTranslation() override;
    // Marks misspelled words again (after a word was added).
    void RehighlightSpelling();

    // ---- controls, named as in the language file ---------------------------
    QWidget* PTop = nullptr;
    QLabel* LSender = nullptr;
    QComboBox* CBSender = nullptr;
    AddressInput* AddressInputFrame = nullptr;
    QSplitter* Splitter = nullptr;
    QWidget* PMiddle = nullptr;
    QWidget* PSubject = nullptr;
    QLabel* LSubject = nullptr;
    QLineEdit* ESubject = nullptr;
    QLabel* LPriority = nullptr;
    QComboBox* CBPriority = nullptr;
    QCheckBox* CBReceipt = nullptr;
    QLabel* LEncoding = nullptr;
    CharsetEncodingFrame* EncodingFrame = nullptr;
    QComboBox* CBEditorMode = nullptr;
    QFontComboBox* CBFont = nullptr;
    QComboBox* CBFontSize = nullptr;
    QToolBar* ToolBar = nullptr;
    QToolButton* SBBold = nullptr;
    QToolButton* SBItalic = nullptr;
    QToolButton* SBUnderline = nullptr;
    QToolButton* SBStrike = nullptr;
    QToolButton* SBFontUp = nullptr;
    QToolButton* SBFontDown = nullptr;
    QToolButton* SBColor = nullptr;
    QToolButton* SBLeftAlign = nullptr;
    QToolButton* SBCenter = nullptr;
    QToolButton* SBRightAlign = nullptr;
    QToolButton* SBBullets = nullptr;
    QWidget* PEditor = nullptr;
    QTextEdit* RichEditor = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QWidget* PBottom = nullptr;
    QPushButton* BSend = nullptr;
    QPushButton* BCancel = nullptr;
    QCheckBox* CBAttachments = nullptr;
    QToolButton* BAdd = nullptr;
    QToolButton* BDelete = nullptr;
    QTreeWidget* LAttachments = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusText = nullptr;
    QAction* AOpenAttachment = nullptr;
    QAction* AAddAttachment = nullptr;
    QAction* ADeleteAttachment = nullptr;
    QMenu* popAttachment = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Files dropped on the editors become attachments too.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ComposeWindow.cpp
    void BuildTop();
    void BuildMiddle();
    void BuildBottom();
    void FillSenders();
    void SenderChanged();
    // "New message from %s", or the reply's or forward's caption.
    QString Caption() const;
    void CheckAccount();
    void SetSending(bool sending);
    void SetStatus(const QString& text);
    void UpdateSendEnabled();
    void SaveRecipients();
    void CancelClick();

    // ComposeEditor.cpp
    void BuildToolBar();
    void SetMode(bool formatted);
    void UpdateFormattingEnabled();
    void RefreshToolBar();
    void MergeFormat(const QTextCharFormat& format);
    void ApplyFontBoxes(bool name, bool size);
    void ChangeSelectedSizes(int delta);
    void SetAlignment(Qt::Alignment alignment);
    void SetBullets(bool on);
    void ChooseColor();
    // Ctrl+B/I/U, Ctrl+L/E/R and Ctrl with keypad +/- in the formatted
    // editor; true when the key was used (or is swallowed).
    bool EditorKey(QKeyEvent* event);
    // The editors' context menu: suggestions and "add" for a misspelled
    // word under the click, then the shared edit commands.
    void ShowEditorMenu(QWidget* editor, const QTextCursor& at, const QPoint& globalPos);

    // ComposeAttachments.cpp
    void BuildAttachments();
    void ShowAttachments(bool shown);
    void UpdateAttachmentActions();
    void DeleteSelectedAttachments();
    void OpenSelectedAttachment();
    void ChooseAttachments();
    void AddAttachmentEntry(const Attachment& attachment, const QString& sizeText);
    QString AdoptTemporaryFile(const QString& path);
    void DeleteTemporaryFiles();
    void LayoutAttachmentColumns();
    static QStringList DroppedFiles(const QMimeData* data);

    MailAccount* account_ = nullptr;
    std::weak_ptr<const void> accountAlive_;
    bool accountGone_ = false;
    QList<std::weak_ptr<const void>> senderAlive_; // per CBSender entry
    bool formatted_ = false;
    bool sending_ = false;
    bool closingAsSent_ = false;
    bool updatingEditor_ = false;
    SmtpClient* client_ = nullptr; // the running send's client
    StatusChannel* status_ = nullptr;
    std::unique_ptr<QTemporaryDir> privateFolder_;
    int kind_ = 3;          // ComposeKind of the prepared message (the caption)
    QByteArray inReplyTo_; // threading of a reply, from the prepared message
    QByteArray references_;
};

} // namespace vm
