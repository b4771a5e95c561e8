#include "core/AppInfo.h"

#include <QDir>
#include <QStringList>

#include "core/StringTable.h"

namespace vm {

namespace {
AppInfo* g_app = nullptr;
QString g_dataDir;

QString WithDelimiter(QString dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}
} // namespace

void AppInfo::SetDataDir(const QString& dir)
{
    g_dataDir = dir;
    // The program sets it once before first use; a test that starts the
    // program twice in one process moves the existing object along.
    if (g_app)
        g_app->programDir_ = WithDelimiter(dir);
}

AppInfo& AppInfo::Instance()
{
    if (!g_app) // lives until the process ends
        g_app = new AppInfo(WithDelimiter(g_dataDir.isEmpty() ? QDir::currentPath() : g_dataDir));
    return *g_app;
}

AppInfo::AppInfo(const QString& programDir) : programDir_(programDir) {}

QString AppInfo::MakerWebSite() const
{
    return StringTable(kStrMakerWebSite);
}

QString AppInfo::MakerHomePage() const
{
    return StringTable(kStrMakerHomePage);
}

QString AppInfo::BareVersion()
{
    return QStringLiteral(VELMORA_VERSION);
}

QString AppInfo::FileVersion() const
{
    return BareVersion() + ' ' + StringTable(kStrLanguageCode);
}

QString AppInfo::ProductVersion() const
{
    return BareVersion() + ' ' + StringTable(kStrLanguageCode);
}

bool IsStartedBySystem(const QStringList& arguments)
{
    return arguments.size() > 1 && arguments.at(1).toLower() == QLatin1String("-startup");
}

} // namespace vm
