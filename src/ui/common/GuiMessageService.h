#pragma once
// Message boxes for the windowed program: the product name as caption, the
// icon of the request, Yes/No for questions, and the normal arrow cursor
// while the box is shown (the previous cursor comes back afterwards).

#include "core/Messages.h"

namespace vm {

class GuiMessageService : public MessageService
{
public:
    MsgAnswer Show(const MessageRequest& request) override;
};

} // namespace vm
