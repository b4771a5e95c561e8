#include "app/cli/SendCommand.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "app/cli/CheckCommand.h"
#include "core/AppInfo.h"
#include "core/TempDir.h"
#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "net/TlsTrust.h"
#include "ops/CertificateFailures.h"
#include "platform/SingleInstance.h"
#include "send/ReplyMessage.h"
#include "send/SendWorker.h"
#include "send/SmtpClient.h"

namespace vm {

namespace {

struct SendArgs
{
    QString account;
    QList<EmailAddress> recipients;
    bool hasSubject = false;
    QString subject;
    bool hasBody = false;
    QString body;
    QString bodyFile;
    bool html = false;
    int charsetId = kCharsetUtf8;
    int priority = 2;
    bool receipt = false;
    QStringList attachments;
    int kind = ckNew; // --reply, --reply-all or --forward: the stored message it starts from
    QString uidl;
};

// Reads the arguments; an empty result means they are fine.
QString ParseSendArgs(const QStringList& args, SendArgs& out)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& opt = args[i];
        auto value = [&](QString& v) -> bool {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        QString v;
        if (opt == QLatin1String("--html")) {
            out.html = true;
        } else if (opt == QLatin1String("--receipt")) {
            out.receipt = true;
        } else if (opt == QLatin1String("--reply") || opt == QLatin1String("--reply-all") ||
                   opt == QLatin1String("--forward")) {
            if (out.kind != ckNew)
                return QStringLiteral("give one of --reply, --reply-all and --forward");
            if (i + 2 >= args.size())
                return QStringLiteral("%1 needs ACCOUNT UIDL").arg(opt);
            out.kind = opt == QLatin1String("--reply")       ? ckReply
                       : opt == QLatin1String("--reply-all") ? ckReplyToAll
                                                             : ckForward;
            if (!out.account.isEmpty())
                return QStringLiteral("give the account once, with --account or %1").arg(opt);
            out.account = args[++i];
            out.uidl = args[++i];
        } else if (!QStringList{"--account", "--to", "--cc", "--bcc", "--subject", "--body",
                                "--body-file", "--charset", "--priority", "--attach"}
                        .contains(opt)) {
            return QStringLiteral("unknown option for --send: %1").arg(opt);
        } else if (!value(v)) {
            return QStringLiteral("%1 needs a value").arg(opt);
        } else if (opt == QLatin1String("--account")) {
            if (!out.account.isEmpty())
                return QStringLiteral("give the account once");
            out.account = v;
        } else if (opt == QLatin1String("--to") || opt == QLatin1String("--cc") ||
                   opt == QLatin1String("--bcc")) {
            EmailAddress r;
            r.SetFullText(v);
            r.type = opt == QLatin1String("--to") ? 1 : opt == QLatin1String("--cc") ? 2 : 3;
            if (!IsSendableAddress(r.address.toUtf8()))
                return QStringLiteral("not a usable address for %1: %2").arg(opt, v);
            out.recipients.append(r);
        } else if (opt == QLatin1String("--subject")) {
            out.subject = v;
            out.hasSubject = true;
        } else if (opt == QLatin1String("--body")) {
            if (out.hasBody)
                return QStringLiteral("give the body once, with --body or --body-file");
            out.body = v;
            out.hasBody = true;
        } else if (opt == QLatin1String("--body-file")) {
            if (out.hasBody)
                return QStringLiteral("give the body once, with --body or --body-file");
            out.bodyFile = v;
            out.hasBody = true;
        } else if (opt == QLatin1String("--charset")) {
            out.charsetId = CharsetIdFromName(v);
            if (out.charsetId == 0)
                return QStringLiteral("unknown charset: %1").arg(v);
        } else if (opt == QLatin1String("--priority")) {
            bool ok = false;
            out.priority = v.toInt(&ok);
            if (!ok || out.priority < 0 || out.priority > 4)
                return QStringLiteral("--priority takes 0 (highest) to 4 (lowest)");
        } else if (opt == QLatin1String("--attach")) {
            out.attachments.append(v);
        }
    }
    if (out.account.isEmpty())
        return QStringLiteral("--send needs --account ACCOUNT");
    bool anyTo = false;
    for (const EmailAddress& r : out.recipients)
        anyTo = anyTo || r.type == 1;
    // A reply is addressed by the message it answers; the subject and the
    // body (the quoted original) come from it too.
    if (out.kind == ckReply || out.kind == ckReplyToAll)
        anyTo = true;
    if (!anyTo)
        return QStringLiteral("--send needs at least one --to ADDR");
    if (out.kind != ckNew) {
        if (out.html)
            return QStringLiteral("--html cannot be combined with --reply, --reply-all or "
                                  "--forward: the original is quoted as plain text");
        return {};
    }
    if (!out.hasSubject)
        return QStringLiteral("--send needs --subject TEXT");
    if (!out.hasBody)
        return QStringLiteral("--send needs --body TEXT or --body-file FILE");
    return {};
}

// How to trust a refused certificate without a display: the line the
// certificate window would write into the trust file.
QString CertificateTrustHint(const CertificateFailure& failure)
{
    const QString entry =
        QStringLiteral("%1:%2").arg(failure.host.trimmed().toLower()).arg(failure.port);
    return QStringLiteral("to trust exactly this certificate for %1, add the line \"%1 = %2\" "
                          "to the [Certificates] section of %3, or choose Trust in the "
                          "certificate window of Velmora")
        .arg(entry, failure.fingerprint, TrustFilePath());
}

} // namespace

