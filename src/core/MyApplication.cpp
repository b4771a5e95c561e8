#include "core/MyApplication.h"

#include <QDir>
#include <QStringList>

#include "core/StringTable.h"

namespace vm {

namespace {
MyApplication* g_app = nullptr;
QString g_dataDir;

QString WithDelimiter(QString dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}
} // namespace

void MyApplication::SetDataDir(const QString& dir)
{
    g_dataDir = dir;
    // The program sets it once before first use; a test that starts the
    // program twice in one process moves the existing object along.
    if (g_app)
        g_app->programDir_ = WithDelimiter(dir);
}

MyApplication& MyApplication::Instance()
{
    if (!g_app) // lives until the process ends
        g_app = new MyApplication(WithDelimiter(g_dataDir.isEmpty() ? QDir::currentPath() : g_dataDir));
    return *g_app;
}

MyApplication::MyApplication(const QString& programDir) : programDir_(programDir) {}

QString MyApplication::MakerWebSite() const
{
    return StringTable(kStrMakerWebSite);
}

QString MyApplication::MakerHomePage() const
{
    return StringTable(kStrMakerHomePage);
}

QString MyApplication::BareVersion()
{
    return QStringLiteral(VELMORA_VERSION);
}

QString MyApplication::FileVersion() const
{
    return BareVersion() + ' ' + StringTable(kStrLanguageCode);
}

QString MyApplication::ProductVersion() const
{
    return BareVersion() + ' ' + StringTable(kStrLanguageCode);
}

bool IsStartedBySystem(const QStringList& arguments)
{
    return arguments.size() > 1 && arguments.at(1).toLower() == QLatin1String("-startup");
}

} // namespace vm
