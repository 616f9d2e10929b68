#include "ui/wait_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane {

WaitDialog::WaitDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Please wait..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* bang = new QLabel(QStringLiteral("!"), this);
    QFont big = bang->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    bang->setFont(big);
    row->addWidget(bang);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("messageLabel"));
    message_->setMinimumWidth(260);
    row->addWidget(message_, 1);
    layout->addLayout(row);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setFlat(true);
    layout->addWidget(ok_, 0, Qt::AlignRight);
    connect(ok_, &QPushButton::clicked, this, &QDialog::close);
}

void WaitDialog::showMessage(const QString& text, bool withOkButton) {
    message_->setText(text);
    ok_->setVisible(withOkButton);
    show();
    raise();
    // Paint now: the caller is about to keep the GUI thread busy.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString WaitDialog::messageText() const { return message_->text(); }
bool WaitDialog::okButtonShown() const { return !ok_->isHidden(); }

}  // namespace quorvane
