#pragma once
// "velmora --show ACCOUNT UIDL [--html]": one stored message as the preview
// shows it. Without --html: a short header (From, To, Cc when present, Date,
// Subject, decoded), a blank line, then the text of the plain mode (the text
// parts joined and decoded), in UTF-8 and safe for a terminal. With --html:
// the page the preview would write (rendered into a private temporary folder
// that is removed afterwards); its bytes as written when standard output is
// not a terminal, else decoded and made safe for the terminal.
// A message held as headers only prints its header lines and says on
// standard error that the body is not held (exit 1). Reads only: it may run
// while a Velmora window runs.

#include <QStringList>

namespace vm {

int RunShowCommand(const QStringList& args);

} // namespace vm
