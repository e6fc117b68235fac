#include "app/Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "panel/FontFaces.h"

namespace {

template <std::size_t N>
QString FirstInstalled(const char* const (&faces)[N]) {
  const QStringList families = QFontDatabase::families();
  for (const char* face : faces) {
    const QString name = QString::fromLatin1(face);
    if (families.contains(name, Qt::CaseInsensitive)) return name;
  }
  return QString();
}

void Substitute(const QString& family, const QString& face) {
  QFont::removeSubstitutions(family);
  if (!face.isEmpty()) QFont::insertSubstitution(family, face);
}

// Beyond this a font is of no use on any screen; it also keeps the
// arithmetic below far from overflow.
constexpr int kMaxPixelSize = 10000;

QFontMetrics Metrics(const QFont& font, const QPaintDevice* device) {
  return device != nullptr ? QFontMetrics(font, device) : QFontMetrics(font);
}

// The character cell as the window system measures it: ascent plus
// descent, each in whole pixels.
int CellHeight(const QFont& font, const QPaintDevice* device) {
  const QFontMetrics fm = Metrics(font, device);
  return fm.ascent() + fm.descent();
}

// The pixel size (em) of `font` whose character cell is `cell` pixels
// high. The face's own cell-to-em ratio (Liberation Sans 1.117, AR PL UMing
// 1.048) gives the size; hinting rounds ascent and descent apart at small
// sizes, so the neighbouring sizes are measured too and the nearest kept.
int PixelSizeForCell(QFont font, int cell, const QPaintDevice* device) {
  constexpr int kReference = 1000;  // large enough that rounding does not matter
  font.setPixelSize(kReference);
  const QFontMetricsF reference(font);
  const qreal perEm = (reference.ascent() + reference.descent()) / kReference;
  const int guess =
      perEm > 0 ? static_cast<int>(std::clamp(std::lround(cell / perEm), 1L, long{kMaxPixelSize}))
                : cell;
  int best = guess;
  int bestError = kMaxPixelSize;
  for (const int size : {guess, guess - 1, guess + 1}) {
    if (size < 1 || size > kMaxPixelSize) continue;
    font.setPixelSize(size);
    const int error = std::abs(CellHeight(font, device) - cell);
    if (error < bestError) {
      best = size;
      bestError = error;
    }
  }
  return best;
}

}  // namespace

QString SongFaceFamily() { return FirstInstalled(kSongStandIns); }

void InstallFontSubstitutions() {
  const QString song = SongFaceFamily();
  Substitute(QString::fromUtf8("宋体"), song);
  Substitute(QStringLiteral("SimSun"), song);
  // The port dialog asks for the system font, which on a Chinese desktop
  // carries the GBK glyphs; the Song face stands in for it.
  Substitute(QStringLiteral("System"), song);
  Substitute(QStringLiteral("Arial"), FirstInstalled(kArialStandIns));
}

QFont CreateFontLike(int height, int width, int weight, const QString& face,
                     const QPaintDevice* device) {
  QFont font(face);
  font.setWeight(static_cast<QFont::Weight>(std::clamp(weight <= 0 ? 400 : weight, 1, 1000)));
  if (height > 0) {
    font.setPixelSize(PixelSizeForCell(font, std::min(height, kMaxPixelSize), device));
  } else if (height < 0) {
    // A negative height asks for the character height, which is the em.
    font.setPixelSize(std::clamp(-static_cast<long>(height), 1L, long{kMaxPixelSize}));
  }
  if (width > 0) {
    // Qt sizes by height only; the width becomes a stretch factor measured
    // on the unstretched font (stretched metrics are quantised).
    font.setStretch(QFont::Unstretched);
    const int average = Metrics(font, device).averageCharWidth();
    if (average > 0) {
      const long stretch = std::lround(100.0 * width / average);
      font.setStretch(static_cast<int>(std::clamp(stretch, 1L, 4000L)));
    }
  }
  return font;
}

qreal SyntheticBoldStrength(const QFont& font) {
  if (font.weight() < QFont::DemiBold) return 0;
  const QString family = QFontInfo(font).family();
  int heaviest = 0;
  for (const QString& style : QFontDatabase::styles(family)) {
    heaviest = std::max(heaviest, QFontDatabase::weight(family, style));
  }
  if (heaviest >= QFont::DemiBold) return 0;
  const qreal size = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
  return size / 24;
}
