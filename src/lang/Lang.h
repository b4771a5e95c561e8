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

// The text of key in section formatted with args, or the built-in English
// form when the language lacks the key or its text cannot take args: "||"
// in it becomes a line break and each "%s" takes the next argument, in
// order (a "%s" inside an argument stays as it is).
QString TextOr(const char* section, const char* key, const char* english,
               const QStringList& args = {});

} // namespace vm
