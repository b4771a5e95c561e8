#include "core/MyApplication.h"

#include <QDir>
#include <QStringList>

#include "core/StringTable.h"

namespace vm {

namespace {
QString g_dataDir;
}

void MyApplication::SetDataDir(const QString& dir)
{
    g_dataDir = dir;
}

MyApplication& MyApplication::Instance()
{
    static MyApplication* app = nullptr;
    if (!app) {
        QString dir = g_dataDir.isEmpty() ? QDir::currentPath() : g_dataDir;
        if (!dir.endsWith('/'))
            dir += '/';
        app = new MyApplication(dir); // lives until the process ends
    }
    return *app;
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
