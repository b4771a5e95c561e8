#include "ui/compose/Composition.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/Messages.h"
#include "core/TempDir.h"
#include "core/TerminalText.h"
#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "send/MailClientHandoff.h"
#include "send/ReplyMessage.h"
#include "ui/compose/ComposeWindow.h"

namespace vm {

void OpenComposition(const MessageRecord* message, MailAccount* account, int kind)
{
    if (!account || kind < ckReply || kind > ckNew || (kind != ckNew && !message))
        return;
    // The original's files are extracted into a private folder for this one
    // composition; the compose window moves them into its own folder and the
    // hand-off copies them, so whatever is left goes with this folder.
    const QString base = TempDirPath();
    QTemporaryDir folder((base.isEmpty() ? QDir::tempPath() : base) +
                         QStringLiteral("/extract-XXXXXX"));
    PreparedMessage prepared;
    if (kind != ckNew)
        prepared = PrepareMessage(message, account->FromAddress(), kind,
                                  folder.isValid() ? folder.path() : QString());
    for (const QString& name : prepared.failedAttachments)
        ShowWarning(TextOr("SendMailWnd", "CannotExtract",
                           "The attachment %s of the original message could not be "
                           "extracted, so the new message does not carry it.",
                           {name}));
    prepared.data.kind = kind;
    if (account->SendViaThisProgram())
        ComposeWindow::Open(prepared.data, account);
    else
        HandOffToMailClient(prepared.data, kind);
}

void OpenMailtoLink(MailAccount* account, const QString& link)
{
    if (!account)
        return;
    const MessageData data = MessageFromMailto(link);
    if (account->SendViaThisProgram())
        ComposeWindow::Open(data, account);
    else
        HandOffToMailClient(data, ckNew);
}

void HandOffToMailClient(const MessageData& data, int kind)
{
    HandoffMessage m;
    for (const EmailAddress& r : data.recipients) {
        if (r.type == 1)
            m.to.append(r);
        else if (r.type == 2)
            m.cc.append(r);
        else if (r.type == 3)
            m.bcc.append(r);
    }
    m.subject = data.subject;
    m.body = data.bodyLines.join(QLatin1Char('\n'));
    QStringList notStaged;
    // Files extracted for a reply stay behind, as the mail client takes
    // only a forward's files.
    if (kind == ckForward) {
        for (const QString& path : data.attachments) {
            const QString staged = StageHandoffAttachment(path, QFileInfo(path).fileName());
            if (staged.isEmpty())
                notStaged.append(QFileInfo(path).fileName());
            else
                m.attachments.append(staged);
        }
    }
    const XdgEmailCall call = BuildXdgEmailCall(m);
    for (const QString& name : notStaged)
        ShowWarning(TextOr("SendMailWnd", "CannotAttach",
                           "Can't attach file %s. It either does not exist or is "
                           "inaccessible.",
                           {name}));
    if (!call.refused.isEmpty())
        ShowWarning(TextOr("SendMailWnd", "HandoffRefused",
                           "These were not passed to the mail client: %s",
                           {TerminalSafeText(call.refused.join(QStringLiteral("; ")))}));
    auto* run = new XdgEmailRun(QCoreApplication::instance());
    QObject::connect(run, &XdgEmailRun::finished, run, [run](int code, const QString&) {
        run->deleteLater();
        if (code != 0)
            ShowError(TextOr("MAINWND", "ErrorLaunchingDefaultClient",
                             "Can't start default mail client."));
    });
    run->Start(call.arguments);
}

} // namespace vm
