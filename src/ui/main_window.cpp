#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
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
#include "jobs/catalogue_jobs.h"
#include "jobs/undo_flow.h"
#include "ui/about_dialog.h"
#include "ui/arrangement.h"
#include "ui/export_formats_window.h"
#include "ui/game_roms_window.h"
#include "ui/games_window.h"
#include "ui/gui_thread.h"
#include "ui/messages_window.h"
#include "ui/preferences_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/rom_identifier_window.h"
#include "ui/satellite_window.h"
#include "ui/stats_window.h"
#include "ui/status_icons.h"
#include "ui/systems_window.h"
#include "ui/tool_windows.h"
#include "ui/undo_history_window.h"
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
    setWindowIcon(programIcon());
    progress_ = new ProgressDialog(this);
    gameRoms_ = new GameRomsWindow(this);
    wait_ = new WaitDialog(this);
    messages_ = new MessagesWindow(this);
    preferences_ = new PreferencesDialog(settings_, this);
    games_ = new GamesWindow(this);
    systems_ = new SystemsWindow(settings_, this);
    about_ = new AboutDialog(this);
    host_ = std::make_unique<QtJobHost>(*progress_, *messages_, *this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Before the actions: they connect to the tool windows.
    tools_ = std::make_unique<ToolWindows>(*this, settings_, *host_, *this, *messages_,
                                           [this](const std::string& id) { undoRunNamed(id); });
    buildActions();
    buildBars(layout);

    connect(systems_, &SystemsWindow::systemClicked, this,
            [this](const QString& system) { showSystemGames(system.toStdString()); });
    connect(games_, &GamesWindow::gameClicked, this, [this](int index) {
        if (!currentRomset_ || index < 0 || index >= static_cast<int>(currentRomset_->games.size())) return;
        // The listing holds no ROMs: the game index gives this one's.
        Game game;
        db_->catalogue().getGame(currentRomset_->name, currentRomset_->games[static_cast<size_t>(index)].name, game);
        gameRoms_->showGame(game);
    });
    connect(systems_, &SatelliteWindow::movedByUser, this,
            [this] { releaseArrangementIf(systemsWindowPulledAway(frameOf(*systems_), frameOf(*this))); });
    connect(games_, &SatelliteWindow::movedByUser, this,
            [this] { releaseArrangementIf(gamesWindowPulledAway(frameOf(*games_), frameOf(*this))); });
    connect(messages_, &SatelliteWindow::movedByUser, this,
            [this] { releaseArrangementIf(messagesWindowPulledAway(frameOf(*messages_), frameOf(*games_))); });

    ensureDatabasesFolder(settings_);
    openDatabase();
    showCurrentCategory();
    // Creates the import's scratch database files when they are missing.
    Catalogue(settings_.scratchDatabasePath()).getSystems();
    resize(900, 10);
    lockHeight();
    // "Top" and "Left" are the client area's corner, saved and restored
    // alike: the frame's corner, known only once the window manager has
    // framed the window, would come back one title bar higher.
    setGeometry(QRect(QPoint(static_cast<int>(settings_.left), static_cast<int>(settings_.top)), size()));
    if (settings_.initMax) setWindowState(Qt::WindowMaximized);
    // Placed before they are first shown, the window manager leaves the
    // satellites where they are put.
    arrangeWindows();
}

MainWindow::~MainWindow() {
    if (db_) db_->wait();
    const QRect client = isMaximized() ? normalGeometry() : geometry();
    settings_.top = client.y();
    settings_.left = client.x();
    settings_.initMax = isMaximized();
    saveWindowSettings(settings_);
}

void MainWindow::openDatabase() {
    if (db_) db_->wait();
    openJobs();
    // Say at once what is wrong, rather than showing an empty catalogue.
    if (db_->catalogue().probe()) return;
    if (db_->catalogue().lastOpenFoundDamage()) offerRepair(QStringLiteral("The catalogue is damaged."));
    else uiDialogs().information(this, QString::fromStdString(db_->catalogue().lastError()));
}

void MainWindow::openJobs() {
    db_ = std::make_unique<CatalogueJobs>(settings_.currentDatabasePath(), [this](const JobResult& result) {
        // On the job's thread, which waits: the windows show the result
        // before the next job can start.
        runOnGuiThreadAndWait(*this, [this, &result] { showJobResult(result); });
    });
}

