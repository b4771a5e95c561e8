#include "net/TlsTrust.h"

#include "core/AtomicFile.h"

#include "core/AppInfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QSslConfiguration>

#include <optional>

namespace vm {

namespace {

QMutex g_mutex;
std::optional<QList<QSslCertificate>> g_caOverride;
QString g_trustFile;

const char kSection[] = "[Certificates]";

QString EntryKey(const QString& host, quint16 port)
{
    return host.trimmed().toLower() + QLatin1Char(':') + QString::number(port);
}

// The file's lines, one (key, value) pair per entry; comments and section
// headers are skipped.
QList<QPair<QString, QString>> ReadEntries(const QString& path)
{
    QList<QPair<QString, QString>> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('[')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        entries.append({line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed()});
    }
    return entries;
}

} // namespace

QSsl::SslProtocol TlsProtocolForVersionIndex(int index)
{
    Q_UNUSED(index);
    return QSsl::TlsV1_2OrLater;
}

QString CertificateFingerprint(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return {};
    const QByteArray hex = certificate.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QString out;
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        if (i)
            out += QLatin1Char(':');
        out += QLatin1String(hex.mid(i, 2));
    }
    return out;
}

QString NormalizeFingerprint(const QString& text)
{
    QString hex;
    for (QChar c : text) {
        if (c == QLatin1Char(':') || c.isSpace())
            continue;
        if (!isxdigit(c.toLatin1()) || c.unicode() > 127)
            return {};
        hex += c.toUpper();
    }
    if (hex.size() != 64)
        return {};
    QString out;
    for (int i = 0; i < 64; i += 2) {
        if (i)
            out += QLatin1Char(':');
        out += hex.mid(i, 2);
    }
    return out;
}

QList<QSslCertificate> TrustedCaCertificates()
{
    QMutexLocker lock(&g_mutex);
    if (g_caOverride)
        return *g_caOverride;
    lock.unlock();
    return QSslConfiguration::systemCaCertificates();
}

void SetTrustedCaCertificates(const QList<QSslCertificate>& certificates)
{
    QMutexLocker lock(&g_mutex);
    g_caOverride = certificates;
}

void ResetTrustedCaCertificates()
{
    QMutexLocker lock(&g_mutex);
    g_caOverride.reset();
}

QString TrustFilePath()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_trustFile.isEmpty())
            return g_trustFile;
    }
    return AppInfo::Instance().ProgramDir() + QStringLiteral("certificates.ini");
}

void SetTrustFilePath(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_trustFile = path;
}

bool IsCertificateTrusted(const QString& host, quint16 port, const QString& fingerprint)
{
    const QString wanted = NormalizeFingerprint(fingerprint);
    if (wanted.isEmpty())
        return false;
    const QString key = EntryKey(host, port);
    const auto entries = ReadEntries(TrustFilePath());
    for (const auto& entry : entries) {
        if (entry.first == key && NormalizeFingerprint(entry.second) == wanted)
            return true;
    }
    return false;
}

QString TrustedFingerprint(const QString& host, quint16 port)
{
    const QString key = EntryKey(host, port);
    for (const auto& entry : ReadEntries(TrustFilePath())) {
        if (entry.first == key)
            return NormalizeFingerprint(entry.second);
    }
    return {};
}

bool AddTrustedCertificate(const QString& host, quint16 port, const QString& fingerprint)
{
    const QString value = NormalizeFingerprint(fingerprint);
    if (value.isEmpty() || host.trimmed().isEmpty())
        return false;
    const QString path = TrustFilePath();
    const QString key = EntryKey(host, port);
    QByteArray text = QByteArray(kSection) + '\n';
    for (const auto& entry : ReadEntries(path)) {
        if (entry.first != key)
            text += entry.first.toUtf8() + " = " + entry.second.toUtf8() + '\n';
    }
    text += key.toUtf8() + " = " + value.toUtf8() + '\n';
    return WriteFileAtomically(path, text);
}

} // namespace vm
