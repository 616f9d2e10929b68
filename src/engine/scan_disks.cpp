// The scan's pass over a system folder's CHD disk images: each image is
// known by its header's SHA-1 and given the verdicts an archive's file gets.
#include "engine/analysis_text.h"
#include "engine/chd_verifier.h"
#include "engine/disk_images.h"
#include "engine/scan_job.h"

namespace quorvane {

namespace text = analysis_text;

void ScanJob::scanDisks(const SystemFolder& system) {
    if (!system.mayHoldDisks) return;
    const std::vector<DiskImage> images = listDiskImages(system.path);
    if (images.empty()) return;
    SystemReport& counts = systemReport();
    counts.disksFound += static_cast<int>(images.size());
    setFileCount(images.size());
    const RomLookup find = finder();
    // Images in place first, so that a second copy of a disk had is known as
    // one whichever sorts first. Damaged ones are left out from then on.
    std::vector<bool> damaged(images.size(), false);
    for (size_t i = 0; i < images.size() && !cancelled(); ++i) {
        const DiskImage& image = images[i];
        setCurrentFile(i, image.displayName());
        showProgress();
        if (!image.check.ok()) {
            damaged[i] = true;
            if (image.check.damaged()) {
                ++counts.disksDamaged;
                postMessage(text::errorInDisk(image.displayName(), image.check.reason));
            } else {
                postMessage(text::diskUnreadable(image.displayName(), image.check.reason));
                failStep();
            }
            continue;
        }
        for (const RomMatch& r : findDisk(find, image.header)) {
            if (!isDiskInPlace(r, system.name, image)) continue;
            if (!passesVerification(image)) {
                damaged[i] = true;
                break;
            }
            placements().setHave({}, "-", r.name, r.game, r.system);
        }
    }
    for (size_t i = 0; i < images.size() && !cancelled(); ++i) {
        if (damaged[i]) continue;
        const DiskImage& image = images[i];
        setCurrentFile(i, image.displayName());
        const std::vector<RomMatch> matches = findDisk(find, image.header);
        if (matches.empty()) postFileMessage(text::cannotBeIdentified(image.fileName));
        bool wanted = false;
        for (const RomMatch& r : matches) {
            switch (classifyDisk(r, system.name, image)) {
                case MatchClass::InPlace: wanted = true; break;
                case MatchClass::MisplacedMissing:
                case MatchClass::ForeignMissing:
                    // Another system's disk is wanted there, not here.
                    wanted = wanted || r.system == system.name;
                    postFileMessage(text::identifiedAs(image.fileName, r));
                    placements().setPresent({}, "-", r.name, r.game, r.system);
                    break;
                case MatchClass::MisplacedFound:
                case MatchClass::ForeignFound: break;
            }
        }
        if (!wanted) postFileMessage(text::shouldBeDeleted(image.fileName));
    }
}

bool ScanJob::passesVerification(const DiskImage& image) {
    if (!settings().verifyChd || chdmanMissingTold_) return true;
    const ChdVerification verdict = verifyChd(image.path, [this] { return cancelled(); });
    switch (verdict.outcome) {
        case ChdVerification::Outcome::Passed: return true;
        case ChdVerification::Outcome::Failed:
            ++systemReport().disksDamaged;
            postMessage(text::errorInDisk(image.displayName(), verdict.message));
            return false;
        case ChdVerification::Outcome::ToolMissing:
            chdmanMissingTold_ = true;
            postMessage(text::kChdmanMissing);
            return true;
        case ChdVerification::Outcome::NotRun:
            if (!cancelled()) postMessage(text::diskNotVerified(image.displayName(), verdict.message));
            return true;
    }
    return true;
}

}  // namespace quorvane
