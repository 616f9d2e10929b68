#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_repair.h"
#include "catalogue/roms_db.h"
#include "ui/about_dialog.h"
#include "ui/arrangement.h"
#include "ui/export_formats_window.h"
#include "ui/game_roms_window.h"
#include "ui/games_window.h"
#include "ui/messages_window.h"
#include "ui/preferences_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/rom_identifier_window.h"
#include "ui/stats_window.h"
#include "ui/status_icons.h"
#include "ui/systems_window.h"
#include "ui/tool_windows.h"
#include "ui/ui_dialogs.h"
#include "ui/wait_dialog.h"
#include "ui/zip_folder_picker.h"
#include "ui/zip_queue_window.h"

namespace quorvane {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QString withoutAccelerator(const char* caption) { return QString::fromUtf8(caption).remove(QLatin1Char('&')); }
}  // namespace

MainWindow::MainWindow(Settings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Quorvane"));
    setWindowIcon(programIcon());
    progress_ = new ProgressDialog(this);
    gameRoms_ = new GameRomsWindow(this);
    wait_ = new WaitDialog(this);
    messages_ = new MessagesWindow(this);
    preferences_ = new PreferencesDialog(settings_, this);
    games_ = new GamesWindow(this);
    systems_ = new SystemsWindow(this);
    about_ = new AboutDialog(this);
    host_ = std::make_unique<QtJobHost>(*progress_, *messages_, *this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Before the actions: they connect to the tool windows.
    tools_ = std::make_unique<ToolWindows>(*this);
    buildActions();
    buildBars(layout);

    connect(systems_, &SystemsWindow::systemClicked, this,
            [this](const QString& system) { showSystemGames(system.toStdString()); });
    connect(games_, &GamesWindow::gameClicked, this, [this](int index) {
        if (!currentRomset_ || index < 0 || index >= static_cast<int>(currentRomset_->games.size())) return;
        gameRoms_->showGame(currentRomset_->games[static_cast<size_t>(index)]);
    });
    connect(systems_, &SatelliteWindow::movedByUser, this,
            [this] { releaseArrangementIf(systemsWindowPulledAway(systems_->frameGeometry(), frameGeometry())); });
    connect(games_, &SatelliteWindow::movedByUser, this,
            [this] { releaseArrangementIf(gamesWindowPulledAway(games_->frameGeometry(), frameGeometry())); });
    connect(messages_, &SatelliteWindow::movedByUser, this, [this] {
        releaseArrangementIf(messagesWindowPulledAway(messages_->frameGeometry(), games_->frameGeometry()));
    });

    move(static_cast<int>(settings_.left), static_cast<int>(settings_.top));
    if (settings_.initMax) setWindowState(Qt::WindowMaximized);
    ensureDatabasesFolder(settings_);
    openDatabase();
    // Creates the import's scratch database files when they are missing.
    Catalogue(settings_.scratchDatabasePath()).getSystems();
    resize(900, 10);
    lockHeight();
}

MainWindow::~MainWindow() {
    if (db_) db_->waitForJob();
    settings_.top = y();
    settings_.left = x();
    settings_.initMax = isMaximized();
    saveWindowSettings(settings_);
}

void MainWindow::openDatabase() {
    if (db_) db_->waitForJob();
    db_ = std::make_unique<RomsDB>(settings_.currentDatabasePath());
    // Say at once what is wrong, rather than showing an empty catalogue.
    if (db_->impl().probe()) return;
    if (db_->impl().lastOpenFoundDamage()) offerRepair(QStringLiteral("The catalogue is damaged."));
    else uiDialogs().information(this, QString::fromStdString(db_->impl().lastError()));
}

void MainWindow::checkDatabase() {
    if (db_->jobRunning()) return jobStarted(false);
    const std::string base = settings_.currentDatabasePath();
    CatalogueReport report;
    if (const StoreStatus status = checkCatalogue(base, report); status != StoreStatus::Ok) {
        uiDialogs().information(
            this, QString::fromStdString("Cannot check database " + base + ": " + storeStatusText(status)));
        return;
    }
    QString text = QString::fromStdString(checkSummary(base, report));
    if (report.sound()) {
        uiDialogs().information(this, text + QStringLiteral("\nNo damage found."));
        return;
    }
    constexpr int kProblemsShown = 20;
    for (int i = 0; i < static_cast<int>(report.problems.size()) && i < kProblemsShown; ++i)
        text += QStringLiteral("\n") + QString::fromStdString(report.problems[static_cast<size_t>(i)]);
    offerRepair(text + QStringLiteral("\n\nThe catalogue is damaged."));
}

void MainWindow::offerRepair(const QString& question) {
    const QString backup = QString::fromStdString(settings_.backupDir);
    if (!uiDialogs().yesAbort(this, question + QStringLiteral(" Repair it now? A copy of the damaged files is kept in ") +
                                        backup))
        return;
    RepairReport report;
    const StoreStatus status = repairCatalogue(settings_.currentDatabasePath(), settings_.backupDir, report);
    std::string text = report.error;
    if (status != StoreStatus::Ok && text.empty()) text = "Cannot repair the database: " + storeStatusText(status);
    for (const std::string& line : report.lines) text += (text.empty() ? "" : "\n") + line;
    uiDialogs().information(this, QString::fromStdString(text));
    db_ = std::make_unique<RomsDB>(settings_.currentDatabasePath());
    currentRomset_.reset();
    if (systems_) refreshSystems();
}

QAction* MainWindow::makeAction(const char* name, const char* caption, const char* hint, void (MainWindow::*slot)(),
                               bool checkable) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    a->setIconText(withoutAccelerator(caption));
    if (hint && *hint) {
        a->setToolTip(QString::fromUtf8(hint));
        a->setStatusTip(QString::fromUtf8(hint));
    }
    a->setCheckable(checkable);
    if (slot) connect(a, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    actions_[a->objectName()] = a;
    return a;
}

QAction* MainWindow::action(const QString& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QList<QAction*> MainWindow::allActions() const {
    QList<QAction*> out;
    for (const auto& [name, a] : actions_) out.push_back(a);
    return out;
}

void MainWindow::buildActions() {
    makeAction("ImportDat", "&Import .dat files", "Import dat files", &MainWindow::importDats);
    makeAction("Preferences", "&Preferences", "Preferences", nullptr);
    connect(action("Preferences"), &QAction::triggered, preferences_, &QWidget::show);
    makeAction("ErrorWindow", "&Messages window", "Show messages window", &MainWindow::toggleMessages);
    makeAction("showSysWindow", "&Systems window", "Show Systems window", &MainWindow::toggleSystems, true);
    makeAction("showgameswindow", "&Games window", "Show games window", &MainWindow::toggleGames);
    makeAction("arrangewindows", "&Arrange windows", "Arrange Systems and Games windows", &MainWindow::arrangeWindows);
    makeAction("viewallsets", "View &all sets", "View all sets from current DB", &MainWindow::refreshSystems);
    makeAction("incompletesets", "V&iew only incomplete sets", "View incomplete sets from current DB", nullptr);
    connect(action("incompletesets"), &QAction::triggered, this, [this] { showSystemsView(SystemsView::Incomplete); });
    makeAction("Action1", "View only &complete sets", "", nullptr);
    connect(action("Action1"), &QAction::triggered, this, [this] { showSystemsView(SystemsView::Complete); });
    makeAction("allroms", "Vi&ew all roms for selected set", "View all roms from current set", nullptr);
    connect(action("allroms"), &QAction::triggered, this, [this] { showGamesView(GamesView::All); });
    makeAction("incomplete", "View i&ncomplete games for selected set", "View incomplete games from current set",
               nullptr);
    connect(action("incomplete"), &QAction::triggered, this, [this] { showGamesView(GamesView::Incomplete); });
    makeAction("missing", "View &missing games for selected set", "View missing games from current set", nullptr);
    connect(action("missing"), &QAction::triggered, this, [this] { showGamesView(GamesView::Missing); });
    makeAction("available", "View a&vailable games for selected set", "View available games from current set",
               nullptr);
    connect(action("available"), &QAction::triggered, this, [this] { showGamesView(GamesView::Available); });
    makeAction("scansys", "&Scan selected system", "Scan selected system", &MainWindow::scanSelected);
    makeAction("fixsys", "&Fix selected system", "Fix selected system", &MainWindow::fixSelected);
    makeAction("scanall", "S&can all systems", "Scan all systems in current DB", &MainWindow::scanAllShown);
    makeAction("fixall", "F&ix all systems", "Fix all systems in current DB", &MainWindow::fixAllShown);
    makeAction("rebuildall", "&Rebuild all", "Rebuild to current DB (all systems)", &MainWindow::rebuildAll);
    const char* categoryCaptions[] = {"&Tosec", "&Good", "&Arcade", "A&rcade Unemulated", "&Miscellaneous", "C&ustom"};
    for (size_t i = 0; i < kCategories.size(); ++i) {
        const Category& c = kCategories[i];
        const std::string hint = "Set current DB: " + std::string(c.displayName);
        QAction* a = makeAction(std::string(c.action).c_str(), categoryCaptions[i], hint.c_str(), nullptr);
        connect(a, &QAction::triggered, this, [this, &c] { switchCategory(c); });
    }
    makeAction("deleteDB", "Delete/&Initialize DB", "Delete selected DB", &MainWindow::deleteDatabase);
    makeAction("cleanDB", "C&lean DB have/miss status", "Clean Have/Miss status for this DB", &MainWindow::cleanDatabase);
    makeAction("checkDB", "C&heck DB", "Verify every file of the current DB and repair it when damaged",
               &MainWindow::checkDatabase);
    makeAction("deleteSystem", "D&elete Selected System", "Delete selected system from DB",
               &MainWindow::deleteSelectedSystem);
    makeAction("CreateMissHave", "Create Miss/&Have file", "Create Miss/have files for current set",
               &MainWindow::createMissHave);
    makeAction("CreateMissHaveALL", "Cr&eate Miss/Have files for displayed sets",
               "Create Miss/Have files for romsets in systems window", &MainWindow::createMissHaveAll);
    makeAction("CustomFiles", "Create C&ustom Files", "Create custom files", nullptr);
    connect(action("CustomFiles"), &QAction::triggered, this,
            [this] { tools_->formats().open(systems_->shownSystems()); });
    makeAction("Romidentifier", "R&om identifier", "Start Rom Identifier Application", nullptr);
    connect(action("Romidentifier"), &QAction::triggered, this, [this] { tools_->identifier().open(); });
    makeAction("multizipper", "M&ulti-zipper", "Start multi-zipper application", nullptr);
    connect(action("multizipper"), &QAction::triggered, this, [this] {
        tools_->fileZipper().show();
        tools_->fileZipper().raise();
    });
    makeAction("Stats", "S&tats", "Display stats window for current DB", nullptr);
    connect(action("Stats"), &QAction::triggered, this, [this] { tools_->stats().open(); });
    makeAction("About", "&About...", "", nullptr);
    connect(action("About"), &QAction::triggered, about_, &QWidget::show);
    action("showSysWindow")->setChecked(true);
}

void MainWindow::assignIcons() {
    const std::pair<const char*, QStyle::StandardPixmap> icons[] = {
        {"ImportDat", QStyle::SP_DialogOpenButton},     {"Preferences", QStyle::SP_FileDialogDetailedView},
        {"ErrorWindow", QStyle::SP_MessageBoxInformation}, {"showSysWindow", QStyle::SP_DirIcon},
        {"showgameswindow", QStyle::SP_FileDialogListView}, {"arrangewindows", QStyle::SP_TitleBarNormalButton},
        {"viewallsets", QStyle::SP_DirHomeIcon},        {"incompletesets", QStyle::SP_MessageBoxWarning},
        {"Action1", QStyle::SP_DialogApplyButton},      {"allroms", QStyle::SP_FileDialogContentsView},
        {"incomplete", QStyle::SP_BrowserReload},       {"missing", QStyle::SP_DialogCancelButton},
        {"available", QStyle::SP_DialogYesButton},      {"CustomFiles", QStyle::SP_FileDialogNewFolder},
        {"CreateMissHave", QStyle::SP_FileIcon},        {"CreateMissHaveALL", QStyle::SP_DriveHDIcon},
        {"multizipper", QStyle::SP_DriveFDIcon},        {"Stats", QStyle::SP_ComputerIcon},
        {"Romidentifier", QStyle::SP_FileDialogInfoView}, {"About", QStyle::SP_MessageBoxQuestion},
    };
    for (const auto& [name, pixmap] : icons) action(QString::fromLatin1(name))->setIcon(style()->standardIcon(pixmap));
}

void MainWindow::buildBars(QVBoxLayout* layout) {
    assignIcons();
    menuBar_ = new QMenuBar(this);
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    file->addAction(action("ImportDat"));
    file->addAction(action("Preferences"));
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
    for (const char* n : {"ErrorWindow", "showSysWindow", "showgameswindow", "arrangewindows"}) view->addAction(action(n));
    QMenu* filter = menuBar_->addMenu(QStringLiteral("F&ilter"));
    for (const char* n : {"viewallsets", "incompletesets", "allroms", "incomplete", "missing", "available"})
        filter->addAction(action(n));
    QMenu* manager = menuBar_->addMenu(QStringLiteral("&Rommanager"));
    for (const char* n : {"scansys", "fixsys", "scanall", "fixall", "rebuildall"}) manager->addAction(action(n));
    QMenu* database = menuBar_->addMenu(QStringLiteral("&Database"));
    QMenu* current = database->addMenu(QStringLiteral("&Set Current DB"));
    for (const Category& c : kCategories) current->addAction(action(QString::fromLatin1(c.action.data(), c.action.size())));
    for (const char* n : {"deleteDB", "cleanDB", "checkDB", "deleteSystem"}) database->addAction(action(n));
    QMenu* tools = menuBar_->addMenu(QStringLiteral("&Tools"));
    for (const char* n : {"CreateMissHave", "CreateMissHaveALL", "CustomFiles", "Romidentifier", "multizipper", "Stats"})
        tools->addAction(action(n));
    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    help->addAction(action("About"));
    layout->addWidget(menuBar_);

    auto bar = [this](std::initializer_list<const char*> names, bool captions) {
        auto* b = new QToolBar(this);
        // Each bar keeps its full width; the strip grows instead of hiding actions.
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setToolButtonStyle(captions ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        for (const char* n : names) b->addAction(action(QString::fromLatin1(n)));
        return b;
    };
    auto row = [layout](std::initializer_list<QWidget*> widgets) {
        auto* r = new QHBoxLayout;
        r->setSpacing(4);
        for (QWidget* w : widgets) r->addWidget(w);
        r->addStretch(1);
        layout->addLayout(r);
    };
    row({bar({"Preferences", "ImportDat"}, false), bar({"incompletesets", "Action1", "viewallsets"}, false),
         bar({"available", "missing", "incomplete", "allroms"}, false),
         bar({"scansys", "scanall", "fixsys", "fixall", "rebuildall"}, true)});
    row({bar({"arrangewindows", "showSysWindow", "showgameswindow", "ErrorWindow"}, false),
         bar({"Custom", "Miscellaneous", "ArcadeUnemu", "Arcade", "Good", "Tosec"}, true),
         bar({"CustomFiles", "CreateMissHave", "CreateMissHaveALL", "multizipper", "Stats", "Romidentifier"}, false)});
    gamesStyle_ = new QComboBox(this);
    gamesStyle_->setObjectName(QStringLiteral("ComboBoxEx1"));
    gamesStyle_->addItems({QStringLiteral("Show games as a list"), QStringLiteral("Show games as icons")});
    gamesStyle_->setCurrentIndex(1);
    romsStyle_ = new QComboBox(this);
    romsStyle_->setObjectName(QStringLiteral("ComboBoxEx2"));
    romsStyle_->addItems({QStringLiteral("Show roms as a list"), QStringLiteral("Show roms as icons")});
    romsStyle_->setCurrentIndex(0);
    connect(gamesStyle_, &QComboBox::activated, this, [this](int index) { games_->setIconStyle(index != 0); });
    connect(romsStyle_, &QComboBox::activated, this, [this](int index) { gameRoms_->setIconStyle(index != 0); });
    row({bar({"deleteSystem", "cleanDB", "deleteDB"}, true), gamesStyle_, romsStyle_});
}

void MainWindow::lockHeight() {
    lockingHeight_ = true;
    const int height = sizeHint().height();
    setMinimumHeight(height);
    setMaximumHeight(height);
    lockingHeight_ = false;
}

void MainWindow::jobStarted(bool started) {
    if (!started && db_->jobRunning()) uiDialogs().information(this, QString::fromLatin1(kAnotherJobRunning));
}

void MainWindow::refreshSystems() { showSystemsView(SystemsView::All); }

void MainWindow::showSystemsView(SystemsView view) {
    const std::vector<std::string> systems = view == SystemsView::Complete     ? db_->getCompleteSystems()
                                             : view == SystemsView::Incomplete ? db_->getIncompleteSystems()
                                                                               : db_->getSystems();
    systems_->setSystems(systems, q(systemsCaption(view, systems.size())));
    systems_->show();
    action("showSysWindow")->setChecked(true);
}

void MainWindow::clearGamesList() { games_->clearGames(games_->windowTitle()); }

void MainWindow::showSystemGames(const std::string& system) {
    currentRomset_.reset();
    gameRoms_->clearGame();
    gameRoms_->hide();
    wait_->showMessage(QStringLiteral("Wait for roms to be displayed..."), false);
    currentRomset_ = db_->getRomset(system, 0);
    games_->hide();
    games_->setGames(*currentRomset_, q(gamesCaption(GamesView::All, *currentRomset_, db_->getSystemVersion(system))));
    games_->show();
    wait_->hide();
}

void MainWindow::showGamesView(GamesView view) {
    if (!currentRomset_) return;
    const std::string name = currentRomset_->name;
    currentRomset_.reset();
    gameRoms_->clearGame();
    gameRoms_->hide();
    wait_->showMessage(QStringLiteral("Wait for roms to be displayed..."), false);
    currentRomset_ = db_->getRomset(name, gamesViewInfo(view).mode);
    wait_->hide();
    const QString caption = q(gamesCaption(view, *currentRomset_, db_->getSystemVersion(name)));
    if (currentRomset_->games.empty()) games_->clearGames(caption);
    else games_->setGames(*currentRomset_, caption);
}

void MainWindow::switchCategory(const Category& category) {
    settings_.selectCategory(category);
    openDatabase();
    currentRomset_.reset();
    gameRoms_->clearGame();
    refreshSystems();
}

void MainWindow::deleteDatabase() {
    if (db_->jobRunning()) return jobStarted(false);
    if (uiDialogs().yesAbort(this, QStringLiteral("Are you sure you want to delete the whole DB?"))) db_->deleteDB();
    games_->clearGames();
    systems_->clearSystems();
    currentRomset_.reset();
    gameRoms_->clearGame();
}

void MainWindow::cleanDatabase() {
    if (db_->jobRunning()) return jobStarted(false);
    if (uiDialogs().yesAbort(this, QStringLiteral("Are you sure you want to clean roms status?"))) db_->cleanStatus();
    games_->clearGames();
    refreshSystems();
}

void MainWindow::deleteSelectedSystem() {
    const std::string system = systems_->selectedSystem();
    if (system.empty()) return;
    if (db_->jobRunning()) return jobStarted(false);
    db_->deleteSystem(system);
    currentRomset_.reset();
    gameRoms_->clearGame();
    games_->clearGames();
    refreshSystems();
}

void MainWindow::importDats() {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Import .dat files"), QString(), QStringLiteral("dat files (*.dat *.xml)"), nullptr,
        QFileDialog::ReadOnly);
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    jobStarted(db_->importRomset(*host_, settings_, std::move(paths)));
}

void MainWindow::scanSelected() {
    const std::string system = systems_->selectedSystem();
    if (!system.empty()) jobStarted(db_->scanSystem(*host_, settings_, system));
}

void MainWindow::fixSelected() {
    const std::string system = systems_->selectedSystem();
    if (!system.empty()) jobStarted(db_->fixSystem(*host_, settings_, system));
}

void MainWindow::scanAllShown() { jobStarted(db_->scanAll(*host_, settings_, systems_->shownSystems())); }
void MainWindow::fixAllShown() { jobStarted(db_->fixAll(*host_, settings_, systems_->shownSystems())); }
void MainWindow::rebuildAll() { jobStarted(db_->rebuild(*host_, settings_, settings_.sourcedir)); }

void MainWindow::createMissHave() {
    const std::string system = systems_->selectedSystem();
    if (system.empty()) return;
    db_->writeHaveList(settings_, system);
    db_->writeMissList(settings_, system);
}

void MainWindow::createMissHaveAll() {
    jobStarted(db_->createMissHaveAll(*host_, settings_, systems_->shownSystems()));
}

void MainWindow::toggleMessages() { messages_->setVisible(!messages_->isVisible()); }

void MainWindow::toggleSystems() {
    systems_->setVisible(!systems_->isVisible());
    action("showSysWindow")->setChecked(systems_->isVisible());
}

void MainWindow::toggleGames() { games_->setVisible(!games_->isVisible()); }

void MainWindow::askDuplicates(const std::string& fileName, const std::string& archivePath,
                              const std::vector<GenericRom>& matches, std::function<void(DupesAnswer)> answered) {
    tools_->askDuplicates(fileName, archivePath, matches, std::move(answered));
}

void MainWindow::arrangeWindows() {
    const Arrangement a = arrangeAround(frameGeometry(), systems_->frameGeometry(), messages_->frameGeometry());
    systems_->placeFrame(a.systems);
    games_->placeFrame(a.games);
    messages_->placeFrame(a.messages);
    arranged_ = true;
}

void MainWindow::followMainWindow() {
    if (arranged_) arrangeWindows();
}

void MainWindow::releaseArrangementIf(bool pulledAway) {
    if (arranged_ && pulledAway) arranged_ = false;
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    followMainWindow();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!lockingHeight_ && height() != sizeHint().height()) lockHeight();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        games_->hide();
        gameRoms_->hide();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    for (QWidget* w : {static_cast<QWidget*>(systems_), static_cast<QWidget*>(games_),
                       static_cast<QWidget*>(gameRoms_), static_cast<QWidget*>(messages_)})
        w->hide();
}

}  // namespace quorvane
