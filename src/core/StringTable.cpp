#include "core/StringTable.h"

namespace vm {

QString StringTable(int id)
{
    switch (id) {
    case kStrLanguageCode:
        return QStringLiteral("EN");
    case kStrMakerWebSite:
        return QStringLiteral("https://velmora.example.org/");
    case kStrMakerHomePage:
        return QStringLiteral("velmora.example.org");
    case kStrDefaultLanguageFile:
        return QStringLiteral("english.lng");
    case kStrMainWindowClass:
        return QStringLiteral("VL320KEX07");
    default:
        return {};
    }
}

} // namespace vm