void MainWindow::checkDatabase() {
    if (db_->busy()) return jobStarted(false);
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
    openJobs();
    currentRomset_.reset();
    if (systems_) refreshSystems();
}

namespace {
// An action whose caption shows without its accelerator on a tool button.
template <typename Receiver, typename Slot>
QAction* newAction(QWidget* owner, const char* caption, const char* hint, const Receiver* receiver, Slot slot) {
    auto* a = new QAction(QString::fromUtf8(caption), owner);
    a->setIconText(withoutAccelerator(caption));
    if (*hint) {
        a->setToolTip(QString::fromUtf8(hint));
        a->setStatusTip(QString::fromUtf8(hint));
    }
    QObject::connect(a, &QAction::triggered, receiver, slot);
    return a;
}
}  // namespace

void MainWindow::buildActions() {
    Actions& a = actions_;
    a.importDats = newAction(this, "&Import .dat files", "Import dat files", this, &MainWindow::importDats);
    a.importDatFolder = newAction(this, "Import .dat &folder", "Import every dat file in a folder and its subfolders",
                                  this, &MainWindow::importDatFolder);
    a.preferences = newAction(this, "&Preferences", "Preferences", preferences_, &QWidget::show);
    a.messagesWindow = newAction(this, "&Messages window", "Show messages window", this, &MainWindow::toggleMessages);
    a.systemsWindow = newAction(this, "&Systems window", "Show Systems window", this, &MainWindow::toggleSystems);
    a.systemsWindow->setCheckable(true);
    a.gamesWindow = newAction(this, "&Games window", "Show games window", this, &MainWindow::toggleGames);
    a.arrangeWindows =
        newAction(this, "&Arrange windows", "Arrange Systems and Games windows", this, &MainWindow::arrangeWindows);
    a.allSets = newAction(this, "View &all sets", "View all sets from current DB", this, &MainWindow::refreshSystems);
    a.incompleteSets = newAction(this, "V&iew only incomplete sets", "View incomplete sets from current DB", this,
                                 [this] { showSystemsView(SystemsView::Incomplete); });
    a.completeSets =
        newAction(this, "View only &complete sets", "", this, [this] { showSystemsView(SystemsView::Complete); });
    a.allGames = newAction(this, "Vi&ew all roms for selected set", "View all roms from current set", this,
                           [this] { showGamesView(GamesView::All); });
    a.incompleteGames =
        newAction(this, "View i&ncomplete games for selected set", "View incomplete games from current set", this,
                  [this] { showGamesView(GamesView::Incomplete); });
    a.missingGames = newAction(this, "View &missing games for selected set", "View missing games from current set",
                               this, [this] { showGamesView(GamesView::Missing); });
    a.availableGames =
        newAction(this, "View a&vailable games for selected set", "View available games from current set", this,
                  [this] { showGamesView(GamesView::Available); });
    a.showBiosSets = newAction(this, "Show &BIOS and device sets", "List BIOS and device sets among the games", this,
                               [this] { showGamesView(gamesView_); });
    a.showBiosSets->setCheckable(true);
    a.showBiosSets->setChecked(true);
    a.scanSelected = newAction(this, "&Scan selected system", "Scan selected system", this, &MainWindow::scanSelected);
    a.fixSelected = newAction(this, "&Fix selected system", "Fix selected system", this, &MainWindow::fixSelected);
    a.scanAll = newAction(this, "S&can all systems", "Scan all systems in current DB", this, &MainWindow::scanAllShown);
    a.fixAll = newAction(this, "F&ix all systems", "Fix all systems in current DB", this, &MainWindow::fixAllShown);
    a.rebuildAll =
        newAction(this, "&Rebuild all", "Rebuild to current DB (all systems)", this, &MainWindow::rebuildAll);
    const char* categoryCaptions[] = {"&Tosec", "&Good", "&Arcade", "A&rcade Unemulated", "&Miscellaneous", "C&ustom"};
    auto* categoryGroup = new QActionGroup(this);
    for (size_t i = 0; i < kCategories.size(); ++i) {
        const Category& c = kCategories[i];
        const std::string hint = "Set current DB: " + std::string(c.displayName);
        a.categories[i] = newAction(this, categoryCaptions[i], hint.c_str(), this, [this, &c] { switchCategory(c); });
        a.categories[i]->setCheckable(true);
        categoryGroup->addAction(a.categories[i]);
    }
    a.deleteDatabase =
        newAction(this, "Delete/&Initialize DB", "Delete selected DB", this, &MainWindow::deleteDatabase);
    a.cleanDatabase = newAction(this, "C&lean DB have/miss status", "Clean Have/Miss status for this DB", this,
                                &MainWindow::cleanDatabase);
    a.checkDatabase = newAction(this, "C&heck DB", "Verify every file of the current DB and repair it when damaged",
                                this, &MainWindow::checkDatabase);
    a.deleteSystem = newAction(this, "D&elete Selected System", "Delete selected system from DB", this,
                               &MainWindow::deleteSelectedSystem);
    a.missHave = newAction(this, "Create Miss/&Have file", "Create Miss/have files for current set", this,
                           &MainWindow::createMissHave);
    a.missHaveAll =
        newAction(this, "Cr&eate Miss/Have files for displayed sets",
                  "Create Miss/Have files for romsets in systems window", this, &MainWindow::createMissHaveAll);
    a.customFiles = newAction(this, "Create C&ustom Files", "Create custom files", this,
                              [this] { tools_->formats().open(systems_->shownSystems()); });
    a.romIdentifier = newAction(this, "R&om identifier", "Start Rom Identifier Application", this,
                                [this] { tools_->identifier().open(); });
    a.multiZipper = newAction(this, "M&ulti-zipper", "Start multi-zipper application", this, [this] {
        tools_->fileZipper().show();
        tools_->fileZipper().raise();
    });
    a.stats =
        newAction(this, "S&tats", "Display stats window for current DB", this, [this] { tools_->stats().open(); });
    a.undoLastRun = newAction(this, "Undo last fix...", "Take back the last run that changed the collection", this,
                              &MainWindow::undoLastRun);
    a.undoHistory = newAction(this, "Undo history...", "The runs that changed the collection, to undo one", this,
                              [this] { tools_->undoHistory().open(); });
    a.about = newAction(this, "&About...", "", about_, &QWidget::show);
    a.systemsWindow->setChecked(true);
}

