#pragma once
// How any error is named in reports (error lines, the save error window):
// the program's own errors carry a class name and a message; anything else
// is reported as "Exception" with its what() text.

#include <QString>

#include <exception>

namespace vm {

// Implemented by every error class of the program (network, storage, ...).
class ReportableError
{
public:
    virtual ~ReportableError() = default;
    virtual QString ReportClassName() const = 0;
    virtual QString ReportMessage() const = 0;
};

QString ErrorClassName(const std::exception& e);
QString ErrorMessage(const std::exception& e);

// The system's own words for an errno value ("No space left on device"),
// for every report of a failed file or system call.
QString SystemErrorText(int errnum);

// A report followed by the reason it failed, on a line of its own (the
// report alone when the reason is empty).
QString WithReason(const QString& report, const QString& reason);

} // namespace vm
