#include "modal_driver.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace fanbench::monitor {

namespace {
// Parent of the waiting timers, so forgetPendingModalActions() can drop them.
QObject* watchers() {
    static QObject* parent = new QObject;
    return parent;
}
}  // namespace

void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(watchers());
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start(5);
}

void forgetPendingModalActions() {
    qDeleteAll(watchers()->children());
}

}  // namespace fanbench::monitor
