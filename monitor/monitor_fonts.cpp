#include "monitor/monitor_fonts.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <cmath>

namespace fanbench::monitor {

namespace {
const QString kDialogFamily = QStringLiteral("ＭＳ Ｐゴシック");
constexpr int kValueCellHeight = 25;
constexpr int kValueAverageWidth = 10;
}  // namespace

void installFontSubstitutions() {
    QFont::insertSubstitutions(
        kDialogFamily, {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                        QStringLiteral("IPA Pゴシック"), QStringLiteral("VL PGothic"),
                        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("TakaoPGothic")});
}

QFont dialogFont() {
    QFont font(kDialogFamily);
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QFont valueFont(const QFont& dialog) {
    QFont font(dialog);
    // A positive height asks for the cell height: find the pixel size whose line is 25.
    int pixelSize = kValueCellHeight;
    for (int candidate = kValueCellHeight; candidate > 4; --candidate) {
        font.setPixelSize(candidate);
        pixelSize = candidate;
        if (QFontMetrics(font).height() <= kValueCellHeight) break;
    }
    font.setPixelSize(pixelSize);
    const int natural = QFontMetrics(font).averageCharWidth();
    if (natural > 0) {
        font.setStretch(static_cast<int>(std::lround(100.0 * kValueAverageWidth / natural)));
    }
    return font;
}

}  // namespace fanbench::monitor
