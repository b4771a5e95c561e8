#include "ui/common/FixedPitchFont.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace vm {

namespace {

// In order of preference.
const char* const kPreferred[] = {"Courier New", "DejaVu Sans Mono", "Noto Sans Mono",
                                  "Liberation Mono"};

// Words in a family name that promise a monospaced design. Other families
// that call themselves fixed-pitch (icon and symbol fonts do) are passed
// over.
const char* const kMonospacedWords[] = {"mono", "courier", "typewriter", "fixed"};

bool Usable(const QFont& font)
{
    return QFontInfo(font).fixedPitch();
}

QFont WithSize(QFont font, int pointSize)
{
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(pointSize);
    return font;
}

} // namespace

QString ChooseFixedPitchFamily(const QStringList& installed,
                               const std::function<bool(const QString& family)>& isFixedPitch)
{
    for (const char* name : kPreferred) {
        for (const QString& family : installed)
            if (family.compare(QLatin1String(name), Qt::CaseInsensitive) == 0 &&
                isFixedPitch(family))
                return family;
    }
    for (const QString& family : installed) {
        const QString lower = family.toLower();
        for (const char* word : kMonospacedWords)
            if (lower.contains(QLatin1String(word)) && isFixedPitch(family))
                return family;
    }
    return {};
}

QFont FixedPitchFont(int pointSize)
{
    const QString family =
        ChooseFixedPitchFamily(QFontDatabase::families(), [](const QString& f) {
            return QFontDatabase::isFixedPitch(f);
        });
    if (!family.isEmpty()) {
        const QFont font = WithSize(QFont(family), pointSize);
        if (Usable(font))
            return font;
    }
    // Left to the font configuration: its monospace alias, then the
    // platform's fixed font, when either really is fixed-pitch.
    const QFont alias = WithSize(QFont(QStringLiteral("monospace")), pointSize);
    if (Usable(alias))
        return alias;
    const QFont system = WithSize(QFontDatabase::systemFont(QFontDatabase::FixedFont), pointSize);
    return Usable(system) ? system : alias;
}

} // namespace vm
