#pragma once
// Looking up interface texts by (section, key) in the loaded language file.
// Section and key names are matched without regard to letter case. "||" in a
// text has already become a line break when the file was loaded.

#include <QString>
#include <QStringList>

namespace vm {

// The text of key in section of the loaded language file; empty when the
// file has no such key or no file is loaded.
QString LangText(const QString& section, const QString& key);

// The text formatted with up to 8 arguments, each replacing one "%s" in order.
QString LangFormat(const QString& section, const QString& key, const QStringList& args);

} // namespace vm
