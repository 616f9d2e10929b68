#include "ui/messages_window.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorvane {

MessagesWindow::MessagesWindow(QWidget* parent) : SatelliteWindow(parent) {
    setWindowTitle(QStringLiteral("Messages"));
    auto* layout = new QVBoxLayout(this);
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("clearButton"));
    clear->setFlat(true);
    layout->addWidget(clear, 0, Qt::AlignLeft);
    auto* split = new QSplitter(Qt::Vertical, this);
    errors_ = new QPlainTextEdit(split);
    errors_->setObjectName(QStringLiteral("logView"));
    errors_->setReadOnly(true);
    errors_->setLineWrapMode(QPlainTextEdit::NoWrap);
    tree_ = new QTreeWidget(split);
    tree_->setObjectName(QStringLiteral("fileTree"));
    tree_->setHeaderHidden(true);
    layout->addWidget(split);
    connect(clear, &QPushButton::clicked, this, &MessagesWindow::clearLog);
    resize(640, 300);
}

void MessagesWindow::addMessage(const QString& text) {
    errors_->appendPlainText(text);
    errors_->appendPlainText(QStringLiteral("--"));
}

void MessagesWindow::addFileNode(const QString& file) {
    currentNode_ = new QTreeWidgetItem(tree_, QStringList{file});
    currentNode_->setExpanded(true);
}

void MessagesWindow::addFileFinding(const QString& message) {
    if (!currentNode_) addFileNode(QString());
    new QTreeWidgetItem(currentNode_, QStringList{message});
    currentNode_->setExpanded(true);
}

void MessagesWindow::clearTree() {
    tree_->clear();
    currentNode_ = nullptr;
}

void MessagesWindow::clearLog() { errors_->clear(); }

QString MessagesWindow::logText() const { return errors_->toPlainText(); }

}  // namespace quorvane
