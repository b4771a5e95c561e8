#include "core/Messages.h"

#include "core/TerminalText.h"

#include <cstdio>

namespace vm {

namespace {
MessageService* g_service = nullptr;

ConsoleMessageService& DefaultService()
{
    static ConsoleMessageService service;
    return service;
}

const char* KindText(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Error:
        return "error";
    case MsgIcon::Warning:
        return "warning";
    case MsgIcon::Question:
        return "question";
    case MsgIcon::Information:
        return "information";
    }
    return "";
}
} // namespace

MessageService& Messages()
{
    return g_service ? *g_service : DefaultService();
}

void SetMessageService(MessageService* service)
{
    g_service = service;
}

MsgAnswer ConsoleMessageService::Show(const MessageRequest& request)
{
    std::fprintf(stderr, "Velmora: %s: %s\n", KindText(request.icon),
                 TerminalSafeText(request.text).toLocal8Bit().constData());
    std::fflush(stderr);
    if (request.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (answer_ == MsgAnswer::Cancel && request.buttons == MsgButtons::YesNo)
        return MsgAnswer::No;
    return answer_;
}

void ShowError(const QString& text)
{
    Messages().Show({text, MsgIcon::Error, MsgButtons::Ok});
}
void ShowWarning(const QString& text)
{
    Messages().Show({text, MsgIcon::Warning, MsgButtons::Ok});
}
void ShowInfo(const QString& text)
{
    Messages().Show({text, MsgIcon::Information, MsgButtons::Ok});
}
void NotifyInfo(const QString& text)
{
    Messages().Notify({text, MsgIcon::Information, MsgButtons::Ok});
}
bool AskYesNo(const QString& text)
{
    return Messages().Show({text, MsgIcon::Question, MsgButtons::YesNo}) == MsgAnswer::Yes;
}
bool AskGoOn(const QString& text)
{
    return Messages().Show({text, MsgIcon::Warning, MsgButtons::YesNo}) == MsgAnswer::Yes;
}
MsgAnswer AskYesNoCancel(const QString& text, bool defaultNo)
{
    return Messages().Show({text, MsgIcon::Question, MsgButtons::YesNoCancel, defaultNo});
}

} // namespace vm