void MainWindow::assignIcons() {
    const Actions& a = actions_;
    const std::pair<QAction*, QStyle::StandardPixmap> icons[] = {
        {a.importDats, QStyle::SP_DialogOpenButton},
        {a.preferences, QStyle::SP_FileDialogDetailedView},
        {a.messagesWindow, QStyle::SP_MessageBoxInformation},
        {a.systemsWindow, QStyle::SP_DirIcon},
        {a.gamesWindow, QStyle::SP_FileDialogListView},
        {a.arrangeWindows, QStyle::SP_TitleBarNormalButton},
        {a.allSets, QStyle::SP_DirHomeIcon},
        {a.incompleteSets, QStyle::SP_MessageBoxWarning},
        {a.completeSets, QStyle::SP_DialogApplyButton},
        {a.allGames, QStyle::SP_FileDialogContentsView},
        {a.incompleteGames, QStyle::SP_BrowserReload},
        {a.missingGames, QStyle::SP_DialogCancelButton},
        {a.availableGames, QStyle::SP_DialogYesButton},
        {a.customFiles, QStyle::SP_FileDialogNewFolder},
        {a.missHave, QStyle::SP_FileIcon},
        {a.missHaveAll, QStyle::SP_DriveHDIcon},
        {a.multiZipper, QStyle::SP_DriveFDIcon},
        {a.stats, QStyle::SP_ComputerIcon},
        {a.romIdentifier, QStyle::SP_FileDialogInfoView},
        {a.about, QStyle::SP_MessageBoxQuestion},
    };
    for (const auto& [action, pixmap] : icons) action->setIcon(style()->standardIcon(pixmap));
}

