#include "monitor/com_port_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "monitor/dialog_widgets.h"
#include "monitor/monitor_state.h"

namespace fanbench::monitor {

ComPortDialog::ComPortDialog(QWidget* parent) : QDialog(parent) {
    DialogBuilder b(this, QStringLiteral("ComPort"), 167, 48);
    QPushButton* ok = b.button(1, QStringLiteral("OK"), 110, 7, 50, 14);
    QPushButton* cancel = b.button(2, QStringLiteral("ｷｬﾝｾﾙ"), 110, 27, 50, 14);
    QStringList ports;
    for (int i = 1; i <= 20; ++i) ports << QStringLiteral("COM%1").arg(i);
    portList_ = b.dropDown(1008, ports, 50, 7, 48, 256);
    QStringList bauds;
    for (std::uint32_t rate : kBaudRateTable) bauds << QString::number(rate);
    baudList_ = b.dropDown(1009, bauds, 50, 28, 48, 274);
    baudList_->setEnabled(false);
    b.label(QStringLiteral("Port Number"), 7, 9, 38, 8);
    b.label(QStringLiteral("Baud Rate"), 7, 30, 32, 8);

    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, portList_);
    setTabOrder(portList_, baudList_);
    ok->setFocus();
}

int ComPortDialog::exec() {
    baudList_->setCurrentIndex(baudSelection);
    portList_->setCurrentIndex(portSelection);
    return QDialog::exec();
}

void ComPortDialog::accept() {
    baudSelection = baudList_->currentIndex();
    portSelection = portList_->currentIndex();
    QDialog::accept();
}

}  // namespace fanbench::monitor
