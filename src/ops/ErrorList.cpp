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
} // namespace

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
