#pragma once
// Tests put another wall clock in the place of vm::Now() (core/DateTime.h),
// e.g. one that jumps by hours, to show what does and does not follow it.

namespace vm {

// now returns a day count (TDateTime); nullptr restores the real clock.
void SetWallClockForTesting(double (*now)());

} // namespace vm
