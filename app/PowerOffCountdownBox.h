// The box that counts down to the power-off after a batch, with a Cancel button. It only shows
// what TBatchDesktop's timer says; closing it any way but by running out cancels.
#pragma once

#include "BatchDesktop.h"

#include <QPointer>

class QMessageBox;
class QWidget;

namespace velto {

class TPowerOffCountdownBox : public IPowerOffCountdownView {
public:
    explicit TPowerOffCountdownBox(QWidget* parent) : parent_(parent) {}
    ~TPowerOffCountdownBox() override;
    void Show(int secondsLeft, std::function<void()> cancel) override;
    void Update(int secondsLeft) override;
    void Close() override;

private:
    QWidget* parent_;
    QPointer<QMessageBox> box_;
};

} // namespace velto
