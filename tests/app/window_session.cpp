// The windowed program with a scripted user, for the tests that end it from
// outside (kill -9, termination signals): the real program object on a data
// directory, and the few steps a user would take. It reports its progress
// as lines on standard output:
//
//   window_session flags DATADIR   waits for the start-up check to fetch
//       three messages ("checked"), clicks the row of "m2" (the preview shows
//       it: no longer new, its receipt request declined through the answer
//       VELMORA_MESSAGE_ANSWER=no gives), moves the window, then "acted LEFT".
//   window_session settings DATADIR / box DATADIR   opens the settings
//       window or a message box (nobody answers it) and says "modal" once it
//       is up; "closed" when it has gone.

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "app/VelmoraApp.h"
#include "config/Settings.h"
#include "core/Messages.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "pop3/Pop3Client.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MessageListModel.h"
#include "ui/main/MessageListView.h"

namespace {

void Say(const QByteArray& line)
{
    std::fprintf(stdout, "%s\n", line.constData());
    std::fflush(stdout);
}

vm::MessageRecord* Find(const QByteArray& uid)
{
    vm::AccountsDirectory& dir = vm::Accounts();
    return dir.Count() > 0 ? dir.At(0)->Box().FindByUIDL(uid) : nullptr;
}

// Runs step every 100 ms until it returns true.
void Every100ms(std::function<bool()> step)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        if (step())
            timer->deleteLater();
    });
    timer->start(100);
}

void ScriptFlags(vm::MainWindow* w)
{
    Every100ms([w] {
        if (vm::SharedPop3Client().Busy || !Find("m1") || !Find("m2") || !Find("m3"))
            return false;
        Say("checked");
        vm::MessageListModel* model = w->ListModel;
        for (int row = 0; row < model->rowCount(); ++row) {
            vm::MessageRecord* m = model->MessageAt(row);
            if (m && m->UID == "m2") {
                const QRect cell = w->MsgList->visualRect(model->index(row, 2));
                QTest::mouseClick(w->MsgList->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  cell.center());
            }
        }
        Every100ms([w] {
            vm::MessageRecord* m2 = Find("m2");
            if (!m2 || m2->IsNew() || m2->receiptState != 2)
                return false;
            w->move(123, 77);
            Say("acted " + QByteArray::number(w->geometry().left()));
            return true;
        });
        return true;
    });
}

void ScriptModal(vm::MainWindow* w, bool settingsWindow)
{
    QTimer::singleShot(200, w, [w, settingsWindow] {
        // Written only by the exit (or a save on the way): proof that the
        // settings reached the file.
        vm::AppSettings().LastNotifiedUpdate = QStringLiteral("before-the-signal");
        Every100ms([] {
            if (!QApplication::activeModalWidget())
                return false;
            Say("modal");
            return true;
        });
        if (settingsWindow)
            w->commands.settings();
        else
            vm::ShowError(QStringLiteral("A box nobody answers."));
        Say("closed");
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_session flags|settings|box DATADIR\n");
        return 2;
    }
    const QByteArray scenario = argv[1];
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setQuitOnLastWindowClosed(false);
    vm::CommandLine cl;
    cl.dataDir = QString::fromLocal8Bit(argv[2]);
    vm::VelmoraApp velmora(app, cl);
    if (velmora.Prepare() >= 0)
        return 3;
    velmora.CreateWindows();
    if (scenario == "flags")
        ScriptFlags(velmora.Window());
    else if (scenario == "settings" || scenario == "box")
        ScriptModal(velmora.Window(), scenario == "settings");
    else
        return 2;
    return QApplication::exec();
}
