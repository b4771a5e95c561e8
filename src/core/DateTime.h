#pragma once
// Date-times are day counts since 1899-12-30 00:00 in a double; the fraction
// is the time of day. 0 means "never". These helpers convert at the edges.

#include <QDateTime>

namespace vm {

using TDateTime = double;

// Local date-time to day count; an invalid QDateTime gives 0.
TDateTime ToDays(const QDateTime& dt);
// Day count to local date-time; 0 gives an invalid QDateTime.
QDateTime FromDays(TDateTime days);
// The current local time as a day count.
TDateTime Now();

} // namespace vm
