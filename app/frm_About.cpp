#include "frm_About.h"

#include "PlatformServices.h"
#include "frm_Main.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace velto {

QString ContactMailTarget() {
    const QString subject = TfrmAbout::tr("关于%1...").arg(ProductName());
    return QStringLiteral("mailto:%1?subject=%2")
        .arg(QString::fromUtf8(kSupportMail), QString::fromUtf8(QUrl::toPercentEncoding(subject)));
}

TfrmAbout::TfrmAbout(IShell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About %1").arg(ProductName()));

    lblSoftwareName =
        new QLabel(QStringLiteral("%1 (%2)").arg(ProductName(), QString::fromUtf8(kVersionText)));
    QFont bold = lblSoftwareName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblSoftwareName->setFont(bold);
    lblNotice = new QLabel(tr("3GP 视频转换器。版权所有 © Velto Software。"));

    // Links go through the shell service, so tests see them and the desktop opens them.
    auto link = [this](const QString& target, const QString& text, const QString& hint) {
        auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                                     .arg(target.toHtmlEscaped(), text.toHtmlEscaped()));
        label->setToolTip(hint);
        label->setCursor(Qt::PointingHandCursor);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(label, &QLabel::linkActivated, this,
                [this](const QString& href) { shell_.Open(href, IShell::TShow::Maximised); });
        return label;
    };
    lblHomePage =
        link(QString::fromUtf8(kHomePage), QString::fromUtf8(kHomePage), tr("访问我们的网站"));
    lblEMail = link(ContactMailTarget(), QString::fromUtf8(kSupportMail), tr("通过邮件联系我们"));

    auto* bevel = new QFrame;
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);

    btnOK = new QPushButton(tr("确定"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSoftwareName);
    layout->addWidget(lblNotice);
    layout->addWidget(lblHomePage);
    layout->addWidget(lblEMail);
    layout->addWidget(bevel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    layout->addLayout(buttons);
    setMinimumWidth(353);
}

} // namespace velto
