// The restart that sets the C library's heap tunables: once, only where the
// user has not chosen otherwise, and never passed on to child programs.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

TEST(LargePageHeap, RestartsOnceWithTheTunablesUnlessTheUserChoseAndHidesThemFromChildren)
{
    struct Case
    {
        const char* name;
        const char* value; // nullptr: not set
        const char* output;
    };
    const Case cases[] = {
        {nullptr, nullptr, "restarted 1\nheap grows by 64 MiB 1\nchild sees - -\n"},
        {"GLIBC_TUNABLES", "glibc.malloc.arena_max=2",
         "restarted 0\nheap grows by 64 MiB 0\nchild sees glibc.malloc.arena_max=2 -\n"},
        {"VELMORA_PLAIN_HEAP", "1", "restarted 0\nheap grows by 64 MiB 0\nchild sees - -\n"},
        {"LD_PRELOAD", "", "restarted 0\nheap grows by 64 MiB 0\nchild sees - -\n"},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"GLIBC_TUNABLES", "VELMORA_PLAIN_HEAP", "LD_PRELOAD",
                                 "VELMORA_LARGE_PAGE_HEAP"})
            env.remove(QString::fromLatin1(name));
        if (c.name)
            env.insert(QString::fromLatin1(c.name), QString::fromLatin1(c.value));
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(LARGE_PAGE_HEAP_PROBE), {});
        ASSERT_TRUE(probe.waitForFinished(20000)) << (c.name ? c.name : "plain");
        EXPECT_EQ(probe.exitCode(), 0);
        EXPECT_EQ(probe.readAllStandardOutput().toStdString(), c.output)
            << (c.name ? c.name : "nothing set");
    }
}

} // namespace
