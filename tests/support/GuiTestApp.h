#pragma once
// The QApplication of a GUI test program, made ready for the HTML views
// (Qt WebEngine): shared OpenGL contexts, no sandbox (tests may run as
// root), no GPU offscreen. The application object is deleted when the tests
// end, before the process exits, so the engine stops its threads first; a
// leaked application leaves them running into the exit and crashes it now
// and then.

#include <QApplication>

#include <gtest/gtest.h>

namespace vmtest {

inline QApplication* MakeGuiTestApp()
{
    if (qApp)
        return qobject_cast<QApplication*>(qApp);
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-software-rasterizer");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto* app = new QApplication(argc, argv);
    struct EndOfTests : ::testing::Environment
    {
        void TearDown() override { delete qApp; }
    };
    ::testing::AddGlobalTestEnvironment(new EndOfTests);
    return app;
}

} // namespace vmtest
