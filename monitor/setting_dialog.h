#pragma once
// The setting dialog: the IgnoreRotation check box.

#include <QDialog>

class QCheckBox;

namespace fanbench::monitor {

class SettingDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SettingDialog(QWidget* parent = nullptr);

    int checkState = 0;  // 1 checked, 0 unchecked

    int exec() override;
    void accept() override;

  private:
    QCheckBox* check_;
};

}  // namespace fanbench::monitor
