// The about box: product name and version, the maker's line, the home page and the support
// mail address as working links, and OK.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velto {

class IShell;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // The links open through shell, which must outlive the box.
    TfrmAbout(IShell& shell, QWidget* parent = nullptr);

    QLabel* lblSoftwareName;
    QLabel* lblNotice;
    QLabel* lblHomePage;
    QLabel* lblEMail;
    QPushButton* btnOK;

private:
    IShell& shell_;
};

// The mail a "contact us" opens: the support address with the subject "关于<product>...".
QString ContactMailTarget();

} // namespace velto
