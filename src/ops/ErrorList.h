#pragma once
// The program-wide error list: one text line per failure of a network
// operation, shown in the error window after the operation. Each operation
// clears it once before its first network step; workers (any thread) and
// the clean-up after a silent worker append to it; the starter reads it
// after the worker has ended.

#include <QString>
#include <QStringList>

#include <exception>

#include "core/Errors.h"
#include "lang/Lang.h" // TextOr, in which the error lines are worded

namespace vm { class MailAccount; }

namespace vm {

void ClearErrorList();
// Appends one line (CR LF is added when shown). Thread-safe.
void AppendErrorLine(const QString& line);
QStringList ErrorList();
bool ErrorListEmpty();

// The error line (Error, ErrorListItem): account name, error class name and
// the error's message with surrounding blanks trimmed; every line break
// inside the result (CR LF, and also a lone CR or LF) becomes one space, so
// each failure stays one line.
QString ErrorLine(const QString& accountName, const QString& className, const QString& message);
// The class name and message of e (core/Errors.h): the program's own
// errors give their own, other exceptions "Exception" and what().
// The line for e and the account (named by its display name).
QString ErrorLine(const MailAccount& account, const std::exception& e);
void AppendError(const MailAccount& account, const std::exception& e);

// (Error, RemoteHostNoReply) "Remote host had not replied for a predefined
// time; connection closed."
QString RemoteHostNoReplyText();
// Appends the line of an ConnectTimedOut error with that text: what a
// worker ended for silence leaves behind.
void AppendNoReplyError(const QString& accountName);

} // namespace vm
