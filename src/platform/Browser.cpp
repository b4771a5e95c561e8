#include "platform/Browser.h"

#include <QProcess>

namespace vm {

QList<QStringList> BrowserCommands(const QString& browserVariable, const QString& address)
{
    QList<QStringList> commands;
    for (const QString& entry : browserVariable.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        QStringList argv = entry.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (argv.isEmpty())
            continue;
        bool placed = false;
        for (QString& arg : argv) {
            if (arg.contains(QLatin1String("%s"))) {
                arg.replace(QLatin1String("%s"), address);
                placed = true;
            }
        }
        if (!placed)
            argv.append(address);
        commands.append(argv);
    }
    if (commands.isEmpty())
        commands.append({QStringLiteral("xdg-open"), address});
    return commands;
}

bool OpenInBrowser(const QUrl& url)
{
    const QString address = QString::fromLatin1(url.toEncoded());
    for (QStringList argv : BrowserCommands(qEnvironmentVariable("BROWSER"), address)) {
        const QString program = argv.takeFirst();
        if (QProcess::startDetached(program, argv))
            return true;
    }
    return false;
}

} // namespace vm
