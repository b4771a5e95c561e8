#pragma once
// The built-in numbered string table: fixed texts compiled into the program.

#include <QString>

namespace vm {

enum StringId {
    kStrLanguageCode = 10003,    // "EN"
    kStrMakerWebSite = 10004,    // the maker's web site
    kStrMakerHomePage = 10005,   // the maker's home page address
    kStrDefaultLanguageFile = 10006, // "english.lng"
    kStrMainWindowClass = 10007, // "VL320KEX07"
};

// The text of a numbered string; empty for an unknown number.
QString StringTable(int id);

} // namespace vm
