#include "monitor/dialog_widgets.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "monitor/monitor_fonts.h"

namespace fanbench::monitor {

QString controlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

namespace {
// Our Japanese fallback fonts run a little wider than the template's font: a
// left-aligned text grows to the right rather than clip.
QRect growToText(QRect area, int textWidth) {
    area.setWidth(std::max(area.width(), textWidth));
    return area;
}
}  // namespace

DialogBuilder::DialogBuilder(QDialog* dialog, const QString& caption, int width, int height)
    : dialog_(dialog), units_(dialogFont()) {
    dialog->setFont(dialogFont());
    dialog->setWindowTitle(caption);
    dialog->setFixedSize(units_.size(width, height));
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
}

QPushButton* DialogBuilder::button(int id, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, dialog_);
    b->setObjectName(controlName(id));
    b->setAutoDefault(false);
    b->setGeometry(units_.rect(x, y, w, h));
    return b;
}

QComboBox* DialogBuilder::dropDown(int id, const QStringList& items, int x, int y, int w, int h) {
    auto* c = new QComboBox(dialog_);
    c->setObjectName(controlName(id));
    c->addItems(items);
    const QRect full = units_.rect(x, y, w, h);
    const int fieldHeight = units_.y(12);
    c->setGeometry(full.x(), full.y(), full.width(), fieldHeight);
    // The template's height is the dropped list's: show as many rows as fit in it.
    const int rowHeight =
        c->view()->sizeHintForRow(0) > 0 ? c->view()->sizeHintForRow(0) : fieldHeight;
    c->setMaxVisibleItems(std::max(1, (full.height() - fieldHeight) / rowHeight));
    return c;
}

QCheckBox* DialogBuilder::checkBox(int id, const QString& text, int x, int y, int w, int h) {
    auto* c = new QCheckBox(text, dialog_);
    c->setObjectName(controlName(id));
    c->setGeometry(growToText(units_.rect(x, y, w, h), c->sizeHint().width()));
    return c;
}

QLabel* DialogBuilder::label(const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, dialog_);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(growToText(units_.rect(x, y, w, h), l->sizeHint().width()));
    return l;
}

QGroupBox* DialogBuilder::group(const QString& title, int x, int y, int w, int h) {
    auto* g = new QGroupBox(title, dialog_);
    g->setGeometry(units_.rect(x, y, w, h));
    g->lower();
    return g;
}

QLabel* DialogBuilder::display(int id, Qt::Alignment horizontal, int x, int y, int w, int h) {
    auto* l = new QLabel(dialog_);
    l->setObjectName(controlName(id));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(horizontal | Qt::AlignVCenter);
    l->setGeometry(units_.rect(x, y, w, h));
    return l;
}

}  // namespace fanbench::monitor
