#include "ops/ErrorList.h"

#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "net/NetErrors.h"

#include <QMutex>
#include <QMutexLocker>

namespace vm {

namespace {
QMutex g_mutex;
QStringList g_lines;

QString FillArgs(QString text, const QStringList& args)
{
    qsizetype from = 0;
    for (const QString& arg : args) {
        const qsizetype at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, arg);
        from = at + arg.size();
    }
    return text;
}
} // namespace

QString TextOr(const char* section, const char* key, const char* english, const QStringList& args)
{
    // Formatted with its arguments: a text that takes some is empty when
    // looked up without them, which must not make it fall back to English.
    const QString text =
        LangFormat(QString::fromLatin1(section), QString::fromLatin1(key), args);
    if (!text.isEmpty())
        return text;
    return FillArgs(QString::fromUtf8(english).replace(QLatin1String("||"), QLatin1String("\n")),
                    args);
}

void ClearErrorList()
{
    QMutexLocker lock(&g_mutex);
    g_lines.clear();
}

void AppendErrorLine(const QString& line)
{
    QMutexLocker lock(&g_mutex);
    g_lines.append(line);
}

QStringList ErrorList()
{
    QMutexLocker lock(&g_mutex);
    return g_lines;
}

bool ErrorListEmpty()
{
    QMutexLocker lock(&g_mutex);
    return g_lines.isEmpty();
}

QString ErrorLine(const QString& accountName, const QString& className, const QString& message)
{
    QString line =
        TextOr("Error", "ErrorListItem", "Account: <%s> Exception class: %s with message \"%s\"",
               {accountName, className, message.trimmed()});
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

QString ErrorLine(const MailAccount& account, const std::exception& e)
{
    return ErrorLine(QString::fromUtf8(account.DisplayName()), ErrorClassName(e), ErrorMessage(e));
}

void AppendError(const MailAccount& account, const std::exception& e)
{
    AppendErrorLine(ErrorLine(account, e));
}

QString RemoteHostNoReplyText()
{
    return TextOr("Error", "RemoteHostNoReply",
                  "Remote host had not replied for a predefined time; connection closed.");
}

void AppendNoReplyError(const QString& accountName)
{
    const ConnectTimedOut e(RemoteHostNoReplyText());
    AppendErrorLine(ErrorLine(accountName, e.ClassName(), e.Message()));
}

} // namespace vm
