#include "monitor/setting_dialog.h"

#include <QCheckBox>
#include <QPushButton>

#include "monitor/dialog_widgets.h"

namespace fanbench::monitor {

SettingDialog::SettingDialog(QWidget* parent) : QDialog(parent) {
    DialogBuilder b(this, QStringLiteral("ﾀﾞｲｱﾛｸﾞ"), 227, 52);
    QPushButton* ok = b.button(1, QStringLiteral("OK"), 170, 7, 50, 14);
    QPushButton* cancel = b.button(2, QStringLiteral("ｷｬﾝｾﾙ"), 170, 31, 50, 14);
    check_ =
        b.checkBox(1011, QStringLiteral("3PinファンはDuty100%のみ回転数を有効"), 7, 7, 133, 10);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, check_);
    ok->setFocus();
}

int SettingDialog::exec() {
    // Only 1 turns the rule on, so only 1 shows as checked.
    check_->setChecked(checkState == 1);
    return QDialog::exec();
}

void SettingDialog::accept() {
    checkState = check_->isChecked() ? 1 : 0;
    QDialog::accept();
}

}  // namespace fanbench::monitor
