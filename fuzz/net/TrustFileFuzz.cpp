// Fuzzes the reader of the trusted certificate list with arbitrary bytes as
// "certificates.ini". Beyond the sanitizers it checks, for every
// "host:port" entry the input seems to hold and for a fixed host:
//  - a listed fingerprint is one the trust check accepts;
//  - adding an entry for another host rewrites the file without changing
//    what is listed for this one, and the added entry is then listed and
//    trusted.

#include <cstddef>
#include <cstdint>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "net/TlsTrust.h"

using namespace vm;

namespace {

const QString kFingerprint = QStringLiteral(
    "3A:7F:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:01:23:45:67:89:AB:CD:EF:10:32:54:"
    "76:98:C2");

struct HostPort
{
    QString host;
    quint16 port;
};

// The "host:port" keys of the input's entry lines, read loosely.
QList<HostPort> Keys(const QByteArray& bytes)
{
    QList<HostPort> keys{{QStringLiteral("mail.example.com"), 995}};
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QString key = QString::fromUtf8(line.left(eq)).trimmed();
        const qsizetype colon = key.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const uint port = key.mid(colon + 1).toUInt(&ok);
        if (colon > 0 && ok && port <= 65535 && keys.size() < 16)
            keys.append({key.left(colon), quint16(port)});
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // In memory where possible: every save syncs the file to disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/velmora-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    if (!dir.isValid())
        __builtin_trap();
    SetTrustFilePath(dir.filePath(QStringLiteral("certificates.ini")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(TrustFilePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            __builtin_trap();
    }
    const QList<HostPort> keys = Keys(bytes);
    QStringList listed;
    for (const HostPort& k : keys) {
        listed.append(TrustedFingerprint(k.host, k.port));
        if (!listed.constLast().isEmpty() &&
            (NormalizeFingerprint(listed.constLast()) != listed.constLast() ||
             !IsCertificateTrusted(k.host, k.port, listed.constLast())))
            __builtin_trap();
    }
    const QString other = QStringLiteral("added.example.org");
    if (!AddTrustedCertificate(other, 465, kFingerprint))
        __builtin_trap();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i].host.trimmed().compare(other, Qt::CaseInsensitive) == 0 && keys[i].port == 465)
            continue;
        if (TrustedFingerprint(keys[i].host, keys[i].port) != listed[i])
            __builtin_trap();
    }
    if (TrustedFingerprint(other, 465) != kFingerprint ||
        !IsCertificateTrusted(other, 465, kFingerprint.toLower().remove(QLatin1Char(':'))))
        __builtin_trap();
    return 0;
}
