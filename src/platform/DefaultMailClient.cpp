#include "platform/DefaultMailClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace vm {

QString WebmailUrl(const QString& address)
{
    QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    if (!text.toLower().contains(QLatin1String("http")))
        text.prepend(QLatin1String("http://"));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return text;
}

namespace {

// The escapes of a desktop entry's string values: \s \n \t \r \\.
QString UnescapeValue(const QString& value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value.at(++i);
            if (n == QLatin1Char('s'))
                out += QLatin1Char(' ');
            else if (n == QLatin1Char('n'))
                out += QLatin1Char('\n');
            else if (n == QLatin1Char('t'))
                out += QLatin1Char('\t');
            else if (n == QLatin1Char('r'))
                out += QLatin1Char('\r');
            else if (n == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            else
                out += QLatin1Char('\\') + n; // kept for the Exec quoting rules
        } else {
            out += c;
        }
    }
    return out;
}

// Field codes inside one argument. An argument that was a lone %f/%u/...
// disappears; one code inside a longer argument is dropped from it.
void ExpandArgument(const QString& arg, bool quoted, const QString& name, const QString& icon,
                    const QString& entryPath, QStringList& out)
{
    if (!quoted && arg == QLatin1String("%i")) {
        if (!icon.isEmpty())
            out << QStringLiteral("--icon") << icon;
        return;
    }
    if (!quoted && arg.size() == 2 && arg.at(0) == QLatin1Char('%') &&
        QStringLiteral("fFuUdDnNvm").contains(arg.at(1)))
        return;
    QString result;
    for (int i = 0; i < arg.size(); ++i) {
        const QChar c = arg.at(i);
        if (c != QLatin1Char('%') || quoted || i + 1 >= arg.size()) {
            result += c;
            continue;
        }
        const QChar code = arg.at(++i);
        if (code == QLatin1Char('%'))
            result += QLatin1Char('%');
        else if (code == QLatin1Char('c'))
            result += name;
        else if (code == QLatin1Char('k'))
            result += entryPath;
        // every other code stands for nothing here
    }
    out << result;
}

} // namespace

QStringList SplitDesktopExec(const QString& exec, const QString& name, const QString& icon,
                             const QString& entryPath)
{
    const QString value = UnescapeValue(exec);
    QStringList out;
    QString cur;
    bool inArg = false;
    bool quoted = false;    // inside "..."
    bool wasQuoted = false; // the current argument had quotes
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < value.size() &&
                QStringLiteral("\"`$\\").contains(value.at(i + 1))) {
                cur += value.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cur += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArg)
                ExpandArgument(cur, wasQuoted, name, icon, entryPath, out);
            cur.clear();
            inArg = wasQuoted = false;
            continue;
        }
        inArg = true;
        if (c == QLatin1Char('"')) {
            quoted = wasQuoted = true;
            continue;
        }
        cur += c;
    }
    if (quoted)
        return {};
    if (inArg)
        ExpandArgument(cur, wasQuoted, name, icon, entryPath, out);
    return out;
}

namespace {

QStringList ApplicationFolders()
{
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders << home + QStringLiteral("/applications");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << d + QStringLiteral("/applications");
    return folders;
}

// The keys of the [Desktop Entry] group (unlocalised).
QHash<QString, QString> ReadDesktopEntry(const QString& path)
{
    QHash<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 1024 * 1024)
        return keys;
    bool inGroup = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || line.startsWith(QLatin1Char('#')) || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace

QString FindDesktopEntry(const QString& desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')) ||
        !desktopId.endsWith(QLatin1String(".desktop")))
        return {};
    for (const QString& folder : ApplicationFolders()) {
        // "kde4-kmail.desktop" may be "kde4/kmail.desktop": try every split.
        QString candidate = desktopId;
        for (;;) {
            const QString path = folder + QLatin1Char('/') + candidate;
            if (QFileInfo(path).isFile())
                return path;
            const int dash = candidate.indexOf(QLatin1Char('-'));
            if (dash < 0)
                break;
            candidate[dash] = QLatin1Char('/');
        }
    }
    return {};
}

MailClientCommand DefaultMailClientCommand()
{
    MailClientCommand cmd;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForStarted(5000)) {
        cmd.problem = QStringLiteral("xdg-mime cannot be started");
        return cmd;
    }
    if (!query.waitForFinished(10000)) {
        query.kill();
        query.waitForFinished(1000);
        cmd.problem = QStringLiteral("xdg-mime did not answer");
        return cmd;
    }
    const QString id = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (query.exitCode() != 0 || id.isEmpty()) {
        cmd.problem = QStringLiteral("no default mail client is set");
        return cmd;
    }
    const QString path = FindDesktopEntry(id);
    if (path.isEmpty()) {
        cmd.problem = QStringLiteral("the desktop entry %1 was not found").arg(id);
        return cmd;
    }
    const QHash<QString, QString> keys = ReadDesktopEntry(path);
    if (keys.value(QStringLiteral("Hidden")) == QLatin1String("true")) {
        cmd.problem = QStringLiteral("the desktop entry %1 is hidden").arg(id);
        return cmd;
    }
    cmd.argv =
        SplitDesktopExec(keys.value(QStringLiteral("Exec")), keys.value(QStringLiteral("Name")),
                         keys.value(QStringLiteral("Icon")), path);
    if (cmd.argv.isEmpty())
        cmd.problem = QStringLiteral("the desktop entry %1 has no usable Exec line").arg(id);
    return cmd;
}

bool StartDefaultMailClient(QString* problem)
{
    MailClientCommand cmd = DefaultMailClientCommand();
    if (cmd.argv.isEmpty()) {
        if (problem)
            *problem = cmd.problem;
        return false;
    }
    const QString program = cmd.argv.takeFirst();
    if (!QProcess::startDetached(program, cmd.argv)) {
        if (problem)
            *problem = QStringLiteral("%1 cannot be started").arg(program);
        return false;
    }
    return true;
}

} // namespace vm
