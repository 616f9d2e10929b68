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
#include "ui/current_database.h"
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

ExportFormatsWindow::ExportFormatsWindow(const Settings& settings, JobHost& host, CurrentDatabase& database,
                                         QWidget* parent)
    : QWidget(parent, Qt::Tool), settings_(settings), host_(host), database_(database) {
    setWindowTitle(QStringLiteral("Custom file formats"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Format name:"), this));
    formats_ = new QComboBox(this);
    formats_->setObjectName(QStringLiteral("formatNameBox"));
    formats_->setEditable(true);
    formats_->setEditText(QStringLiteral("newFormat"));
    top->addWidget(formats_, 1);
    layout->addLayout(top);
    auto* tabs = new QTabWidget(this);
    systemTemplate_ = levelPage(tabs, "System level", "Allowed keyword: $SYSTEM$", "systemTemplateEdit");
    gameTemplate_ = levelPage(tabs, "Game level", "Allowed keywords: $SYSTEM$, $GAMENAME$", "gameTemplateEdit");
    romTemplate_ = levelPage(tabs, "Rom level", "Allowed keywords: $SYSTEM$, $GAMENAME$, $ROMNAME$", "romTemplateEdit");
    layout->addWidget(tabs);

    auto* apply = new QGroupBox(QStringLiteral("Apply to:"), this);
    auto* applyLayout = new QVBoxLayout(apply);
    applyToAll_ = new QRadioButton(QStringLiteral("All Romsets listed below"), apply);
    applyToAll_->setObjectName(QStringLiteral("applyToAllButton"));
    applyToSelected_ = new QRadioButton(QStringLiteral("Selected Romsets"), apply);
    applyToSelected_->setObjectName(QStringLiteral("applyToSelectedButton"));
    applyToAll_->setChecked(true);
    romsets_ = new QListWidget(apply);
    romsets_->setObjectName(QStringLiteral("romsetsList"));
    romsets_->setSelectionMode(QAbstractItemView::MultiSelection);
    romsets_->setEnabled(false);
    applyLayout->addWidget(applyToAll_);
    applyLayout->addWidget(applyToSelected_);
    applyLayout->addWidget(romsets_);
    layout->addWidget(apply);
    connect(applyToSelected_, &QRadioButton::toggled, romsets_, &QWidget::setEnabled);

    auto* status = new QGroupBox(QStringLiteral("Status:"), this);
    auto* statusLayout = new QHBoxLayout(status);
    missing_ = new QRadioButton(QStringLiteral("Missing"), status);
    missing_->setObjectName(QStringLiteral("missingButton"));
    available_ = new QRadioButton(QStringLiteral("Available"), status);
    available_->setObjectName(QStringLiteral("availableButton"));
    missing_->setChecked(true);
    statusLayout->addWidget(missing_);
    statusLayout->addWidget(available_);
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
    romsets_->clear();
    for (const std::string& s : shownSystems) romsets_->addItem(QString::fromStdString(s));
    show();
    raise();
}

void ExportFormatsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reloadFormats();
}

void ExportFormatsWindow::reloadFormats() {
    formats_->clear();
    for (const std::string& name : listFormats(settings_.settingsPath)) formats_->addItem(QString::fromStdString(name));
    systemTemplate_->clear();
    gameTemplate_->clear();
    romTemplate_->clear();
}

void ExportFormatsWindow::selectFormat(const QString& name) {
    const ExportFormat f = loadFormat(settings_.settingsPath, name.toStdString());
    setMemo(systemTemplate_, f.system);
    setMemo(gameTemplate_, f.game);
    setMemo(romTemplate_, f.rom);
}

void ExportFormatsWindow::saveFormat() {
    ExportFormat f{formats_->currentText().toStdString(), memoLines(systemTemplate_), memoLines(gameTemplate_),
                   memoLines(romTemplate_)};
    std::string error;
    if (!quorvane::saveFormat(settings_.settingsPath, f, error))
        uiDialogs().information(this, QString::fromStdString(error));
    reloadFormats();
}

bool ExportFormatsWindow::createFile(const QString& target) {
    std::vector<std::string> systems;
    for (int i = 0; i < romsets_->count(); ++i)
        if (applyToAll_->isChecked() || romsets_->item(i)->isSelected())
            systems.push_back(romsets_->item(i)->text().toStdString());
    const std::string systemText = templateText(memoLines(systemTemplate_));
    const std::string gameText = templateText(memoLines(gameTemplate_));
    const std::string romText = templateText(memoLines(romTemplate_));
    if (systemText.empty() && gameText.empty() && romText.empty()) {
        uiDialogs().information(this, QStringLiteral("Error: no valid format"));
        return false;
    }
    ExportRequest request{target.toStdString(), std::move(systems), systemText, gameText, romText,
                          available_->isChecked() ? 1 : 0};
    const bool started = database_.jobs().startExport(host_, std::move(request));
    database_.jobStarted(started);
    return started;
}

}  // namespace quorvane
