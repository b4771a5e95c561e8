#include "app/cli/ShowCommand.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/cli/CheckCommand.h"
#include "config/Settings.h"
#include "core/TempDir.h"
#include "core/TerminalText.h"
#include "mime/Addresses.h"
#include "mime/Charsets.h"
#include "mime/MessageRecord.h"
#include "render/MessagePage.h"

namespace vm {

namespace {

const char kUsage[] = "usage: velmora --show ACCOUNT UIDL [--html]";

// Text with its line breaks as LF only: a CR would reach the terminal as a
// control character otherwise.
QString WithLf(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

QString AddressList(const MessageRecord& m, bool cc)
{
    QStringList out;
    const int n = cc ? m.CcCount() : m.ToCount();
    for (int i = 0; i < n; ++i)
        out.append(cc ? AddressFullText(m.CcName(i), m.CcAddress(i))
                      : AddressFullText(m.ToName(i), m.ToAddress(i)));
    return out.join(QLatin1String(", "));
}

// One header line; line breaks inside a value become blanks.
void HeaderLine(const char* name, const QString& value)
{
    QString v = value;
    for (QChar& c : v)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    cli::Out(QLatin1String(name) + QLatin1String(": ") + v);
}

void PrintHeader(const MessageRecord& m)
{
    HeaderLine("From", m.FromText());
    HeaderLine("To", AddressList(m, false));
    if (m.CcCount() > 0)
        HeaderLine("Cc", AddressList(m, true));
    HeaderLine("Date", QString::fromUtf8(m.HeaderValue("date").trimmed()));
    HeaderLine("Subject", m.Subject());
}

void WriteStdout(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// The page for --html, rendered as the preview renders it into a folder of
// its own that is removed afterwards.
int PrintPage(const MessageRecord& m)
{
    const QString base = TempDirPath();
    std::unique_ptr<QTemporaryDir> made =
        base.isEmpty() ? std::make_unique<QTemporaryDir>()
                       : std::make_unique<QTemporaryDir>(base + QStringLiteral("/show-XXXXXX"));
    const QTemporaryDir& folder = *made;
    if (!folder.isValid()) {
        cli::Err(QStringLiteral("cannot create a temporary folder for the page"));
        return cli::kExitFailed;
    }
    QByteArray bytes;
    RenderedPage page;
    {
        MessagePageWriter writer(folder.path(), QStringLiteral("message1.html"));
        page = writer.Render(m, PageOptions{true, AppSettings().GraphicsPreview});
        QFile file(writer.PageFilePath());
        if (page.written && file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        else
            page.written = false;
    }
    if (!page.written) {
        cli::Err(QStringLiteral("cannot write the page into %1").arg(folder.path()));
        return cli::kExitFailed;
    }
    if (isatty(fileno(stdout)))
        WriteStdout(TerminalSafeText(WithLf(DecodeWithCharset(bytes, page.charset))).toUtf8());
    else
        WriteStdout(bytes);
    return cli::kExitOk;
}

} // namespace

int RunShowCommand(const QStringList& args)
{
    using namespace cli;
    QStringList names;
    bool html = false;
    bool unknownOption = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--html"))
            html = true;
        else if (a.startsWith(QLatin1String("--")))
            unknownOption = true;
        else
            names.append(a);
    }
    if (unknownOption || names.size() != 2) {
        Err(QString::fromLatin1(kUsage));
        return kExitUsage;
    }
    int rc = kExitOk;
    MessageRecord* m = LoadHeldMessage(names[0], names[1], rc);
    if (!m)
        return rc;
    if (m->HoldingState() == MessageRecord::Holding::Headers) {
        if (!m->parsed())
            m->ParseHeaders();
        for (const QByteArray& line : m->HeaderLines())
            Out(QString::fromUtf8(line));
    }
    if (!WholeMessageHeld(*m))
        return kExitFailed;

    // The parts are parsed once, for the header and the text together.
    m->ParseWhole();
    if (html)
        return PrintPage(*m);
    PrintHeader(*m);
    Out(QString());
    const RenderedPage text =
        MessagePageWriter(QString(), QString()).Render(*m, PageOptions{false, false});
    QString body = WithLf(text.plainText);
    if (!body.isEmpty())
        Out(body);
    return kExitOk;
}

} // namespace vm
