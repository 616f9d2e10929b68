#include "ui/progress_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/job_host.h"

namespace quorvane {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("In Progress..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(this);
    action_ = new QLabel(QStringLiteral("Prog"), this);
    layout->addWidget(action_);
    layout->addWidget(new QLabel(QStringLiteral("Working on:"), this));
    file_ = new QLabel(QStringLiteral("Filename"), this);
    file_->setMinimumWidth(380);
    file_->setTextFormat(Qt::PlainText);
    layout->addWidget(file_);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    layout->addWidget(progress_);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    layout->addWidget(cancel, 0, Qt::AlignRight);
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (host_) host_->requestCancel();
        emit cancelClicked();
    });
    setFixedSize(sizeHint());
}

void ProgressDialog::startProgress(const QString& action, int maximum) {
    action_->setText(action);
    progress_->setRange(0, maximum > 0 ? maximum : 0);
    progress_->setValue(0);
    show();
    raise();
}

void ProgressDialog::updateProgress(const QString& item, int position) {
    file_->setText(item);
    if (position > progress_->maximum()) progress_->setMaximum(position);
    progress_->setValue(position);
}

void ProgressDialog::setProgressMax(int maximum) { progress_->setMaximum(maximum > 0 ? maximum : 0); }

void ProgressDialog::closeProgress() { hide(); }

QString ProgressDialog::actionText() const { return action_->text(); }
QString ProgressDialog::fileText() const { return file_->text(); }
int ProgressDialog::position() const { return progress_->value(); }
int ProgressDialog::maximum() const { return progress_->maximum(); }

// The window has no close box; Escape and the window manager cannot close it.
void ProgressDialog::closeEvent(QCloseEvent* event) { event->ignore(); }
void ProgressDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

}  // namespace quorvane
