#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "config/StorageSettings.h"
#include "core/Messages.h"

using namespace vm;

// One warning names every folder others can reach, each once; private
// folders give none.
TEST(StorageSettings, WarnsOnceWhenOthersCanReachTheStorage)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString privateDir = QDir(root.path()).filePath("private");
    const QString openData = QDir(root.path()).filePath("data");
    const QString openMail = QDir(root.path()).filePath("mail");
    for (const QString& d : {privateDir, openData, openMail}) {
        ASSERT_TRUE(QDir().mkdir(d));
        ASSERT_EQ(::chmod(QFile::encodeName(d).constData(), d == privateDir ? 0700 : 0755), 0);
    }
    struct Case
    {
        QString data, mail;
        QStringList named;
    } const cases[] = {
        {privateDir, privateDir + '/', {}},       {openData, privateDir + '/', {openData}},
        {privateDir, openMail + '/', {openMail}}, {openData, openMail + '/', {openData, openMail}},
        {openData, openData + '/', {openData}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data.toStdString() + " " + c.mail.toStdString());
        RecordingMessageService recorder;
        SetMessageService(&recorder);
        EXPECT_EQ(WarnIfStorageOpenToOthers(c.data, c.mail), !c.named.isEmpty());
        SetMessageService(nullptr);
        if (c.named.isEmpty()) {
            EXPECT_TRUE(recorder.shown.isEmpty());
            continue;
        }
        ASSERT_EQ(recorder.shown.size(), 1);
        EXPECT_EQ(recorder.shown[0].icon, MsgIcon::Warning);
        const QString text = recorder.shown[0].text;
        for (const QString& d : c.named)
            EXPECT_EQ(text.count(d), 1) << text.toStdString();
        EXPECT_TRUE(text.contains("chmod 700")) << text.toStdString();
    }
}