void MainWindow::buildBars(QVBoxLayout* layout) {
    assignIcons();
    const Actions& a = actions_;
    menuBar_ = new QMenuBar(this);
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    file->addActions({a.importDats, a.importDatFolder, a.preferences});
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    menuBar_->addMenu(QStringLiteral("&View"))
        ->addActions({a.messagesWindow, a.systemsWindow, a.gamesWindow, a.arrangeWindows});
    menuBar_->addMenu(QStringLiteral("F&ilter"))
        ->addActions({a.allSets, a.incompleteSets, a.allGames, a.incompleteGames, a.missingGames, a.availableGames,
                      a.showBiosSets});
    menuBar_->addMenu(QStringLiteral("&Rommanager"))
        ->addActions({a.scanSelected, a.fixSelected, a.scanAll, a.fixAll, a.rebuildAll});
    QMenu* database = menuBar_->addMenu(QStringLiteral("&Database"));
    database->addMenu(QStringLiteral("&Set Current DB"))
        ->addActions(QList<QAction*>(a.categories.begin(), a.categories.end()));
    database->addActions({a.deleteDatabase, a.cleanDatabase, a.checkDatabase, a.deleteSystem});
    QMenu* tools = menuBar_->addMenu(QStringLiteral("&Tools"));
    tools->addActions({a.missHave, a.missHaveAll, a.customFiles, a.romIdentifier, a.multiZipper, a.stats});
    tools->addSeparator();
    tools->addActions({a.undoLastRun, a.undoHistory});
    menuBar_->addMenu(QStringLiteral("&Help"))->addAction(a.about);
    layout->addWidget(menuBar_);

    auto bar = [this](const QList<QAction*>& actions, bool captions) {
        auto* b = new QToolBar(this);
        // Each bar keeps its full width; the strip grows instead of hiding actions.
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setToolButtonStyle(captions ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        b->addActions(actions);
        return b;
    };
    auto row = [layout](std::initializer_list<QWidget*> widgets) {
        auto* r = new QHBoxLayout;
        r->setSpacing(4);
        for (QWidget* w : widgets) r->addWidget(w);
        r->addStretch(1);
        layout->addLayout(r);
    };
    row({bar({a.preferences, a.importDats}, false), bar({a.incompleteSets, a.completeSets, a.allSets}, false),
         bar({a.availableGames, a.missingGames, a.incompleteGames, a.allGames}, false),
         bar({a.scanSelected, a.scanAll, a.fixSelected, a.fixAll, a.rebuildAll}, true)});
    // The categories right to left.
    row({bar({a.arrangeWindows, a.systemsWindow, a.gamesWindow, a.messagesWindow}, false),
         bar(QList<QAction*>(a.categories.rbegin(), a.categories.rend()), true),
         bar({a.customFiles, a.missHave, a.missHaveAll, a.multiZipper, a.stats, a.romIdentifier}, false)});
    gamesStyle_ = new QComboBox(this);
    gamesStyle_->setObjectName(QStringLiteral("gamesStyleBox"));
    gamesStyle_->addItems({QStringLiteral("Show games as a list"), QStringLiteral("Show games as icons")});
    gamesStyle_->setCurrentIndex(1);
    romsStyle_ = new QComboBox(this);
    romsStyle_->setObjectName(QStringLiteral("romsStyleBox"));
    romsStyle_->addItems({QStringLiteral("Show roms as a list"), QStringLiteral("Show roms as icons")});
    romsStyle_->setCurrentIndex(0);
    connect(gamesStyle_, &QComboBox::activated, this, [this](int index) { games_->setIconStyle(index != 0); });
    connect(romsStyle_, &QComboBox::activated, this, [this](int index) { gameRoms_->setIconStyle(index != 0); });
    row({bar({a.deleteSystem, a.cleanDatabase, a.deleteDatabase}, true), gamesStyle_, romsStyle_});
}

void MainWindow::lockHeight() {
    lockingHeight_ = true;
    const int height = sizeHint().height();
    setMinimumHeight(height);
    setMaximumHeight(height);
    lockingHeight_ = false;
}

void MainWindow::jobStarted(bool started) {
    if (!started && db_->busy()) uiDialogs().information(this, QString::fromLatin1(kAnotherJobRunning));
}

void MainWindow::refreshSystems() { showSystemsView(SystemsView::All); }

void MainWindow::showSystemsView(SystemsView view) {
    const std::vector<std::string> systems = view == SystemsView::Complete     ? db_->catalogue().getCompleteSystems()
                                             : view == SystemsView::Incomplete ? db_->catalogue().getIncompleteSystems()
                                                                               : db_->catalogue().getSystems();
    systems_->setSystems(systems, q(systemsCaption(view, systems.size())));
    systems_->show();
    actions_.systemsWindow->setChecked(true);
}

void MainWindow::clearGamesList() { games_->clearGames(games_->windowTitle()); }

void MainWindow::showSystemGames(const std::string& system) {
    currentRomset_.reset();
    gameRoms_->clearGame();
    gameRoms_->hide();
    wait_->showMessage(QStringLiteral("Wait for roms to be displayed..."), false);
    gamesView_ = GamesView::All;
    currentRomset_ = gamesToShow(system, gamesView_);
    games_->hide();
    games_->setGames(*currentRomset_,
                     q(gamesCaption(GamesView::All, *currentRomset_, db_->catalogue().getSystemVersion(system))));
    games_->show();
    wait_->hide();
}

void MainWindow::showJobResult(const JobResult& result) {
    switch (result.refresh) {
        case JobResult::Refresh::Nothing: break;
        case JobResult::Refresh::SystemGames: showSystemGames(result.system); break;
        case JobResult::Refresh::Games: clearGamesList(); break;
        case JobResult::Refresh::SystemsAndGames:
            clearGamesList();
            refreshSystems();
            break;
    }
}

Romset MainWindow::gamesToShow(const std::string& system, GamesView view) {
    Romset romset = db_->catalogue().listGames(system, gamesViewInfo(view).mode);
    if (!actions_.showBiosSets->isChecked()) hideBiosAndDeviceSets(romset);
    return romset;
}

void MainWindow::showGamesView(GamesView view) {
    if (!currentRomset_) return;
    const std::string name = currentRomset_->name;
    currentRomset_.reset();
    gameRoms_->clearGame();
    gameRoms_->hide();
    wait_->showMessage(QStringLiteral("Wait for roms to be displayed..."), false);
    gamesView_ = view;
    currentRomset_ = gamesToShow(name, view);
    wait_->hide();
    const QString caption = q(gamesCaption(view, *currentRomset_, db_->catalogue().getSystemVersion(name)));
    if (currentRomset_->games.empty()) games_->clearGames(caption);
    else games_->setGames(*currentRomset_, caption);
}

void MainWindow::switchCategory(const Category& category) {
    settings_.selectCategory(category);
    openDatabase();
    showCurrentCategory();
    // The games and ROMs shown were the other category's.
    currentRomset_.reset();
    games_->clearGames();
    gameRoms_->clearGame();
    refreshSystems();
}

void MainWindow::showCurrentCategory() {
    const Category* current = categoryByDatabaseName(settings_.currentdb);
    const QString name = current ? QString::fromUtf8(current->displayName.data(), current->displayName.size())
                                 : QString::fromStdString(settings_.currentdb);
    setWindowTitle(QStringLiteral("Quorvane \u2014 ") + name);
    for (size_t i = 0; i < kCategories.size(); ++i) actions_.categories[i]->setChecked(&kCategories[i] == current);
}

void MainWindow::deleteDatabase() {
    if (db_->busy()) return jobStarted(false);
    if (uiDialogs().yesAbort(this, QStringLiteral("Are you sure you want to delete the whole DB?")))
        db_->catalogue().deleteDB();
    games_->clearGames();
    systems_->clearSystems();
    currentRomset_.reset();
    gameRoms_->clearGame();
}

void MainWindow::cleanDatabase() {
    if (db_->busy()) return jobStarted(false);
    if (uiDialogs().yesAbort(this, QStringLiteral("Are you sure you want to clean roms status?")))
        db_->catalogue().cleanStatus();
    games_->clearGames();
    refreshSystems();
}

void MainWindow::deleteSelectedSystem() {
    const std::string system = systems_->selectedSystem();
    if (system.empty()) return;
    if (db_->busy()) return jobStarted(false);
    db_->catalogue().deleteSystem(system);
    currentRomset_.reset();
    gameRoms_->clearGame();
    games_->clearGames();
    refreshSystems();
}

void MainWindow::undoLastRun() {
    const std::vector<RunSummary> runs = listRuns(settings_.backupDir);
    const RunSummary* run = lastRunToUndo(runs);
    if (!run) return uiDialogs().information(this, QStringLiteral("There is no run to undo."));
    undo(*run);
}

void MainWindow::undoRunNamed(const std::string& id) {
    // Read again: the window's list may be older than the backup folder.
    const std::vector<RunSummary> runs = listRuns(settings_.backupDir);
    const RunSummary* run = runNamed(runs, id);
    if (!run) return uiDialogs().information(this, q(noSuchRunText(id, settings_.backupDir)));
    if (run->undone) {
        uiDialogs().information(this, q(alreadyUndoneText(*run)));
        return tools_->undoHistory().reload();
    }
    undo(*run);
}

void MainWindow::undo(const RunSummary& run) {
    // A running job may be writing the very files the undo would put back.
    if (db_->busy()) return jobStarted(false);
    const UndoConversation undone = undoWithQuestions(*host_, db_->catalogue(), run);
    if (!undone.changedFiles()) return;
    currentRomset_.reset();
    gameRoms_->clearGame();
    games_->clearGames();
    refreshSystems();
    tools_->undoHistory().reload();
    if (undone.clearedSystems.empty()) return;
    if (uiDialogs().yesAbort(this, QStringLiteral("Scan the affected systems now?")))
        jobStarted(db_->startScan(*host_, settings_, undone.clearedSystems));
}

void MainWindow::importDats() {
    // A zip is a pack of DATs; each DAT inside is imported.
    importPaths(uiDialogs().openFileNames(this, QStringLiteral("Import .dat files"),
                                          QStringLiteral("dat files (*.dat *.xml *.zip)")));
}

void MainWindow::importDatFolder() {
    const QString folder = uiDialogs().existingFolder(this, QStringLiteral("Import every .dat file in a folder"));
    if (!folder.isEmpty()) importPaths({folder});
}

void MainWindow::importPaths(const QStringList& chosen) {
    if (chosen.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : chosen) paths.push_back(f.toStdString());
    jobStarted(db_->startImport(*host_, settings_, std::move(paths)));
}

void MainWindow::scanSelected() {
    const std::string system = systems_->selectedSystem();
    if (!system.empty()) jobStarted(db_->startScan(*host_, settings_, system));
}

void MainWindow::fixSelected() {
    const std::string system = systems_->selectedSystem();
    if (!system.empty()) jobStarted(db_->startFix(*host_, settings_, system));
}

void MainWindow::scanAllShown() { jobStarted(db_->startScan(*host_, settings_, systems_->shownSystems())); }
void MainWindow::fixAllShown() { jobStarted(db_->startFix(*host_, settings_, systems_->shownSystems())); }
void MainWindow::rebuildAll() { jobStarted(db_->startRebuild(*host_, settings_, settings_.sourcedir)); }

void MainWindow::createMissHave() {
    const std::string system = systems_->selectedSystem();
    if (system.empty()) return;
    jobStarted(db_->startMissHave(*host_, settings_, system));
}

void MainWindow::createMissHaveAll() {
    jobStarted(db_->startMissHave(*host_, settings_, systems_->shownSystems()));
}

void MainWindow::toggleMessages() { messages_->setVisible(!messages_->isVisible()); }

void MainWindow::toggleSystems() {
    systems_->setVisible(!systems_->isVisible());
    actions_.systemsWindow->setChecked(systems_->isVisible());
}

void MainWindow::toggleGames() { games_->setVisible(!games_->isVisible()); }

void MainWindow::askDuplicates(const std::string& fileName, const std::string& archivePath,
                              const std::vector<RomMatch>& matches, std::function<void(DupesAnswer)> answered) {
    tools_->askDuplicates(fileName, archivePath, matches, std::move(answered));
}

void MainWindow::arrangeWindows() {
    arranged_ = true;
    // While the window manager reframes the main window its frame is no
    // place to go by; the move that ends it arranges again.
    const QMargins decoration = windowDecoration(*this);
    if (!isSettledDecoration(decoration)) return;
    arrangedWith_ = decoration;
    const Arrangement a = arrangeAround(frameOf(*this), frameOf(*systems_), frameOf(*messages_));
    systems_->placeFrame(a.systems);
    games_->placeFrame(a.games);
    messages_->placeFrame(a.messages);
}

void MainWindow::followMainWindow() {
    if (arranged_) arrangeWindows();
}

void MainWindow::releaseArrangementIf(bool pulledAway) {
    if (arranged_ && pulledAway) arranged_ = false;
}

bool MainWindow::event(QEvent* event) {
    // The window manager's frame comes without an event of its own: once it
    // is known, the satellites go below it.
    if (event->type() == QEvent::Show)
        watchForFrame(*this, [this] {
            followFrame();
            return windowDecoration(*this) != QMargins() && isSettledDecoration(windowDecoration(*this));
        });
    if (event->type() == QEvent::UpdateRequest) followFrame();
    return QWidget::event(event);
}

void MainWindow::followFrame() {
    if (arranged_ && windowDecoration(*this) != arrangedWith_) arrangeWindows();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    followMainWindow();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!lockingHeight_ && height() != sizeHint().height()) lockHeight();
    followMainWindow();
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
