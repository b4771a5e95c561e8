#include "ui/common/GuiMessageService.h"

#include <QApplication>
#include <QMessageBox>

#include "core/AppInfo.h"

namespace vm {

namespace {

// Scripted runs (end-to-end tests, unattended screenshots) set
// VELMORA_MESSAGE_ANSWER to "yes", "no" or "cancel": the box is then
// written to standard error and answered without waiting for a person
// (a Yes/No question takes "cancel" as No).
bool ScriptedAnswer(MsgAnswer& answer)
{
    const QString scripted = qEnvironmentVariable("VELMORA_MESSAGE_ANSWER").toLower();
    if (scripted == QLatin1String("yes"))
        answer = MsgAnswer::Yes;
    else if (scripted == QLatin1String("no"))
        answer = MsgAnswer::No;
    else if (scripted == QLatin1String("cancel"))
        answer = MsgAnswer::Cancel;
    else
        return false;
    return true;
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void GuiMessageService::Notify(const MessageRequest& request)
{
    if (MsgAnswer answer; ScriptedAnswer(answer)) {
        ConsoleMessageService(answer).Show(request);
        return;
    }
    // One box at a time: a newer message replaces the text of one still up.
    if (notice_) {
        notice_->setIcon(BoxIcon(request.icon));
        notice_->setText(request.text);
        notice_->raise();
        return;
    }
    auto* box = new QMessageBox(BoxIcon(request.icon), AppInfo::Instance().ProductName(),
                                request.text, QMessageBox::Ok, QApplication::activeWindow());
    box->setObjectName(QStringLiteral("NoticeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setCursor(Qt::ArrowCursor);
    notice_ = box;
    box->show();
}

MsgAnswer GuiMessageService::Show(const MessageRequest& request)
{
    if (MsgAnswer answer; ScriptedAnswer(answer))
        return ConsoleMessageService(answer).Show(request);
    const QMessageBox::Icon icon = BoxIcon(request.icon);
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
