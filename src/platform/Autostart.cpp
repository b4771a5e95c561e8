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

QString AutostartExecLine(const QString& executablePath)
{
    // Inside double quotes the characters " ` $ and \ are escaped with a
    // backslash; the value as a whole then goes through the string escaping
    // of desktop entries, which doubles every backslash again. A percent
    // sign would start a field code and is doubled.
    QString quoted;
    for (const QChar c : executablePath) {
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
    return '"' + quoted + QStringLiteral("\" -startup");
}

QByteArray AutostartDesktopEntry(const QString& executablePath)
{
    QByteArray out;
    out += "[Desktop Entry]\n";
    out += "Type=Application\n";
    out += "Name=Velmora\n";
    out += "Comment=POP3 mail checker\n";
    out += "Exec=" + AutostartExecLine(executablePath).toUtf8() + "\n";
    out += "Terminal=false\n";
    out += "X-GNOME-Autostart-enabled=true\n";
    return out;
}

bool SetRunOnStartup(bool enabled, const QString& executablePath)
{
    const QString path = AutostartFilePath();
    if (!enabled) {
        if (!QFile::exists(path))
            return true;
        return QFile::remove(path);
    }
    if (!QDir().mkpath(AutostartDirectory()))
        return false;
    return WriteFileAtomically(path, AutostartDesktopEntry(executablePath));
}

} // namespace vm
