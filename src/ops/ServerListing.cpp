#include "ops/ServerListing.h"

#include "net/NetErrors.h"
#include "ops/ErrorList.h"

namespace vm {

void SayStatus(const StatusFn& status, const QString& text)
{
    if (status)
        status(text);
}

bool RunOnServerListing(Pop3Session& session, const QString& accountName, OperationView view,
                        const QString& detailsText, const StatusFn& status,
                        const std::function<void(const UidlNumbers&)>& work,
                        ListingFailure& failure)
{
    const bool main = view == OperationView::MainWindow;
    const auto fail = [&](OperationError error) {
        session.Close();
        failure.interrupted = session.InterruptRequested();
        if (!failure.interrupted)
            failure.error = std::move(error);
    };
    try {
        SayStatus(status, main ? TextOr("MAINWND", "LoggingToServer",
                                        "Connecting to server (account: %s)", {accountName})
                               : TextOr("DETAILSWND", "Connecting", "Connecting..."));
        session.ConnectAndLogin();
        if (!main)
            SayStatus(status,
                      TextOr("DETAILSWND", "VeryfyingMessageList", "Verifying message list..."));
        QList<QByteArray> lines;
        if (!session.FetchUidLines(lines))
            throw NetworkError(TextOr("Error", "ErrorRetrievingUIDL",
                                      "Could not retrieve mailbox message list (UIDL)"));
        const UidlNumbers numbers(lines);
        if (!main)
            SayStatus(status, detailsText);
        work(numbers);
        SayStatus(status, main ? TextOr("MAINWND", "Disconnecting",
                                        "Disconnecting from server (account: %s)", {accountName})
                               : TextOr("DETAILSWND", "Disconnecting", "Disconnecting..."));
        session.Disconnect();
        return true;
    } catch (const NetworkError& e) {
        fail(OperationError{e.ClassName(), e.Message()});
    } catch (const std::exception& e) {
        fail(OperationError{QStringLiteral("Exception"), QString::fromLocal8Bit(e.what())});
    }
    return false;
}

} // namespace vm
