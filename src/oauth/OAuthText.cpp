#include "oauth/OAuthText.h"

#include "lang/Lang.h"

namespace vm {

QString OAuthText(const char* key, const char* english, const QStringList& args)
{
    return TextOr("OAUTH", key, english, args);
}

} // namespace vm
