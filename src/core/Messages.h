#pragma once
// The one service every message box goes through. The caption is always the
// product name; questions are Yes/No or Yes/No/Cancel. Below the widget line code reports
// through this interface only: the GUI installs a service that shows real
// message boxes, the command line one that writes to standard error, and
// tests one that records what was shown and answers from a script.

#include <QList>
#include <QString>

#include <functional>

namespace vm {

enum class MsgIcon { Error, Warning, Question, Information };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

struct MessageRequest
{
    QString text;
    MsgIcon icon;
    MsgButtons buttons;
    // No is the default button (Return answers No): for questions whose Yes
    // sends or destroys something and that may meet a key press meant for
    // another window.
    bool defaultNo = false;
};

class MessageService
{
public:
    virtual ~MessageService() = default;
    virtual MsgAnswer Show(const MessageRequest& request) = 0;
    // A message (OK only) that the caller does not wait for: the program
    // goes on while it is shown. By default shown as Show shows it.
    virtual void Notify(const MessageRequest& request) { Show(request); }
};

// The installed service; without one, messages go to standard error and
// questions are answered No (the safe answer: never destroys anything).
MessageService& Messages();
// Installs a service (not owned); nullptr restores the default.
void SetMessageService(MessageService* service);

// Short forms.
void ShowError(const QString& text);
void ShowWarning(const QString& text);
void ShowInfo(const QString& text);
// The information box that nothing waits for (MessageService::Notify).
void NotifyInfo(const QString& text);
// Yes/No with the question icon; true for Yes.
bool AskYesNo(const QString& text);
// Yes/No with the warning icon, for "go on after a failure?"; true for Yes.
bool AskGoOn(const QString& text);
// Yes/No/Cancel with the question icon; closing the box answers Cancel.
MsgAnswer AskYesNoCancel(const QString& text, bool defaultNo = false);

// A service that writes every message to standard error, prefixed with
// "Velmora: " and its kind, and answers questions with a fixed answer.
class ConsoleMessageService : public MessageService
{
public:
    explicit ConsoleMessageService(MsgAnswer questionAnswer = MsgAnswer::No)
        : answer_(questionAnswer)
    {
    }
    MsgAnswer Show(const MessageRequest& request) override;

private:
    MsgAnswer answer_;
};

// Records every request and answers from a callback (Yes when none is set);
// for tests.
class RecordingMessageService : public MessageService
{
public:
    std::function<MsgAnswer(const MessageRequest&)> answer;
    QList<MessageRequest> shown;
    // Requests given to Notify (they are in shown as well).
    QList<MessageRequest> notified;
    void Notify(const MessageRequest& request) override
    {
        notified.append(request);
        Show(request);
    }
    MsgAnswer Show(const MessageRequest& request) override
    {
        shown.append(request);
        if (answer)
            return answer(request);
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
};

} // namespace vm
