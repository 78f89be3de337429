#include "PowerOffCountdownBox.h"

#include "QtPlatformServices.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace velto {

namespace {

QString CountdownText(int secondsLeft) {
    return QCoreApplication::translate("TPowerOffCountdownBox",
                                       "转换已全部完成，%1 秒后将关闭计算机。")
        .arg(secondsLeft);
}

} // namespace

TPowerOffCountdownBox::~TPowerOffCountdownBox() {
    Close();
}

void TPowerOffCountdownBox::Show(int secondsLeft, std::function<void()> cancel) {
    Close();
    box_ = new QMessageBox(QMessageBox::Warning, ProductName(), CountdownText(secondsLeft),
                           QMessageBox::Cancel, parent_);
    box_->button(QMessageBox::Cancel)
        ->setText(QCoreApplication::translate("TPowerOffCountdownBox", "取消关机"));
    // Rejected covers Cancel, Escape and the title bar's close button alike.
    QObject::connect(box_, &QDialog::rejected, box_, [cancel = std::move(cancel)] { cancel(); });
    box_->open();
}

void TPowerOffCountdownBox::Update(int secondsLeft) {
    if (box_)
        box_->setText(CountdownText(secondsLeft));
}

void TPowerOffCountdownBox::Close() {
    if (!box_)
        return;
    // Taken out first: closing emits rejected, which would cancel the power-off being started.
    QMessageBox* box = box_;
    box_ = nullptr;
    box->disconnect();
    box->hide();
    box->deleteLater();
}

} // namespace velto
