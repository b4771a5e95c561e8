#include "platform/Autostart.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>

namespace vm {


QString AutostartDirectory()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    // Relative values are invalid by the base directory rules and are ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/autostart"));
}

QString AutostartFilePath()
{
    return AutostartDirectory() + QStringLiteral("/velmora.desktop");
}

namespace {

// One argument of an Exec line in double quotes.
QString QuotedArgument(const QString& argument)
{
    // Inside double quotes the characters " ` $ and \ are escaped with a
    // backslash; the value as a whole then goes through the string escaping
    // of desktop entries, which doubles every backslash again. A percent
    // sign would start a field code and is doubled.
    QString quoted;
    for (const QChar c : argument) {
        if (c == '"' || c == '`' || c == '$')
            quoted += QStringLiteral("\\\\") + c;
        else if (c == '\\')
            quoted += QStringLiteral("\\\\\\\\");
        else if (c == '%')
            quoted += QStringLiteral("%%");
        else if (c == '\n' || c == '\r')
            quoted += ' '; // a line break would end the entry's line
        else
            quoted += c;
    }
    return '"' + quoted + '"';
}

} // namespace

QString AutostartExecLine(const QString& executablePath, const QString& dataDir)
{
    QString line = QuotedArgument(executablePath) + QStringLiteral(" -startup");
    if (!dataDir.isEmpty())
        line += QStringLiteral(" --data-dir ") + QuotedArgument(dataDir);
    return line;
}

QByteArray AutostartDesktopEntry(const QString& executablePath, const QString& dataDir)
{
    QByteArray out;
    out += "[Desktop Entry]\n";
    out += "Type=Application\n";
    out += "Name=Velmora\n";
    out += "Comment=POP3 mail checker\n";
    out += "Exec=" + AutostartExecLine(executablePath, dataDir).toUtf8() + "\n";
    out += "Terminal=false\n";
    out += "X-GNOME-Autostart-enabled=true\n";
    return out;
}

bool SetRunOnStartup(bool enabled, const QString& executablePath, const QString& dataDir)
{
    const QString path = AutostartFilePath();
    if (!enabled) {
        if (!QFile::exists(path))
            return true;
        return QFile::remove(path);
    }
    if (!QDir().mkpath(AutostartDirectory()))
        return false;
    return WriteFileAtomically(path, AutostartDesktopEntry(executablePath, dataDir));
}

} // namespace vm
