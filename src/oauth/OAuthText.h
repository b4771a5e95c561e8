#pragma once
// Texts of the sign-in, from the language file's section "OAUTH" with the
// English text as fallback (a language file may not have them yet).

#include <QString>
#include <QStringList>

namespace vm {

QString OAuthText(const char* key, const char* english, const QStringList& args = {});

} // namespace vm
