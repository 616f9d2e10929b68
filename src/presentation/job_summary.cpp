#include "presentation/job_summary.h"

namespace quorvane {

namespace {

using Lines = std::vector<std::string>;

std::string n(int count) { return std::to_string(count); }

void addSystem(Lines& out, const std::string& heading, const SystemReport& s, bool fix) {
    out.push_back(heading);
    const StatusCounts& c = s.status;
    out.push_back("  Games: " + n(c.gamesComplete) + " complete, " + n(c.gamesIncomplete) + " incomplete, " +
                  n(c.gamesMissing) + " missing");
    out.push_back("  ROMs: " + n(c.romsHave) + " have, " + n(c.romsMissing) + " missing, " + n(c.romsElsewhere) +
                  " found elsewhere");
    out.push_back("  Archives unreadable: " + n(s.archivesUnreadable));
    if (s.zipsChecked > 0) out.push_back("  TorrentZip: " + n(s.torrentZips) + " of " + n(s.zipsChecked) + " zips");
    if (s.disksFound > 0) out.push_back("  Disk images: " + n(s.disksFound) + " found, " + n(s.disksDamaged) + " damaged");
    if (!fix) return;
    out.push_back("  Files: " + n(s.fix.movedIntoSets) + " moved into sets, " + n(s.fix.renamed) + " renamed, " +
                  n(s.fix.movedToBackup) + " moved to the backup folder");
    out.push_back("  Steps failed: " + n(s.stepsFailed));
}

void addSystems(Lines& out, const JobReport& report) {
    const bool fix = report.command == JobReport::Command::Fix;
    for (const SystemReport& s : report.systems)
        addSystem(out, "Summary of " + s.system + " (" + s.folder + "):", s, fix);
    if (report.systems.size() > 1)
        addSystem(out, "Total of " + n(static_cast<int>(report.systems.size())) + " systems:", report.total, fix);
    if (fix) out.push_back("Backup folder: " + report.backupFolder);
}

void addRebuild(Lines& out, const JobReport& report) {
    const RebuildCounts& c = report.rebuild;
    out.push_back(report.sourceFolder.empty() ? std::string("Summary of the rebuild:")
                                              : "Summary of the rebuild from " + report.sourceFolder + ":");
    out.push_back("  Games completed: " + n(c.gamesCompleted));
    out.push_back("  ROMs added: " + n(c.romsAdded));
    out.push_back("  Source files: " + n(c.sourcesUsed) + " used, " + n(c.sourcesUnused) + " unused");
    out.push_back("  Steps failed: " + n(c.stepsFailed));
}

void addIdentify(Lines& out, const JobReport& report) {
    out.push_back("Summary: files " + n(report.entriesMatched) + " matched, " +
                  n(static_cast<int>(report.unmatched.size())) + " not matched; archives unreadable: " +
                  n(static_cast<int>(report.unreadable.size())));
    for (const IdentifiedEntry& e : report.unmatched) out.push_back("  Not matched: " + e.entry + " in " + e.archive);
}

}  // namespace

std::vector<std::string> summaryLines(const JobReport& report) {
    Lines out;
    switch (report.command) {
        case JobReport::Command::Scan:
        case JobReport::Command::Fix: addSystems(out, report); break;
        case JobReport::Command::Rebuild: addRebuild(out, report); break;
        case JobReport::Command::Identify: addIdentify(out, report); break;
        // The import's closing line is its summary already.
        case JobReport::Command::Import: break;
    }
    if (report.cancelled) out.push_back("Cancelled: these counts cover the work done before.");
    return out;
}

}  // namespace quorvane
