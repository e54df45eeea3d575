#pragma once
// Builds a fixed-layout dialog from dialog-unit coordinates: every control gets its
// numeric ID as object name ("id1007"), so tests and tools find it as the user does.

#include <QString>
#include <QStringList>

#include "monitor/dialog_units.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace fanbench::monitor {

QString controlName(int id);

class DialogBuilder {
  public:
    // Sets the dialog font, caption and fixed client size.
    DialogBuilder(QDialog* dialog, const QString& caption, int width, int height);

    const DialogUnits& units() const { return units_; }

    QPushButton* button(int id, const QString& text, int x, int y, int w, int h);
    // `h` is the height with the list dropped down, as in the dialog template.
    QComboBox* dropDown(int id, const QStringList& items, int x, int y, int w, int h);
    QCheckBox* checkBox(int id, const QString& text, int x, int y, int w, int h);
    QLabel* label(const QString& text, int x, int y, int w, int h);
    QGroupBox* group(const QString& title, int x, int y, int w, int h);
    // A sunken text field: right-aligned displays, left-aligned status line.
    QLabel* display(int id, Qt::Alignment horizontal, int x, int y, int w, int h);

  private:
    QDialog* dialog_;
    DialogUnits units_;
};

}  // namespace fanbench::monitor
