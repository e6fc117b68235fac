// Fonts - the faces the templates and the drawing code ask for by name, and
// the window system's way of creating a font from a cell height and an
// average character width.
#ifndef BRENNA_APP_FONTS_H
#define BRENNA_APP_FONTS_H

#include <QFont>
#include <QString>

class QPaintDevice;

// Maps "宋体", "SimSun" and "System" to the installed Song/Ming face (AR PL
// UMing, or another CJK face when that is missing) and "Arial" to Liberation
// Sans, so metrics match what the layout was designed for and Chinese text
// never falls back to a Latin face. Call once the application object exists
// and before any font is created; calling it again changes nothing.
void InstallFontSubstitutions();

// The family "宋体" resolves to after InstallFontSubstitutions; empty when no
// CJK face is installed.
QString SongFaceFamily();

// A font whose character cell (ascent + descent) is `height` pixels high,
// within a pixel, and whose average character is `width` pixels wide (0: the
// face's own width), with the given weight (0-1000, 400 normal, 700 bold,
// 900 heavy). A negative height is the em (the character height without
// the internal leading) instead; 0 leaves the size to the face. Metrics are
// taken for `device` when given.
QFont CreateFontLike(int height, int width, int weight, const QString& face,
                     const QPaintDevice* device = nullptr);

// How much wider a stroke must be drawn to show `font` at its weight when
// the face has no weight that heavy (bold or heavier asked of a face without
// a bold): the font engine's own synthetic bold, one 24th of the size. 0
// when the face has the weight itself or the font is not bold.
qreal SyntheticBoldStrength(const QFont& font);

#endif  // BRENNA_APP_FONTS_H
