// Feeds arbitrary bytes to both DAT readers through the import job, and to
// the tokenizer and the row splitter directly. Any crash, hang or sanitizer
// report is a fault; the database contents are not checked here.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/job_host.h"
#include "core/settings.h"
#include "db/roms_db_impl.h"
#include "import/import_romset_thread.h"
#include "import/sectioned_dat.h"
#include "import/split_tokens.h"

namespace {

using namespace quorvane;

class QuietHost : public JobHost {
public:
    void addMessage(const std::string&) override {}
    void addFileNode(const std::string&) override {}
    void addFileFinding(const std::string&) override {}
    void clearFileTree() override {}
    void showInformation(const std::string&) override {}
    bool askYesIgnore(const std::string&) override { return true; }
    bool askYesAbort(const std::string&) override { return true; }
    DupesAnswer askDuplicates(const std::string&, const std::string&, const std::vector<GenericRom>&) override {
        return {};
    }
    void refreshSystems() override {}
    void clearGamesList() override {}
    void showSystemGames(const std::string&) override {}

protected:
    void onStartProgress(const std::string&, int) override {}
    void onUpdateProgress(const std::string&, int) override {}
    void onSetProgressMax(int) override {}
    void onCloseProgress() override {}
};

const std::string& workDir() {
    static const std::string dir = [] {
        const std::string d = "/tmp/quorvane-dat-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(d + "/databases");
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> tokens;
    splitTokens(bytes, tokens);
    splitSectionedRow(bytes);

    const std::string path = workDir() + "/input.dat";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    Settings settings;
    settings.databasesDir = workDir() + "/databases/";
    auto db = std::make_shared<RomsDBImpl>(settings.currentDatabasePath());
    QuietHost host;
    ImportRomsetThread job(host, db, settings, {path});
    if (job.prepare()) job.execute();
    db->deleteDB();
    return 0;
}
