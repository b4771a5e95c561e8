#include <gtest/gtest.h>

#include <QStringList>

#include "core/AppInfo.h"
#include "core/StringTable.h"

using namespace vm;

TEST(StartedBySystem, OnlyTheFirstArgumentInAnyCase)
{
    EXPECT_TRUE(IsStartedBySystem({"velmora", "-startup"}));
    EXPECT_TRUE(IsStartedBySystem({"velmora", "-STARTUP"}));
    EXPECT_TRUE(IsStartedBySystem({"velmora", "-StartUp", "--data-dir", "/x"}));
    EXPECT_FALSE(IsStartedBySystem({"velmora", "--data-dir", "-startup"}));
    EXPECT_FALSE(IsStartedBySystem({"velmora", "x", "-startup"}));
    EXPECT_FALSE(IsStartedBySystem({"velmora"}));
    EXPECT_FALSE(IsStartedBySystem({"velmora", "-startupx"}));
    EXPECT_FALSE(IsStartedBySystem({}));
}

TEST(AppInfo, PathsAndVersions)
{
    AppInfo::SetDataDir("/tmp/vm-data");
    AppInfo& app = AppInfo::Instance();
    EXPECT_EQ(app.ProductName(), "Velmora");
    EXPECT_EQ(app.ProgramDir(), "/tmp/vm-data/");
    EXPECT_EQ(app.SettingsFilePath(), "/tmp/vm-data/velmora.ini");
    EXPECT_EQ(app.AddressBookFilePath(), "/tmp/vm-data/addressbook.vlab");
    EXPECT_TRUE(app.ProductVersion().endsWith(" EN"));
    EXPECT_EQ(app.FileVersion(), AppInfo::BareVersion() + " EN");
    EXPECT_FALSE(app.MakerWebSite().isEmpty());
}

TEST(StringTable, FixedEntries)
{
    EXPECT_EQ(StringTable(10003), "EN");
    EXPECT_EQ(StringTable(10006), "english.lng");
    EXPECT_EQ(StringTable(10007), "VL320KEX07");
    EXPECT_FALSE(StringTable(10004).isEmpty());
    EXPECT_FALSE(StringTable(10005).isEmpty());
    EXPECT_TRUE(StringTable(42).isEmpty());
}
