#include "app/cli/SendCommand.h"

#include <QFile>
#include <QTimer>

#include "app/cli/CheckCommand.h"
#include "mime/Charsets.h"
#include "model/MailAccount.h"
#include "net/TlsTrust.h"
#include "ops/CertificateFailures.h"
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
        } else if (!QStringList{"--account", "--to", "--cc", "--bcc", "--subject", "--body",
                                "--body-file", "--charset", "--priority", "--attach"}
                        .contains(opt)) {
            return QStringLiteral("unknown option for --send: %1").arg(opt);
        } else if (!value(v)) {
            return QStringLiteral("%1 needs a value").arg(opt);
        } else if (opt == QLatin1String("--account")) {
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
    if (!anyTo)
        return QStringLiteral("--send needs at least one --to ADDR");
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

    if (!LoadBasics())
        return kExitFailed;
    LoadMailboxes();
    MailAccount* account = FindAccount(a.account);
    if (!account)
        return kExitUsage;
    if (!account->HasSmtpSettings()) {
        Err(QStringLiteral("account %1 has no SMTP settings (SMTP server, SMTP login and From "
                           "address are needed)")
                .arg(DisplayName(*account)));
        return kExitFailed;
    }
    PrepareNetworkCommand();

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
    const SendOutcome out = SendComposedMessage(request, options);
    watch.stop();

    if (out.sent) {
        Out(QString::fromUtf8(out.finalReply));
        return kExitOk;
    }
    if (out.failure == SendFailure::Cancelled) {
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
