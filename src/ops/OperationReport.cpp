#include "ops/OperationReport.h"

#include "core/Messages.h"
#include "core/TerminalText.h"
#include "ops/ErrorList.h"

#include <cstdio>

namespace vm {

namespace {

class ConsoleErrorWindow : public ErrorWindowService
{
public:
    void ShowErrors(const QString& header, const QStringList& lines) override
    {
        std::fprintf(stderr, "Velmora: %s\n", TerminalSafeText(header).toLocal8Bit().constData());
        for (const QString& line : lines)
            std::fprintf(stderr, "  %s\n", TerminalSafeText(line).toLocal8Bit().constData());
    }
};

ErrorWindowService* g_errorWindow = nullptr;

} // namespace

QString ErrorWindowHeader(OperationKind kind)
{
    switch (kind) {
    case OperationKind::MailCheck:
        return TextOr("Error", "MailCheckError",
                      "A failure occured while checking for new mail.||Operation was aborted. See "
                      "report below:");
    case OperationKind::MessageRemoval:
        return TextOr("Error", "MessageRemovalError",
                      "A failure occured while trying to delete messages.||Operation was aborted. "
                      "See report below:");
    case OperationKind::MessageRetrieval:
        return TextOr("Error", "MessageRetrievalError",
                      "A failure occured while trying to download messages.||Operation was "
                      "aborted.  See report below:");
    case OperationKind::Other:
        break;
    }
    return TextOr("Error", "OperationError",
                  "A failure occured while attempting requested action.||Operation was aborted. "
                  "See report below:");
}

QString InterruptedOnDemandText()
{
    return TextOr("Error", "InterruptedOnDemand", "Aborted on demand.");
}

ErrorWindowService& ErrorWindow()
{
    static ConsoleErrorWindow console;
    return g_errorWindow ? *g_errorWindow : console;
}

void SetErrorWindow(ErrorWindowService* service)
{
    g_errorWindow = service;
}

ReportShown ReportOperation(OperationKind kind, bool interrupted, bool failed)
{
    if (interrupted) {
        Messages().Show({InterruptedOnDemandText(), MsgIcon::Warning, MsgButtons::Ok});
        return ReportShown::Interrupted;
    }
    if (failed) {
        const QStringList lines = ErrorList();
        if (!lines.isEmpty()) {
            ErrorWindow().ShowErrors(ErrorWindowHeader(kind), lines);
            return ReportShown::Errors;
        }
    }
    return ReportShown::Nothing;
}

} // namespace vm