int RunSendCommand(const QStringList& args)
{
    using namespace cli;
    SendArgs a;
    const QString usage = ParseSendArgs(args, a);
    if (!usage.isEmpty()) {
        Err(usage);
        return kExitUsage;
    }
    if (!a.bodyFile.isEmpty()) {
        QFile f(a.bodyFile);
        if (!f.open(QIODevice::ReadOnly)) {
            Err(QStringLiteral("cannot read %1: %2").arg(a.bodyFile, f.errorString()));
            return kExitUsage;
        }
        a.body = QString::fromUtf8(f.readAll());
    }
    const ConvertedTexts converted = ConvertForSending(a.subject, a.body, a.charsetId);
    if (!converted.lossless) {
        Err(QStringLiteral("the subject or the body holds characters that %1 cannot represent; "
                           "choose another charset (UTF-8 holds every character)")
                .arg(CharsetName(a.charsetId)));
        return kExitUsage;
    }

    int rc = kExitOk;
    MailAccount* account = LoadAccount(a.account, rc);
    if (!account)
        return rc;
    if (!account->HasSmtpSettings()) {
        Err(QStringLiteral("account %1 has no SMTP settings (SMTP server, SMTP login and From "
                           "address are needed)")
                .arg(DisplayName(*account)));
        return kExitFailed;
    }

    SendRequest request;
    request.account = account;
    request.subject = a.subject;
    request.body = a.body;
    request.html = a.html;
    request.charsetId = a.charsetId;
    request.recipients = a.recipients;
    request.priority = a.priority;
    request.receipt = a.receipt;
    request.includeAttachments = true;
    for (const QString& path : a.attachments)
        request.attachments.append({path, false});

    // A reply or forward: the message the windows prepare from the stored
    // one, with the user's text above the quote and the user's recipients
    // and files added.
    const QString base = TempDirPath();
    QTemporaryDir extracted((base.isEmpty() ? QDir::tempPath() : base) +
                            QStringLiteral("/extract-XXXXXX"));
    if (a.kind != ckNew) {
        const MessageRecord* original = FindMessage(*account, a.uidl);
        if (!original)
            return kExitUsage;
        if (!WholeMessageHeld(*original))
            return kExitFailed;
        const PreparedMessage p =
            PrepareMessage(original, account->FromAddress(), a.kind,
                           extracted.isValid() ? extracted.path() : QString());
        if (!p.failedAttachments.isEmpty()) {
            for (const QString& name : p.failedAttachments)
                Err(QStringLiteral("cannot extract the attachment %1 of the original message; "
                                   "nothing was sent")
                        .arg(name));
            return kExitFailed;
        }
        if (!a.hasSubject)
            request.subject = p.data.subject;
        QString own = request.body;
        while (own.endsWith(QLatin1Char('\n')) || own.endsWith(QLatin1Char('\r')))
            own.chop(1);
        const QString quote = p.data.bodyLines.join(QLatin1Char('\n'));
        request.body = own.isEmpty() ? quote : own + QLatin1Char('\n') + quote;
        request.recipients = p.data.recipients + request.recipients;
        QList<SendAttachment> files;
        for (const QString& path : p.data.attachments)
            files.append({path, true});
        request.attachments = files + request.attachments;
        request.inReplyTo = p.data.inReplyTo;
        request.references = p.data.references;
        bool anyTo = false;
        for (const EmailAddress& r : request.recipients)
            anyTo = anyTo || r.type == 1;
        if (!anyTo) {
            Err(QStringLiteral("the message names nobody to reply to; add --to ADDR"));
            return kExitUsage;
        }
        if (!ConvertForSending(request.subject, request.body, a.charsetId).lossless) {
            Err(QStringLiteral("the original message holds characters that %1 cannot "
                               "represent; choose another charset (UTF-8 holds every character)")
                    .arg(CharsetName(a.charsetId)));
            return kExitUsage;
        }
    }
    if (account->SmtpAuthentication() && !ReadKeyringPasswords({account}, kSmtpSecret))
        return kExitFailed;
    PrepareNetworkCommand();

    // Ctrl+C and SIGTERM stop the running send like the window's Stop button.
    SmtpClient* running = nullptr;
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [&running] {
        if (StopRequested())
            StopSend(running);
    });
    watch.start();

    SendOptions options;
    options.showMessages = false;
    options.clientChanged = [&running](SmtpClient* c) { running = c; };
    const QByteArray refreshToken = account->RefreshToken();
    const SendOutcome out = SendComposedMessage(request, options);
    watch.stop();

    // A provider that handed out a new refresh token may not take the old
    // one again: it is stored, unless a window holds the files.
    if (account->RefreshToken() != refreshToken) {
        SingleInstance lock(AppInfo::Instance().ProgramDir());
        if (lock.TryAcquire())
            SaveAccount(*account);
    }

    if (out.sent) {
        Out(QString::fromUtf8(out.finalReply));
        return kExitOk;
    }
    if (out.failure == SendFailure::Cancelled && !account->UsesOAuth()) {
        Err(QStringLiteral("account %1 needs an SMTP password that is not stored, and without a "
                           "display it cannot be asked for; store it in the SMTP window")
                .arg(DisplayName(*account)));
        return kExitFailed;
    }
    Err(out.errorText.isEmpty() ? QStringLiteral("sending failed") : out.errorText);
    for (const CertificateFailure& f : CertificateFailures())
        Err(CertificateTrustHint(f));
    return out.failure == SendFailure::CannotAttach ? kExitUsage : kExitFailed;
}

} // namespace vm
