#include "ops/CheckPop3Session.h"

#include "config/Settings.h"
#include "model/MailAccount.h"
#include "net/PasswordPrompt.h"
#include "ops/CertificateFailures.h"
#include "ops/ErrorList.h"
#include "ops/StatusChannel.h"
#include "ops/WorkerRunner.h"
#include "pop3/Pop3Client.h"

namespace vm {

PasswordAnswer UnattendedPrompt::Ask(const PasswordRequest& request)
{
    if (!request.note.isEmpty())
        AppendErrorLine(ErrorLine(request.displayName, QStringLiteral("KeyringError"), request.note));
    return {};
}

void Pop3ClientSession::ConnectAndLogin()
{
    // The operation shows the "Connecting" status itself.
    try {
        vm::ConnectAndLogin(client_, account_, {});
    } catch (const CertificateError& e) {
        // Kept for the error window, which offers to trust the certificate.
        RecordCertificateFailure(DisplayNameOf(account_), e);
        throw;
    }
}

bool Pop3ClientSession::FetchUidLines(QList<QByteArray>& lines)
{
    return client_.FetchUidLines(lines);
}

std::int32_t Pop3ClientSession::MessageSize(int n)
{
    return client_.MessageSize(n);
}

void Pop3ClientSession::FetchHeaders(int n, MessageRecord& rec)
{
    client_.FetchHeaders(n, rec);
}

void Pop3ClientSession::FetchWhole(int n, MessageRecord& rec)
{
    client_.FetchWhole(n, rec);
}

void Pop3ClientSession::Delete(int n)
{
    // SendCmd raises Pop3ReplyError with the server's own text.
    client_.SendCmd("DELE " + QByteArray::number(n));
}

bool Pop3ClientSession::FetchSizes(QHash<int, std::int32_t>& sizes, int messages)
{
    return client_.FetchSizeList(sizes, messages);
}

int Pop3ClientSession::PipelineWindow() const
{
    return client_.SupportsPipelining() ? kPipelineWindow : 1;
}

void Pop3ClientSession::SendMessageCommand(MessageCommand command, int n)
{
    switch (command) {
    case MessageCommand::Size:
        client_.SendSizeRequest(n);
        break;
    case MessageCommand::Headers:
        client_.SendHeadersRequest(n);
        break;
    case MessageCommand::Whole:
        client_.SendWholeRequest(n);
        break;
    }
}

void Pop3ClientSession::ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                                            std::int32_t* size)
{
    switch (command) {
    case MessageCommand::Size: {
        const std::int32_t s = client_.ReceiveSize(n);
        if (size)
            *size = s;
        break;
    }
    case MessageCommand::Headers:
        client_.ReceiveHeaders(n, *rec);
        break;
    case MessageCommand::Whole:
        if (ParsesWholeLater())
            client_.ReceiveWholeText(n, *rec);
        else
            client_.ReceiveWhole(n, *rec);
        break;
    }
}

bool Pop3ClientSession::ParsesWholeLater() const
{
    return PipelineWindow() > 1;
}

void Pop3ClientSession::FinishWhole(MessageRecord& rec)
{
    Pop3Client::FinishWhole(rec);
}

void Pop3ClientSession::Disconnect()
{
    client_.Disconnect();
}

void Pop3ClientSession::Close()
{
    client_.CloseTransport();
}

bool Pop3ClientSession::InterruptRequested() const
{
    return client_.InterruptRequested();
}

} // namespace vm

namespace vm {

Pop3RunResult
RunPop3Operation(MailAccount& account, const OperationRun& run, GetMailParams& params,
                 const std::function<OperationBodyResult(Pop3Session&, const StatusFn&)>& body)
{
    Pop3RunResult out;
    const bool shared = run.client == nullptr;
    Pop3Client& client = shared ? SharedPop3Client() : *run.client;
    const int timeout = run.timeoutSeconds >= 0 ? run.timeoutSeconds : AppSettings().ConnectTimeout;
    PasswordPrompt& prompt = run.prompt ? *run.prompt : PasswordPrompter();
    if (!ConfigurePop3Client(client, account, timeout, prompt))
        return out;
    out.started = true;

    StatusChannel* channel = run.status;
    const StatusFn status = [channel](const QString& text) {
        if (channel)
            channel->Post(text);
    };
    const QString name = DisplayNameOf(account);
    params.window = channel;
    params.account = &account;
    const int result = RunPop3Worker(params, client.Transport(), account, channel, timeout, [&] {
        Pop3ClientSession session(client, account);
        const OperationBodyResult r = body(session, status);
        // A worker ended for silence gets its line from the runner; an
        // interrupt gets none.
        if (r.error && !client.Transport().Aborted() && !client.InterruptRequested())
            AppendErrorLine(ErrorLine(name, r.error->className, r.error->message));
        params.result.store(r.completed ? kResultDone : kResultFailed);
    });
    out.completed = result == kResultDone;
    out.interrupted = client.InterruptRequested();
    if (shared)
        RecreatePop3Client();
    return out;
}

} // namespace vm
