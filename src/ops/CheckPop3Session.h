#pragma once
// The POP3 session of the operations on top of the program's POP3 client.

#include <functional>
#include <optional>

#include "net/PasswordPrompt.h"
#include "ops/CheckSession.h"

namespace vm { class Pop3Client; }
namespace vm { class MailAccount; }

namespace vm {

class PasswordPrompt;
class StatusChannel;
struct GetMailParams;

class Pop3ClientSession : public Pop3Session
{
public:
    // Message commands kept in flight on a pipelining server: enough to
    // hide the round trip on loopback and LAN, few enough that the replies
    // waiting to be read stay small.
    static constexpr int kPipelineWindow = 32;

    // client must have been configured for account (ConfigurePop3Client).
    Pop3ClientSession(Pop3Client& client, MailAccount& account) : client_(client), account_(account)
    {
    }

    void ConnectAndLogin() override;
    bool FetchUidLines(QList<QByteArray>& lines) override;
    std::int32_t MessageSize(int n) override;
    void FetchHeaders(int n, MessageRecord& rec) override;
    void FetchWhole(int n, MessageRecord& rec) override;
    void Delete(int n) override;
    bool FetchSizes(QHash<int, std::int32_t>& sizes, int messages) override;
    // kPipelineWindow when the server announced PIPELINING, else 1.
    int PipelineWindow() const override;
    void SendMessageCommand(MessageCommand command, int n) override;
    void ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                             std::int32_t* size) override;
    // On a pipelining server, whole messages are parsed off the reading
    // thread.
    bool ParsesWholeLater() const override;
    void FinishWhole(MessageRecord& rec) override;
    void Disconnect() override;
    void Close() override;
    bool InterruptRequested() const override;

private:
    Pop3Client& client_;
    MailAccount& account_;
};

// How an operation's starter runs it. The defaults are the program's: the
// shared POP3 client (replaced afterwards), the installed password prompt,
// the setting ConnectTimeout as connect and silence limit.
struct OperationRun
{
    Pop3Client* client = nullptr;      // null: the shared client
    PasswordPrompt* prompt = nullptr; // null: the installed prompt
    StatusChannel* status = nullptr;  // status texts; may be null
    int timeoutSeconds = -1;          // < 0: the setting ConnectTimeout
};

// The prompt of a check nobody started by hand (the automatic check): it
// never asks. When a stored password could not be had from the desktop
// keyring, the account's error line says why, so the failure is reported
// like any other of the check.
class UnattendedPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest& request) override;
};

// What an operation's work reports to its worker.
struct OperationBodyResult
{
    bool completed = false;
    std::optional<OperationError> error; // for the error list
};

struct Pop3RunResult
{
    bool started = false;     // false: the password prompt was cancelled
    bool completed = false;   // result 1
    bool interrupted = false; // the user asked to interrupt
};

// The starter's part of every POP3 operation on the interface thread:
// prepares the client for the account (ConfigurePop3Client; a cancelled
// prompt starts nothing), runs body on a worker thread while waiting in an
// event loop, ends a worker that stays silent longer than the limit (then
// the "RemoteHostNoReply" line is recorded), appends body's error line
// unless the user interrupted, and replaces the shared client afterwards.
// params is the operation's parameter block (its result slot is set).
Pop3RunResult
RunPop3Operation(MailAccount& account, const OperationRun& run, GetMailParams& params,
                 const std::function<OperationBodyResult(Pop3Session&, const StatusFn&)>& body);

} // namespace vm
