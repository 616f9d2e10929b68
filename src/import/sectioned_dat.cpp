#include "import/sectioned_dat.h"

#include "core/ini_file.h"
#include "core/line_reader.h"
#include "core/text.h"
#include "import/dat_values.h"

namespace quorvane {

namespace {

constexpr std::string_view kSeparator = "\xAC";
constexpr std::string_view kUtf8Separator = "\xC2\xAC";
constexpr const char* kDefault = "None";

// The separator a row is written with, or empty when it does not start with one.
std::string_view separatorOf(std::string_view row) {
    if (startsWith(row, kSeparator)) return kSeparator;
    if (startsWith(row, kUtf8Separator)) return kUtf8Separator;
    return {};
}

class FieldCursor {
public:
    FieldCursor(std::string_view text, std::string_view separator) : text_(text), separator_(separator) {}

    std::string_view next() {
        const size_t end = text_.find(separator_);
        if (end == std::string_view::npos) return {};
        const std::string_view field = text_.substr(0, end);
        text_.remove_prefix(end + separator_.size());
        return field;
    }

private:
    std::string_view text_;
    std::string_view separator_;
};

}  // namespace

SectionedRow splitSectionedRow(std::string_view line) {
    const std::string_view separator = separatorOf(line);
    SectionedRow row;
    if (separator.empty()) return row;
    FieldCursor fields(line.substr(separator.size()), separator);
    row.game = fields.next();
    for (int skipped = 2; skipped <= 4; ++skipped) fields.next();
    row.romName = fields.next();
    row.crc = fields.next();
    row.size = fields.next();
    return row;
}

bool forEachSectionedRow(const std::string& path,
                         const std::function<bool(std::string_view row, std::uint64_t line)>& visit) {
    LineReader reader(path);
    if (!reader.isOpen()) return false;
    std::string line;
    std::uint64_t lineNumber = 0;
    bool inGames = false;
    std::string previous;
    while (reader.next(line)) {
        ++lineNumber;
        const std::string_view row = trimControl(line);
        if (!inGames) {
            inGames = startsWith(row, "[GAMES]");
            continue;
        }
        if (startsWith(row, "[RESOURCES]")) break;
        // Blank lines do not separate duplicates: a CR CR LF line end reads
        // as a row and an empty line here, but was one line where DATs were made.
        if (separatorOf(row).empty() || row == previous) continue;
        previous.assign(row);
        if (!visit(row, lineNumber)) break;
    }
    return !reader.failed();
}

bool importSectionedDat(ImportContext& context) {
    bool opened = false;
    const auto values = IniFile::scan(
        context.file(), {{"EMULATOR", "refname"}, {"CREDITS", "Author"}, {"CREDITS", "Version"}}, &opened);
    DatHeader header{values[0].value_or(kDefault), values[2].value_or(kDefault), values[1].value_or(kDefault)};
    if (!opened || header.name == kDefault) return false;
    if (!context.acceptHeader(header)) return true;
    const ReplaceDecision decision = context.decideReplacement(header);
    if (decision == ReplaceDecision::Cancel) return true;

    size_t count = 0;
    if (!forEachSectionedRow(context.file(), [&](std::string_view, std::uint64_t) {
            ++count;
            return true;
        })) {
        context.message("Cannot read " + context.path() + "; nothing imported.");
        return true;
    }
    if (decision == ReplaceDecision::Delete && !context.deleteOldRows(header.name)) return true;

    ProgressThrottle& progress = context.progress();
    progress.setMaximum(count);
    size_t index = 0;
    std::string lastGame;
    DatRom rom;
    bool stored = true;
    const bool read = forEachSectionedRow(context.file(), [&](std::string_view line, std::uint64_t lineNumber) {
        const SectionedRow row = splitSectionedRow(line);
        progress.update(row.game, index++);
        rom.game.assign(row.game);
        rom.name.assign(row.romName);
        rom.crc = sectionedCrcText(row.crc);
        rom.size.assign(row.size);
        rom.line = lineNumber;
        if (context.storeRom(context.category(), header, rom) == StoreResult::Failed) return stored = false;
        lastGame = rom.game;
        return true;
    });
    progress.flush(lastGame, index);
    if (!read) context.message("Reading " + context.path() + " failed; it was imported only in part.");
    else if (stored) context.finished();
    return true;
}

}  // namespace quorvane
