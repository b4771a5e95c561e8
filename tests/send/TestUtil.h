#pragma once
// Helpers shared by the sending tests.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace vmtest {

// Parses a message with Python's email package (parse_message.py) and returns
// what it saw; fails the current test when the parser cannot run.
QJsonObject ParseWithPython(const QByteArray& message);
// The same with another script of tests/send (e.g. "parse_report.py").
QJsonObject ParseWithPythonScript(const QByteArray& message, const char* script);

// Bytes of a text in a charset known to Qt's converters ("ISO-8859-2", ...).
QByteArray Encode(const QString& text, const char* charset);

// Splits a message into its lines (CR LF separated; a lone LF fails the test).
QList<QByteArray> Lines(const QByteArray& message);

} // namespace vmtest
