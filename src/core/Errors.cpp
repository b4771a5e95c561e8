#include "core/Errors.h"

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

} // namespace vm
