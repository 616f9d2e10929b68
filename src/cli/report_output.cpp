#include "cli/report_output.h"

#include <initializer_list>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

#include "catalogue/catalogue.h"
#include "cli/json_writer.h"
#include "core/text.h"
#include "presentation/catalogue_views.h"
#include "presentation/job_summary.h"

namespace quorvane {

void printSummary(const JobReport* report, FILE* out) {
    if (!report) return;
    for (const std::string& line : summaryLines(*report)) std::fprintf(out, "%s\n", terminalText(line).c_str());
    std::fflush(out);
}

namespace {

const char* romStatusName(const std::string& status) {
    const std::optional<RomStatus> typed = romStatusOf(status);
    if (typed == RomStatus::Have) return "have";
    if (typed == RomStatus::Present) return "found elsewhere";
    return "missing";
}

int count(size_t n) { return static_cast<int>(n); }

void writeAction(JsonWriter& out, const FileAction& a) {
    out.beginObject().field("action", fileActionName(a.kind)).field("name", a.name).field("from", a.from);
    if (!a.to.empty()) out.field("to", a.to);
    if (!a.game.empty()) out.field("system", a.system).field("game", a.game);
    if (!a.rom.empty()) out.field("rom", a.rom);
    if (!a.error.empty()) out.field("error", a.error);
    out.endObject();
}

void writeActions(JsonWriter& out, const std::vector<FileAction>& actions) {
    out.key("actions").beginArray();
    for (const FileAction& a : actions) writeAction(out, a);
    out.endArray();
}

// A report's actions by the game and ROM they name, built once: a fix of a
// big collection takes thousands, and every ROM of every game asks for its own.
class ActionsByPlace {
public:
    explicit ActionsByPlace(const std::vector<FileAction>& actions) {
        for (const FileAction& a : actions) {
            if (a.kind == FileAction::Kind::Renamed) renamed_[{a.system, a.game}].push_back(&a);
            if (!a.rom.empty()) last_[{a.system, a.game, a.rom}] = &a;
        }
    }
    // The renames of the game's archive, in the order taken.
    const std::vector<const FileAction*>* renamesOf(const std::string& system, const std::string& game) const {
        const auto at = renamed_.find({system, game});
        return at == renamed_.end() ? nullptr : &at->second;
    }
    // The last action that put (or tried to put) this ROM into its set.
    const FileAction* lastFor(const std::string& system, const std::string& game, const std::string& rom) const {
        const auto at = last_.find({system, game, rom});
        return at == last_.end() ? nullptr : at->second;
    }

private:
    std::map<std::pair<std::string, std::string>, std::vector<const FileAction*>> renamed_;
    std::map<std::tuple<std::string, std::string, std::string>, const FileAction*> last_;
};

void writeGame(JsonWriter& out, const std::string& system, const Game& game, const ActionsByPlace& actions) {
    out.beginObject();
    if (!system.empty()) out.field("system", system);
    out.field("name", game.name).field("status", gameStateName(game.state()));
    if (const auto* renames = actions.renamesOf(system, game.name))
        for (const FileAction* a : *renames) out.field("renamedFrom", a->from);
    out.key("files").beginArray();
    for (const Rom& rom : game.roms) {
        out.beginObject().field("name", rom.name).field("status", romStatusName(rom.status));
        if (const FileAction* a = actions.lastFor(system, game.name, rom.name)) {
            out.field("action", fileActionName(a->kind)).field("from", a->from);
            if (a->name != rom.name) out.field("fromEntry", a->name);
            if (!a->to.empty()) out.field("to", a->to);
            if (!a->error.empty()) out.field("error", a->error);
        }
        out.endObject();
    }
    out.endArray().endObject();
}

using Counts = std::initializer_list<std::pair<std::string_view, int>>;

void writeCounts(JsonWriter& out, Counts counts) {
    for (const auto& [name, value] : counts) out.field(name, value);
}

void writeSystemSummary(JsonWriter& out, const SystemReport& s, bool fix) {
    const StatusCounts& c = s.status;
    out.key("summary").beginObject();
    writeCounts(out, {{"gamesComplete", c.gamesComplete},
                      {"gamesIncomplete", c.gamesIncomplete},
                      {"gamesMissing", c.gamesMissing},
                      {"romsHave", c.romsHave},
                      {"romsMissing", c.romsMissing},
                      {"romsFoundElsewhere", c.romsElsewhere},
                      {"archivesUnreadable", s.archivesUnreadable}});
    if (s.zipsChecked > 0) writeCounts(out, {{"zipsChecked", s.zipsChecked}, {"torrentZips", s.torrentZips}});
    if (s.disksFound > 0) writeCounts(out, {{"disksFound", s.disksFound}, {"disksDamaged", s.disksDamaged}});
    if (fix) {
        writeCounts(out, {{"movedIntoSets", s.fix.movedIntoSets},
                          {"renamed", s.fix.renamed},
                          {"movedToBackup", s.fix.movedToBackup},
                          {"stepsFailed", s.stepsFailed}});
    }
    out.endObject();
}

}  // namespace

void writeSystemsReport(JsonWriter& out, const JobReport& report, Catalogue& db) {
    const bool fix = report.command == JobReport::Command::Fix;
    out.field("cancelled", report.cancelled);
    writeSystemSummary(out, report.total, fix);
    if (fix) out.field("backupFolder", report.backupFolder);
    out.key("systems").beginArray();
    for (const SystemReport& s : report.systems) {
        out.beginObject().field("system", s.system).field("folder", s.folder);
        writeSystemSummary(out, s, fix);
        out.key("games").beginArray();
        const ActionsByPlace actions(s.actions);
        db.forEachGame(s.system, [&](const Game& game) { writeGame(out, s.system, game, actions); });
        out.endArray();
        writeActions(out, s.actions);
        out.endObject();
    }
    out.endArray();
}

void writeRebuildReport(JsonWriter& out, const JobReport& report) {
    const RebuildCounts& c = report.rebuild;
    out.field("cancelled", report.cancelled);
    out.key("source");
    if (report.sourceFolder.empty()) out.null();
    else out.value(report.sourceFolder);
    out.key("summary").beginObject();
    writeCounts(out, {{"gamesCompleted", c.gamesCompleted},
                      {"romsAdded", c.romsAdded},
                      {"sourcesUsed", c.sourcesUsed},
                      {"sourcesUnused", c.sourcesUnused},
                      {"stepsFailed", c.stepsFailed}});
    out.endObject();
    out.key("games").beginArray();
    const ActionsByPlace actions(report.rebuildActions);
    for (const RebuiltGame& g : report.rebuiltGames) writeGame(out, g.system, g.game, actions);
    out.endArray();
    writeActions(out, report.rebuildActions);
    out.key("unusedSources").beginArray();
    for (const std::string& path : report.unusedSources) out.value(path);
    out.endArray();
}

void writeIdentifyReport(JsonWriter& out, const JobReport& report) {
    out.field("cancelled", report.cancelled);
    out.key("summary")
        .beginObject()
        .field("matched", report.entriesMatched)
        .field("notMatched", count(report.unmatched.size()))
        .field("unreadable", count(report.unreadable.size()))
        .endObject();
    out.key("notMatched").beginArray();
    for (const IdentifiedEntry& e : report.unmatched)
        out.beginObject().field("path", e.archive).field("entry", e.entry).endObject();
    out.endArray();
    out.key("unreadable").beginArray();
    for (const std::string& text : report.unreadable) out.value(text);
    out.endArray();
}

}  // namespace quorvane
