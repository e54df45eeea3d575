#pragma once
// The dialogs' font and the large value font of the displays.

#include <QFont>

namespace fanbench::monitor {

// Maps the dialog font family onto metric-compatible Japanese fonts found on Linux.
void installFontSubstitutions();

// "ＭＳ Ｐゴシック" at 9 points.
QFont dialogFont();

// The dialog font with a cell height of 25 and an average character width of 10.
QFont valueFont(const QFont& dialog);

}  // namespace fanbench::monitor
