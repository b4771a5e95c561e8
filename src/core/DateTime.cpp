#include "core/DateTime.h"
#include "core/WallClockOverride.h"

#include <atomic>
#include <cmath>

namespace vm {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
std::atomic<TDateTime (*)()> g_wallClock{nullptr};
} // namespace

TDateTime ToDays(const QDateTime& dt)
{
    if (!dt.isValid())
        return 0;
    const QDateTime local = dt.toLocalTime();
    const double days = static_cast<double>(kEpoch.daysTo(local.date()));
    const double ms = static_cast<double>(local.time().msecsSinceStartOfDay());
    // Before the epoch the fraction counts away from zero, as the day count
    // format has always done: -1.25 is 1899-12-29 06:00.
    return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

QDateTime FromDays(TDateTime days)
{
    if (days == 0 || !std::isfinite(days))
        return {};
    double whole = std::trunc(days);
    double frac = std::fabs(days - whole);
    qint64 ms = static_cast<qint64>(std::llround(frac * kMsPerDay));
    if (ms >= static_cast<qint64>(kMsPerDay)) {
        ms -= static_cast<qint64>(kMsPerDay);
        whole += days >= 0 ? 1 : -1;
    }
    const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime Now()
{
    if (const auto clock = g_wallClock.load())
        return clock();
    return ToDays(QDateTime::currentDateTime());
}

void SetWallClockForTesting(TDateTime (*now)())
{
    g_wallClock.store(now);
}

} // namespace vm
