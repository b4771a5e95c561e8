#pragma once

#include <QString>

namespace vm {

// Reduces a name taken from a message (attachment name, subject) to a plain
// file name that is safe to create in a chosen folder: only the part after
// the last '/' or '\\' is kept, control and bidirectional format characters
// (and characters that are invalid in file names on common systems) are
// replaced by '_', leading dots and blanks and trailing dots and blanks are
// removed (so "..", "." and hidden names cannot result), and the result is
// cut to 200 characters and 240 bytes of UTF-8 keeping the extension. An
// empty result gives an empty string; callers pick their own default name
// then.
QString SafeFileName(const QString& name);

} // namespace vm
