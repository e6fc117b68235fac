#include "presentation/Fonts.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QString>

// The faces the window asks for resolve to faces of the right metrics here;
// fontconfig alone would give 宋体 a Latin face.
TEST(Fonts, WindowsFacesResolveToFacesOfTheSameMetrics) {
  InstallFontSubstitutions();

  QFont arial(QStringLiteral("Arial"));
  arial.setPixelSize(20);
  EXPECT_EQ(QFontInfo(arial).family(), QStringLiteral("Liberation Sans"));

  for (const QString& song : {QString::fromUtf8("宋体"), QStringLiteral("SimSun")}) {
    QFont font(song);
    font.setPixelSize(40);
    EXPECT_TRUE(QFontInfo(font).family().startsWith(QStringLiteral("AR PL UMing")))
        << QFontInfo(font).family().toStdString();
    // Half the size on average, as the panel and button fonts are sized.
    EXPECT_EQ(QFontMetrics(font).averageCharWidth(), 20);
  }
}
