#pragma once
// What the user sees after a network operation: "Aborted on demand." when
// they interrupted it, otherwise, when it failed and the error list holds
// lines, the error window with a header naming the operation.

#include <QString>
#include <QStringList>

namespace vm {

enum class OperationKind {
    MailCheck,        // (Error, MailCheckError)
    MessageRemoval,   // (Error, MessageRemovalError)
    MessageRetrieval, // (Error, MessageRetrievalError)
    Other,            // (Error, OperationError)
};

// The error window header for the operation ("||" already a line break).
QString ErrorWindowHeader(OperationKind kind);
// (Error, InterruptedOnDemand) "Aborted on demand."
QString InterruptedOnDemandText();

// Shows the error list. The GUI installs its error window; the default
// writes the header and the lines to standard error.
class ErrorWindowService
{
public:
    virtual ~ErrorWindowService() = default;
    virtual void ShowErrors(const QString& header, const QStringList& lines) = 0;
};
ErrorWindowService& ErrorWindow();
// Installs a service (not owned); nullptr restores the default.
void SetErrorWindow(ErrorWindowService* service);

enum class ReportShown { Nothing, Interrupted, Errors };

// The reporting rule: interrupted -> the message box "Aborted on demand."
// (warning icon, through the message service); else failed and the error
// list not empty -> the error window with the header of kind.
ReportShown ReportOperation(OperationKind kind, bool interrupted, bool failed);

} // namespace vm
