#pragma once
// The port dialog: COM1..COM20 and the (fixed) baud rate.

#include <QDialog>

class QComboBox;

namespace fanbench::monitor {

class ComPortDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ComPortDialog(QWidget* parent = nullptr);

    int portSelection = -1;
    int baudSelection = -1;

    int exec() override;
    void accept() override;

  private:
    QComboBox* portList_;
    QComboBox* baudList_;
};

}  // namespace fanbench::monitor
