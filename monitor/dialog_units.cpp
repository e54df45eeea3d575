#include "monitor/dialog_units.h"

#include <QFontMetrics>

namespace fanbench::monitor {

namespace {
int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the Latin alphabet, rounded, as the dialog manager measures it.
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (alphabet / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::x(int units) const {
    return mulDiv(units, baseX_, 4);
}
int DialogUnits::y(int units) const {
    return mulDiv(units, baseY_, 8);
}

QRect DialogUnits::rect(int left, int top, int w, int h) const {
    return {x(left), y(top), x(w), y(h)};
}

QSize DialogUnits::size(int w, int h) const {
    return {x(w), y(h)};
}

}  // namespace fanbench::monitor
