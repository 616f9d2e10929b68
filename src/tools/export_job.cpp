#include "tools/export_job.h"

#include "core/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "core/records.h"
#include "tools/export_template.h"

namespace quorvane {

namespace {

// Whether a file can be created beside `path`: the export writes its file
// whole at the end, and wants to say "Unable to create file" before it starts.
bool canCreateBeside(const std::string& path) {
    if (isDirectory(path)) return false;
    const std::string probe = uniqueTempPath(dirName(path), "probe");
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace

bool hasAnyTemplate(const ExportRequest& r) {
    return !r.systemTemplate.empty() || !r.gameTemplate.empty() || !r.romTemplate.empty();
}

std::string messageTimeStamp() { return localTimeText(std::time(nullptr)); }

ExportJob::ExportJob(std::shared_ptr<Catalogue> db, JobHost& host, ExportRequest request)
    : db_(std::move(db)), host_(host), request_(std::move(request)) {}

JobResult ExportJob::execute() {
    const ExportRequest& r = request_;
    if (!canCreateBeside(r.targetFile)) {
        host_.addMessage(kUnableToCreateFile);
        return {};
    }
    host_.addMessage(clock() + " Starting...");
    const RomStatus wanted = r.statusMode == 1 ? RomStatus::Have : RomStatus::Missing;
    if (db_->openDB() != StoreStatus::Ok) {
        // A catalogue that cannot be read must not yield a file that looks
        // like "nothing missing".
        host_.addMessage(db_->lastError());
        db_->closeDB();
        return {};
    }
    std::string out;
    for (const std::string& system : r.systems) {
        host_.addMessage(clock() + " Getting Roms for " + system);
        const Romset romset = db_->getRomset(system, 0);
        const std::string& name = romset.name.empty() ? system : romset.name;
        if (!r.systemTemplate.empty()) out += fillSystem(r.systemTemplate, name);
        for (const Game& game : romset.games) {
            if (!r.gameTemplate.empty() && game.statusString.find(romStatusLetter(wanted)) != std::string::npos)
                out += fillGame(r.gameTemplate, name, game.name);
            if (r.romTemplate.empty()) continue;
            for (const Rom& rom : game.roms)
                if (romStatusOf(rom.status) == wanted) out += fillRom(r.romTemplate, name, game.name, rom.name);
        }
    }
    db_->closeDB();
    if (!writeFileAtomically(r.targetFile, out)) {
        host_.addMessage(kUnableToCreateFile);
        return {};
    }
    host_.addMessage(clock() + " Finished writing file " + r.targetFile);
    return {};
}

}  // namespace quorvane
