#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "platform/ScrollLock.h"

using namespace vm;

TEST(ScrollLock, NoDisplayIsASilentNoOp)
{
    ScrollLockLight light(":987654"); // no such display
    EXPECT_FALSE(light.Available());
    EXPECT_FALSE(light.Set(true));
    EXPECT_FALSE(light.IsOn());
}

// Drives the light on a private Xvfb server and reads it back through XKB.
TEST(ScrollLock, TogglesAndReadsBackUnderXvfb)
{
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb not installed";
    QProcess server;
    server.start(xvfb, {":73", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted());
    std::unique_ptr<ScrollLockLight> light;
    for (int i = 0; i < 50; ++i) {
        light = std::make_unique<ScrollLockLight>(":73");
        if (light->Available())
            break;
        QThread::msleep(100);
    }
    ASSERT_TRUE(light->Available());
    EXPECT_TRUE(light->Set(true));
    EXPECT_TRUE(light->IsOn());
    EXPECT_TRUE(light->Set(false));
    EXPECT_FALSE(light->IsOn());
    light.reset();
    server.terminate();
    server.waitForFinished();
}
