#pragma once
// Message boxes for the windowed program: the product name as caption, the
// icon of the request, Yes/No for questions, and the normal arrow cursor
// while the box is shown (the previous cursor comes back afterwards).
// Notify shows its box without waiting for it: no event loop of its own, not
// modal, so timers, the tray and every other window go on while it is up.

#include <QMessageBox>
#include <QPointer>

#include "core/Messages.h"

namespace vm {

class GuiMessageService : public MessageService
{
public:
    MsgAnswer Show(const MessageRequest& request) override;
    void Notify(const MessageRequest& request) override;

    // The box Notify shows, while it is up.
    QMessageBox* NoticeBox() const { return notice_; }

private:
    QPointer<QMessageBox> notice_;
};

} // namespace vm
