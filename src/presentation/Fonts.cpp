#include "presentation/Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

const char* const kSongFaces[] = {
    "AR PL UMing CN",   "AR PL UMing TW",    "AR PL UMing HK",    "AR PL UMing TW MBE",
    "AR PL SungtiL GB", "Noto Serif CJK SC", "WenQuanYi Zen Hei", "Noto Sans CJK SC",
};
const char* const kArialFaces[] = {"Liberation Sans", "Arimo"};

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

}  // namespace

QString SongFaceFamily() { return FirstInstalled(kSongFaces); }

void InstallFontSubstitutions() {
  const QString song = SongFaceFamily();
  Substitute(QString::fromUtf8("宋体"), song);
  Substitute(QStringLiteral("SimSun"), song);
  // The port dialog asks for the system font, which on a Chinese desktop
  // carries the GBK glyphs; the Song face stands in for it.
  Substitute(QStringLiteral("System"), song);
  Substitute(QStringLiteral("Arial"), FirstInstalled(kArialFaces));
}

QFont CreateFontLike(int height, int width, int weight, const QString& face,
                     const QPaintDevice* device) {
  QFont font(face);
  if (height != 0) font.setPixelSize(std::clamp(std::abs(height), 1, 10000));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(weight <= 0 ? 400 : weight, 1, 1000)));
  if (width > 0) {
    // Qt sizes by height only; the width becomes a stretch factor measured
    // on the unstretched font (stretched metrics are quantised).
    font.setStretch(QFont::Unstretched);
    const int average = device != nullptr ? QFontMetrics(font, device).averageCharWidth()
                                          : QFontMetrics(font).averageCharWidth();
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
