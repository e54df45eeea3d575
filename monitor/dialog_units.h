#pragma once
// Dialog-unit layout: positions given in dialog units become pixels from the dialog
// font, the way the original dialog manager converts them, so the windows keep their
// proportions at any DPI and font size.

#include <QFont>
#include <QRect>
#include <QSize>

namespace fanbench::monitor {

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }
    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int w, int h) const;
    QSize size(int w, int h) const;

  private:
    int baseX_;  // average character width
    int baseY_;  // character height
};

}  // namespace fanbench::monitor
