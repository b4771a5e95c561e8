#include "core/Errors.h"

#include <cstring>

namespace vm {

QString ErrorClassName(const std::exception& e)
{
    if (const auto* r = dynamic_cast<const ReportableError*>(&e))
        return r->ReportClassName();
    return QStringLiteral("Exception");
}

QString ErrorMessage(const std::exception& e)
{
    if (const auto* r = dynamic_cast<const ReportableError*>(&e))
        return r->ReportMessage();
    return QString::fromUtf8(e.what());
}

QString SystemErrorText(int errnum)
{
    // The GNU strerror_r: thread-safe, and returns the text it found.
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(errnum, buffer, sizeof buffer));
}

QString WithReason(const QString& report, const QString& reason)
{
    if (reason.isEmpty())
        return report;
    return report + QStringLiteral("\n\n") + reason;
}

} // namespace vm
