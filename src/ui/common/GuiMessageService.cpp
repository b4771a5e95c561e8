#include "ui/common/GuiMessageService.h"

#include <QApplication>
#include <QMessageBox>

#include "core/AppInfo.h"

namespace vm {

MsgAnswer GuiMessageService::Show(const MessageRequest& request)
{
    // Scripted runs (end-to-end tests, unattended screenshots) set
    // VELMORA_MESSAGE_ANSWER to "yes", "no" or "cancel": the box is then
    // written to standard error and answered without waiting for a person
    // (a Yes/No question takes "cancel" as No).
    const QString scripted = qEnvironmentVariable("VELMORA_MESSAGE_ANSWER").toLower();
    if (scripted == QLatin1String("yes") || scripted == QLatin1String("no") ||
        scripted == QLatin1String("cancel")) {
        ConsoleMessageService console(scripted == QLatin1String("yes")  ? MsgAnswer::Yes
                                      : scripted == QLatin1String("no") ? MsgAnswer::No
                                                                        : MsgAnswer::Cancel);
        return console.Show(request);
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.icon) {
    case MsgIcon::Error:
        icon = QMessageBox::Critical;
        break;
    case MsgIcon::Warning:
        icon = QMessageBox::Warning;
        break;
    case MsgIcon::Question:
        icon = QMessageBox::Question;
        break;
    case MsgIcon::Information:
        icon = QMessageBox::Information;
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if (request.buttons == MsgButtons::YesNo)
        buttons = QMessageBox::Yes | QMessageBox::No;
    else if (request.buttons == MsgButtons::YesNoCancel)
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(icon, AppInfo::Instance().ProductName(), request.text, buttons,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    if (request.defaultNo)
        box.setDefaultButton(QMessageBox::No);
    // Closing the box (Esc, the title bar) is the safe answer: Cancel where
    // offered, else No.
    box.setEscapeButton(request.buttons == MsgButtons::YesNoCancel ? QMessageBox::Cancel
                        : request.buttons == MsgButtons::YesNo     ? QMessageBox::No
                                                                   : QMessageBox::Ok);
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    QApplication::restoreOverrideCursor();
    if (request.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (result == QMessageBox::Yes)
        return MsgAnswer::Yes;
    if (result == QMessageBox::Cancel)
        return MsgAnswer::Cancel;
    return MsgAnswer::No;
}

} // namespace vm
