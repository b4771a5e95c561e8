#include "ui/common/GuiMessageService.h"

#include <QApplication>
#include <QMessageBox>

#include "core/AppInfo.h"

namespace vm {

MsgAnswer GuiMessageService::Show(const MessageRequest& request)
{
    // Scripted runs (end-to-end tests, unattended screenshots) set
    // VELMORA_MESSAGE_ANSWER to "yes" or "no": the box is then written to
    // standard error and answered without waiting for a person.
    const QString scripted = qEnvironmentVariable("VELMORA_MESSAGE_ANSWER").toLower();
    if (scripted == QLatin1String("yes") || scripted == QLatin1String("no")) {
        ConsoleMessageService console(scripted == QLatin1String("yes") ? MsgAnswer::Yes
                                                                       : MsgAnswer::No);
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
    const auto buttons = request.buttons == MsgButtons::YesNo
                             ? QMessageBox::Yes | QMessageBox::No
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(icon, AppInfo::Instance().ProductName(), request.text, buttons,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    QApplication::restoreOverrideCursor();
    if (request.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return result == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

} // namespace vm
