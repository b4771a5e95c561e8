#include "send/MailClientHandoff.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "mime/SafeFileName.h"

namespace vm {

int XdgEmailRun::running_ = 0;

namespace {

QString OneLine(const QString& s)
{
    QString out = s;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar& c : out)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return out;
}

bool PassablePath(const QString& path)
{
    if (!QFileInfo(path).isAbsolute())
        return false;
    for (QChar c : path)
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char(',') ||
            c == QLatin1Char('%') || c == QLatin1Char('\\') ||
            c.category() == QChar::Other_Control)
            return false;
    return true;
}

// Percent-encoding of a link's field value (RFC 6068): everything but
// letters, digits and "-._~", as UTF-8.
QString Encoded(const QString& text, const QByteArray& keep = {})
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

QString MailtoLink(const QStringList& to, const QString& subject, const QString& body)
{
    QStringList addresses;
    for (const QString& a : to)
        addresses.append(Encoded(a, "@"));
    QStringList fields;
    const QString oneLine = OneLine(subject);
    if (!oneLine.isEmpty())
        fields.append(QStringLiteral("subject=") + Encoded(oneLine));
    if (!body.isEmpty()) {
        QString text = body;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        fields.append(QStringLiteral("body=") + Encoded(text));
    }
    QString link = QStringLiteral("mailto:") + addresses.join(QLatin1Char(','));
    if (!fields.isEmpty())
        link += QLatin1Char('?') + fields.join(QLatin1Char('&'));
    return link;
}

} // namespace

bool IsHandoffAddress(const QString& address)
{
    static const QString kAsciiAllowed = QStringLiteral(".!#$*+-/^_`{|}~");
    if (address.startsWith(QLatin1Char('-')) ||
        address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return false;
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == address.size() - 1 || address.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return false;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (i == at)
            continue;
        if (c.unicode() < 0x80) {
            if (!(c.isLetterOrNumber() || kAsciiAllowed.contains(c)))
                return false;
        } else if (!(c.isLetterOrNumber() || c.isMark())) {
            return false; // blanks, controls, formatting and other signs
        }
    }
    return true;
}

XdgEmailCall BuildXdgEmailCall(const HandoffMessage& message)
{
    XdgEmailCall call;
    call.arguments << QStringLiteral("--utf8");
    auto passable = [&call](const EmailAddress& r) {
        const QString address = r.address.trimmed();
        if (IsHandoffAddress(address))
            return true;
        call.refused << r.address;
        return false;
    };
    for (const EmailAddress& r : message.cc)
        if (passable(r))
            call.arguments << QStringLiteral("--cc") << r.address.trimmed();
    for (const EmailAddress& r : message.bcc)
        if (passable(r))
            call.arguments << QStringLiteral("--bcc") << r.address.trimmed();
    for (const QString& path : message.attachments) {
        if (PassablePath(path))
            call.arguments << QStringLiteral("--attach") << path;
        else
            call.refused << path;
    }
    QStringList to;
    for (const EmailAddress& r : message.to)
        if (passable(r))
            to << r.address.trimmed();
    call.arguments << MailtoLink(to, message.subject, message.body);
    return call;
}

QString HandoffCacheDir()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/velmora/handoff");
}

QString StageHandoffAttachment(const QString& sourcePath, const QString& wantedName)
{
    const QString root = HandoffCacheDir();
    if (!QDir().mkpath(root))
        return {};
    QFile::setPermissions(root,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Files of earlier hand-offs are kept a week for clients that open them late.
    const QDateTime limit = QDateTime::currentDateTimeUtc().addDays(-7);
    const QFileInfoList old = QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : old)
        if (fi.lastModified().toUTC() < limit)
            QDir(fi.absoluteFilePath()).removeRecursively();

    QString name = SafeFileName(wantedName);
    for (QChar& c : name)
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char(',') ||
            c == QLatin1Char('%'))
            c = QLatin1Char('_');
    if (name.isEmpty())
        name = QStringLiteral("attachment");
    QTemporaryDir dir(root + QStringLiteral("/XXXXXX"));
    if (!dir.isValid())
        return {};
    dir.setAutoRemove(false);
    const QString target = dir.path() + QLatin1Char('/') + name;
    if (!PassablePath(target) || !QFile::copy(sourcePath, target)) {
        dir.remove();
        return {};
    }
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return target;
}

XdgEmailRun::XdgEmailRun(QObject* parent) : QObject(parent)
{
}

XdgEmailRun::~XdgEmailRun()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        // The client may live on; only the link to it ends here.
        process_->disconnect(this);
        if (!reported_)
            --running_;
        process_->setParent(nullptr);
        connect(process_, &QProcess::finished, process_, &QObject::deleteLater);
    }
}

bool XdgEmailRun::Running() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

bool XdgEmailRun::AnyRunning()
{
    return running_ > 0;
}

void XdgEmailRun::Start(const QStringList& arguments)
{
    if (Running())
        return;
    reported_ = false;
    delete process_;
    process_ = new QProcess(this);
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->setStandardInputFile(QProcess::nullDevice());
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit)
            Done(-1, QStringLiteral("xdg-email ended abnormally"));
        else
            Done(code, code == 0 ? QString()
                                 : QStringLiteral("xdg-email ended with exit status %1").arg(code));
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            Done(-1, QStringLiteral("xdg-email cannot be started (is xdg-utils installed?)"));
    });
    ++running_;
    process_->start(QStringLiteral("xdg-email"), arguments);
}

void XdgEmailRun::Done(int code, const QString& problem)
{
    if (reported_)
        return;
    reported_ = true;
    --running_;
    emit finished(code, problem);
}

} // namespace vm
