#pragma once
// The fixed-pitch font of the plain text views: the message source window,
// the plain-text preview and the plain compose editor. Courier New where it
// is installed, else a monospaced family the font database knows (DejaVu
// Sans Mono, Noto Sans Mono, Liberation Mono, or another family whose name
// says it is monospaced), else "monospace" with the TypeWriter hint. The
// platform's own fixed font is not trusted: without a desktop theme (the
// offscreen platform, a bare X server) it is the proportional default font.

#include <QFont>
#include <QString>
#include <QStringList>

#include <functional>

namespace vm {

// The family to use among the installed ones (spelled as installed), or
// empty when none qualifies. isFixedPitch tells whether the font database
// draws a family with one advance width for every character.
QString ChooseFixedPitchFamily(const QStringList& installed,
                               const std::function<bool(const QString& family)>& isFixedPitch);

// The font of the plain text views at pointSize, checked with QFontInfo to
// be drawn fixed-pitch wherever a fixed-pitch font is installed.
QFont FixedPitchFont(int pointSize = 10);

} // namespace vm
