#include "TestUtil.h"

#include <QJsonDocument>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace vmtest {

QJsonObject ParseWithPython(const QByteArray& message)
{
    return ParseWithPythonScript(message, "parse_message.py");
}

QJsonObject ParseWithPythonScript(const QByteArray& message, const char* script)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(message);
    file.flush();
    QProcess py;
    py.start(QStringLiteral("python3"),
             {QStringLiteral(VELMORA_SOURCE_DIR "/tests/send/") + QLatin1String(script),
              file.fileName()});
    EXPECT_TRUE(py.waitForFinished(30000));
    const QByteArray err = py.readAllStandardError();
    EXPECT_EQ(py.exitCode(), 0) << err.constData();
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(py.readAllStandardOutput(), &perr);
    EXPECT_EQ(perr.error, QJsonParseError::NoError) << err.constData();
    return doc.object();
}

QByteArray Encode(const QString& text, const char* charset)
{
    QStringEncoder enc(charset);
    EXPECT_TRUE(enc.isValid()) << charset;
    QByteArray out = enc.encode(text);
    EXPECT_FALSE(enc.hasError()) << charset;
    return out;
}

QList<QByteArray> Lines(const QByteArray& message)
{
    QList<QByteArray> lines = message.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r')) << "line without CR LF: " << l.constData();
        if (l.endsWith('\r'))
            l.chop(1);
    }
    return lines;
}

} // namespace vmtest
