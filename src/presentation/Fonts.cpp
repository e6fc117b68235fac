#include "presentation/Fonts.h"

#include <QFont>
#include <QString>
#include <QStringList>

void InstallFontSubstitutions() {
  // Liberation Sans has Arial's metrics, so text widths stay as designed.
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  // A Song/Ming face like 宋体: its average width is exactly half its size,
  // which the panel and button fonts rely on. Left alone, fontconfig would
  // hand out a Latin face and borrow the Chinese glyphs at other metrics.
  const QStringList song{QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                         QStringLiteral("WenQuanYi Zen Hei")};
  QFont::insertSubstitutions(QString::fromUtf8("宋体"), song);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), song);
}
