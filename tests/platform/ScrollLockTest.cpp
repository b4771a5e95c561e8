#include <gtest/gtest.h>

#include <QElapsedTimer>
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
    // Xvfb picks a free display number itself and writes it to its
    // standard output once it accepts clients.
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted());
    QByteArray number;
    QElapsedTimer started;
    started.start();
    while (!number.contains('\n') && server.state() == QProcess::Running &&
           started.elapsed() < 30000) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    ASSERT_TRUE(number.contains('\n'))
        << "Xvfb named no display: " << server.readAllStandardError().constData();
    const QString display = ':' + QString::fromLatin1(number.trimmed());
    std::unique_ptr<ScrollLockLight> light;
    for (int i = 0; i < 50; ++i) {
        light = std::make_unique<ScrollLockLight>(display.toLatin1().constData());
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
