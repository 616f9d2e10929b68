// The main window: a strip of tool bars carrying every command, owner of the
// category database and of the romset the games window shows. It turns each
// action into an engine call; the catalogue logic lives in the engine.
#pragma once

#include <QMargins>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "core/categories.h"
#include "core/records.h"
#include "core/settings.h"
#include "core/worker_job.h"
#include "engine/run_undo.h"
#include "presentation/catalogue_views.h"
#include "ui/current_database.h"
#include "ui/qt_job_host.h"

class QAction;
class QComboBox;
class QMenuBar;
class QVBoxLayout;

namespace quorvane {

class CatalogueJobs;
class SystemsWindow;
class GamesWindow;
class GameRomsWindow;
class MessagesWindow;
class ProgressDialog;
class WaitDialog;
class PreferencesDialog;
class AboutDialog;
class ToolWindows;

class MainWindow final : public QWidget, public JobViews, public CurrentDatabase {
    Q_OBJECT
public:
    // Every command of the menus and tool bars.
    struct Actions {
        QAction* importDats = nullptr;
        QAction* importDatFolder = nullptr;
        QAction* preferences = nullptr;
        QAction* messagesWindow = nullptr;
        QAction* systemsWindow = nullptr;  // checked while the systems window is shown
        QAction* gamesWindow = nullptr;
        QAction* arrangeWindows = nullptr;
        QAction* allSets = nullptr;
        QAction* incompleteSets = nullptr;
        QAction* completeSets = nullptr;
        QAction* allGames = nullptr;
        QAction* incompleteGames = nullptr;
        QAction* missingGames = nullptr;
        QAction* availableGames = nullptr;
        QAction* showBiosSets = nullptr;  // checked while BIOS and device sets are listed among the games
        QAction* scanSelected = nullptr;
        QAction* fixSelected = nullptr;
        QAction* scanAll = nullptr;
        QAction* fixAll = nullptr;
        QAction* rebuildAll = nullptr;
        std::array<QAction*, kCategories.size()> categories{};  // in the order of kCategories
        QAction* deleteDatabase = nullptr;
        QAction* cleanDatabase = nullptr;
        QAction* checkDatabase = nullptr;
        QAction* deleteSystem = nullptr;
        QAction* missHave = nullptr;
        QAction* missHaveAll = nullptr;
        QAction* customFiles = nullptr;
        QAction* romIdentifier = nullptr;
        QAction* multiZipper = nullptr;
        QAction* stats = nullptr;
        QAction* undoLastRun = nullptr;
        QAction* undoHistory = nullptr;
        QAction* about = nullptr;
    };

    explicit MainWindow(Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    void refreshSystems();
    void clearGamesList();
    void showSystemGames(const std::string& system);
    // Brings the windows up to date after a job.
    void showJobResult(const JobResult& result);

    // JobViews
    void askDuplicates(const std::string& fileName, const std::string& archivePath,
                       const std::vector<RomMatch>& matches, std::function<void(DupesAnswer)> answered) override;
    QWidget* dialogParent() override { return this; }

    void arrangeWindows();
    bool arranged() const { return arranged_; }
    void switchCategory(const Category& category);
    void showGamesView(GamesView view);
    void showSystemsView(SystemsView view);

    const Actions& actions() const { return actions_; }
    Settings& settings() { return settings_; }
    CatalogueJobs& jobs() override { return *db_; }
    QtJobHost& host() { return *host_; }
    const std::optional<Romset>& currentRomset() const { return currentRomset_; }

    SystemsWindow& systemsWindow() { return *systems_; }
    GamesWindow& gamesWindow() { return *games_; }
    GameRomsWindow& gameRomsWindow() { return *gameRoms_; }
    MessagesWindow& messagesWindow() { return *messages_; }
    ProgressDialog& progressWindow() { return *progress_; }
    WaitDialog& waitWindow() { return *wait_; }
    PreferencesDialog& preferencesWindow() { return *preferences_; }
    ToolWindows& toolWindows() { return *tools_; }

    // Job helpers: refuse a second job with a notice.
    void jobStarted(bool started) override;

    // Database actions (public for the tests).
    void deleteDatabase();
    void cleanDatabase();
    void deleteSelectedSystem();
    // Verifies every file of the current database; offers a repair when it
    // finds damage.
    void checkDatabase();
    // Rebuilds the current database's indexes, a copy of the damaged files
    // kept in the backup folder, after the person's yes to `question`.
    void offerRepair(const QString& question);
    // Takes back the newest run not undone yet, or the run of that folder
    // name, after the person's yes; then offers to scan what it touched.
    void undoLastRun();
    void undoRunNamed(const std::string& id);

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildActions();
    void assignIcons();
    void buildBars(QVBoxLayout* layout);
    void followMainWindow();
    // Arranges again when this window's frame has changed since.
    void followFrame();
    void releaseArrangementIf(bool pulledAway);
    void lockHeight();
    void openDatabase();
    // The category in the caption ("Quorvane — Tosec") and checked in the menu.
    void showCurrentCategory();
    // The current category's catalogue and its jobs, opened anew.
    void openJobs();

    void importDats();
    void importDatFolder();
    void importPaths(const QStringList& chosen);
    void scanSelected();
    void fixSelected();
    void scanAllShown();
    void fixAllShown();
    void rebuildAll();
    void createMissHave();
    void createMissHaveAll();
    void toggleMessages();
    void toggleSystems();
    void toggleGames();
    void undo(const RunSummary& run);
    // The games of `system` in the current view, less what the view hides.
    Romset gamesToShow(const std::string& system, GamesView view);

    Settings& settings_;
    std::unique_ptr<CatalogueJobs> db_;
    std::optional<Romset> currentRomset_;
    GamesView gamesView_ = GamesView::All;
    bool arranged_ = true;
    QMargins arrangedWith_;  // this window's decoration when last arranged
    bool lockingHeight_ = false;
    Actions actions_;
    QMenuBar* menuBar_ = nullptr;
    QComboBox* gamesStyle_ = nullptr;
    QComboBox* romsStyle_ = nullptr;

    ProgressDialog* progress_;
    MessagesWindow* messages_;
    WaitDialog* wait_;
    SystemsWindow* systems_;
    GamesWindow* games_;
    GameRomsWindow* gameRoms_;
    PreferencesDialog* preferences_;
    AboutDialog* about_;
    std::unique_ptr<ToolWindows> tools_;
    std::unique_ptr<QtJobHost> host_;
};

}  // namespace quorvane
