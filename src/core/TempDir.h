#pragma once
// The program's private temporary directory (mode 0700), standing in for the
// TEMP folder: message pages and opened attachments go there. It is created
// on first use and removed with everything in it when the process ends.

#include <QString>

namespace vm {

// Path of the directory, created on first call; empty when it cannot be made.
QString TempDirPath();

// Removes the directory now (also done automatically at normal exit).
void RemoveTempDir();

} // namespace vm
