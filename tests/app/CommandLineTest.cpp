#include <gtest/gtest.h>

#include "app/CommandLine.h"

using namespace vm;
using Mode = CommandLine::Mode;

TEST(CommandLine, WindowProgramOptions)
{
    auto cl = ParseCommandLine({"velmora"});
    EXPECT_EQ(cl.mode, Mode::Gui);
    EXPECT_FALSE(cl.startedBySystem);

    cl = ParseCommandLine({"velmora", "-StartUp", "--data-dir", "/d"});
    EXPECT_EQ(cl.mode, Mode::Gui);
    EXPECT_TRUE(cl.startedBySystem);
    EXPECT_EQ(cl.dataDir, "/d");

    // Only the first argument marks a start by the session; later it is unknown.
    cl = ParseCommandLine({"velmora", "--data-dir", "/d", "-startup"});
    EXPECT_EQ(cl.mode, Mode::Error);
    EXPECT_FALSE(cl.startedBySystem);
}

TEST(CommandLine, HelpVersionAndErrors)
{
    EXPECT_EQ(ParseCommandLine({"velmora", "--help"}).mode, Mode::Help);
    EXPECT_EQ(ParseCommandLine({"velmora", "--data-dir", "/x", "--version"}).mode, Mode::Version);
    auto cl = ParseCommandLine({"velmora", "--bogus"});
    EXPECT_EQ(cl.mode, Mode::Error);
    EXPECT_TRUE(cl.error.contains("--bogus"));
    cl = ParseCommandLine({"velmora", "--data-dir"});
    EXPECT_EQ(cl.mode, Mode::Error);
}

TEST(CommandLine, VersionNamesTheLicence)
{
    // VELMORA_VERSION: the project's version as CMake declares it.
    EXPECT_EQ(VersionText(),
              QStringLiteral("Velmora " VELMORA_VERSION "\n"
                             "Copyright (C) The Velmora developers\n"
                             "License GPL-3.0-or-later: GNU General Public License, version 3 or later\n"
                             "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
                             "This is free software: you are free to change and redistribute it.\n"
                             "There is NO WARRANTY, to the extent permitted by law.\n"));
}

TEST(CommandLine, CommandsTakeTheRestButNotTheDataDir)
{
    auto cl = ParseCommandLine({"velmora", "--check", "Work", "--data-dir", "/d", "Home"});
    EXPECT_EQ(cl.mode, Mode::Command);
    EXPECT_EQ(cl.command, "--check");
    EXPECT_EQ(cl.commandArgs, (QStringList{"Work", "Home"}));
    EXPECT_EQ(cl.dataDir, "/d");

    // Options of the command itself are the command's business, even --help.
    cl = ParseCommandLine({"velmora", "--list", "Work", "--json"});
    EXPECT_EQ(cl.commandArgs, (QStringList{"Work", "--json"}));
    cl = ParseCommandLine({"velmora", "--data-dir=/e", "--send", "--help"});
    EXPECT_EQ(cl.command, "--send");
    EXPECT_EQ(cl.commandArgs, QStringList{"--help"});
    EXPECT_EQ(cl.dataDir, "/e");
}

TEST(CommandLine, DemoOpensTheWindowWithOrWithoutADataDirectory)
{
    struct Case
    {
        QStringList args;
        Mode mode;
        QString dataDir;
    };
    const Case cases[] = {
        {{"velmora", "--demo"}, Mode::Gui, ""},
        {{"velmora", "--demo", "--data-dir", "/keep"}, Mode::Gui, "/keep"},
        {{"velmora", "-startup", "--demo"}, Mode::Gui, ""},
        {{"velmora", "--demo", "--check"}, Mode::Error, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(cl.mode, c.mode);
        EXPECT_TRUE(cl.demo);
        EXPECT_EQ(cl.dataDir, c.dataDir);
    }
    EXPECT_FALSE(ParseCommandLine({"velmora"}).demo);
}
