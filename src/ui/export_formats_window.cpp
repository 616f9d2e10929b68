#include "ui/export_formats_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "jobs/catalogue_jobs.h"
#include "tools/export_template.h"
#include "tools/file_formats.h"
#include "ui/main_window.h"
#include "ui/ui_dialogs.h"

namespace quorvane {

namespace {

TemplateLines memoLines(const QPlainTextEdit* memo) {
    TemplateLines lines;
    const QString text = memo->toPlainText();
    if (text.isEmpty()) return lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(line.toStdString());
    return lines;
}

void setMemo(QPlainTextEdit* memo, const TemplateLines& lines) {
    QStringList out;
    for (const std::string& l : lines) out << QString::fromStdString(l);
    memo->setPlainText(out.join(QLatin1Char('\n')));
}

QPlainTextEdit* levelPage(QTabWidget* tabs, const char* title, const char* allowed, const char* name) {
    auto* page = new QWidget(tabs);
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QString::fromUtf8(allowed), page), 1);
    auto* clear = new QPushButton(QStringLiteral("Clear"), page);
    clear->setFlat(true);
    top->addWidget(clear);
    layout->addLayout(top);
    auto* memo = new QPlainTextEdit(page);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(memo);
    QObject::connect(clear, &QPushButton::clicked, memo, &QPlainTextEdit::clear);
    tabs->addTab(page, QString::fromUtf8(title));
    return memo;
}

}  // namespace

ExportFormatsWindow::ExportFormatsWindow(MainWindow& main) : QWidget(&main, Qt::Tool), main_(main) {
    setWindowTitle(QStringLiteral("Custom file formats"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Format name:"), this));
    formats_ = new QComboBox(this);
    formats_->setObjectName(QStringLiteral("formats"));
    formats_->setEditable(true);
    formats_->setEditText(QStringLiteral("newFormat"));
    top->addWidget(formats_, 1);
    layout->addLayout(top);
    auto* tabs = new QTabWidget(this);
    syslist_ = levelPage(tabs, "System level", "Allowed keyword: $SYSTEM$", "syslist");
    gamelist_ = levelPage(tabs, "Game level", "Allowed keywords: $SYSTEM$, $GAMENAME$", "gamelist");
    romlist_ = levelPage(tabs, "Rom level", "Allowed keywords: $SYSTEM$, $GAMENAME$, $ROMNAME$", "romlist");
    layout->addWidget(tabs);

    auto* apply = new QGroupBox(QStringLiteral("Apply to:"), this);
    auto* applyLayout = new QVBoxLayout(apply);
    all_ = new QRadioButton(QStringLiteral("All Romsets listed below"), apply);
    all_->setObjectName(QStringLiteral("all"));
    selected_ = new QRadioButton(QStringLiteral("Selected Romsets"), apply);
    selected_->setObjectName(QStringLiteral("selected"));
    all_->setChecked(true);
    applyList_ = new QListWidget(apply);
    applyList_->setObjectName(QStringLiteral("applyList"));
    applyList_->setSelectionMode(QAbstractItemView::MultiSelection);
    applyList_->setEnabled(false);
    applyLayout->addWidget(all_);
    applyLayout->addWidget(selected_);
    applyLayout->addWidget(applyList_);
    layout->addWidget(apply);
    connect(selected_, &QRadioButton::toggled, applyList_, &QWidget::setEnabled);

    auto* status = new QGroupBox(QStringLiteral("Status:"), this);
    auto* statusLayout = new QHBoxLayout(status);
    mis_ = new QRadioButton(QStringLiteral("Missing"), status);
    mis_->setObjectName(QStringLiteral("mis"));
    hav_ = new QRadioButton(QStringLiteral("Available"), status);
    hav_->setObjectName(QStringLiteral("hav"));
    mis_->setChecked(true);
    statusLayout->addWidget(mis_);
    statusLayout->addWidget(hav_);
    layout->addWidget(status);

    auto* buttons = new QHBoxLayout;
    auto* create = new QPushButton(QStringLiteral("Create file!"), this);
    auto* save = new QPushButton(QStringLiteral("Save Format"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(create);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(save, &QPushButton::clicked, this, &ExportFormatsWindow::saveFormat);
    connect(formats_, &QComboBox::textActivated, this, &ExportFormatsWindow::selectFormat);
    connect(create, &QPushButton::clicked, this, [this] {
        const QString target = QFileDialog::getSaveFileName(this, QStringLiteral("Create file!"),
                                                            QStringLiteral("RomsFile.txt"), QStringLiteral("TXT (*.txt)"));
        if (!target.isEmpty()) createFile(target);
    });
}

void ExportFormatsWindow::open(const std::vector<std::string>& shownSystems) {
    applyList_->clear();
    for (const std::string& s : shownSystems) applyList_->addItem(QString::fromStdString(s));
    show();
    raise();
}

void ExportFormatsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reloadFormats();
}

void ExportFormatsWindow::reloadFormats() {
    formats_->clear();
    for (const std::string& name : listFormats(main_.settings().settingsPath))
        formats_->addItem(QString::fromStdString(name));
    syslist_->clear();
    gamelist_->clear();
    romlist_->clear();
}

void ExportFormatsWindow::selectFormat(const QString& name) {
    const ExportFormat f = loadFormat(main_.settings().settingsPath, name.toStdString());
    setMemo(syslist_, f.system);
    setMemo(gamelist_, f.game);
    setMemo(romlist_, f.rom);
}

void ExportFormatsWindow::saveFormat() {
    ExportFormat f{formats_->currentText().toStdString(), memoLines(syslist_), memoLines(gamelist_),
                   memoLines(romlist_)};
    std::string error;
    if (!quorvane::saveFormat(main_.settings().settingsPath, f, error))
        uiDialogs().information(this, QString::fromStdString(error));
    reloadFormats();
}

bool ExportFormatsWindow::createFile(const QString& target) {
    std::vector<std::string> systems;
    for (int i = 0; i < applyList_->count(); ++i)
        if (all_->isChecked() || applyList_->item(i)->isSelected())
            systems.push_back(applyList_->item(i)->text().toStdString());
    const std::string systemText = templateText(memoLines(syslist_));
    const std::string gameText = templateText(memoLines(gamelist_));
    const std::string romText = templateText(memoLines(romlist_));
    if (systemText.empty() && gameText.empty() && romText.empty()) {
        uiDialogs().information(this, QStringLiteral("Error: no valid format"));
        return false;
    }
    ExportRequest request{target.toStdString(), std::move(systems), systemText, gameText, romText,
                          hav_->isChecked() ? 1 : 0};
    const bool started = main_.jobs().startExport(main_.host(), std::move(request));
    main_.jobStarted(started);
    return started;
}

}  // namespace quorvane
