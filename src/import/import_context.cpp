#include "import/import_context.h"

#include "archive/copier_headers.h"
#include "catalogue/row_store.h"
#include "core/names.h"
#include "core/text.h"

namespace quorvane {

namespace {

std::string rowTooLongReason(const RomRow& row) {
    const std::pair<const std::string*, const char*> fields[] = {
        {&row.game, "the game name"},    {&row.romName, "the ROM name"}, {&row.cloneOf, "the clone-of name"},
        {&row.romOf, "the ROM-of name"}, {&row.md5, "the MD5"},          {&row.sha1, "the SHA-1"},
        {&row.crc, "the CRC"},           {&row.size, "the size"}};
    for (const auto& [field, label] : fields) {
        if (field->size() > RowStore::kMaxFieldLength)
            return std::string(label) + " is longer than " + std::to_string(RowStore::kMaxFieldLength) + " bytes";
    }
    return "the row is longer than " + std::to_string(RowStore::kMaxRowLength) + " bytes";
}

}  // namespace

bool ImportContext::acceptHeader(DatHeader& header) {
    if (!isSafeFileName(header.name)) {
        message(unsafeNameMessage("Romset name", header.name) + " Nothing of " + path_ + " was imported.");
        return false;
    }
    const std::string limit = std::to_string(RowStore::kMaxFieldLength) + " bytes";
    // The system name is a key and a folder name: shortening it would file
    // the rows under another system.
    if (header.name.size() > RowStore::kMaxFieldLength) {
        message("The romset name in " + path_ + " is longer than " + limit + "; nothing imported.");
        return false;
    }
    for (auto [field, label] : {std::pair{&header.version, "version"}, std::pair{&header.author, "author"}}) {
        if (field->size() <= RowStore::kMaxFieldLength) continue;
        *field = std::string(utf8Prefix(*field, RowStore::kMaxFieldLength));
        message("The " + std::string(label) + " in " + path_ + " is longer than " + limit +
                "; it is stored as its first " + std::to_string(field->size()) + " bytes.");
    }
    if (!header.headerRule.empty()) {
        const std::optional<CopierHeader> rule = headerRuleNamed(header.headerRule);
        message(rule ? path_ + " names the header rule \"" + header.headerRule +
                           "\": files are matched with and without their " + std::string(rule->name) + " header."
                     : path_ + " names the header rule \"" + header.headerRule +
                           "\", which is not known here; files are matched as they are and without any "
                           "known header.");
    }
    if (!systemName_.empty()) systemName_ += ", ";
    systemName_ += header.name;
    return true;
}

ReplaceDecision ImportContext::decideReplacement(const DatHeader& header) {
    const std::string oldVersion = category_.getSystemVersion(header.name);
    // A stored version "0" reads like "no system"; the catalogue entry does not.
    if (!category_.hasSystem(header.name) && oldVersion == "0") return ReplaceDecision::Insert;
    const std::string question = "Romset " + header.name + " already exists [version: " + oldVersion +
                                 "]. Do you want to replace it with version " + header.version + "?";
    if (host_.askYesIgnore(question)) return ReplaceDecision::Delete;
    outcome_ = FileOutcome::Kept;
    return ReplaceDecision::Cancel;
}

bool ImportContext::acceptNames(const DatRom& rom) {
    const std::string where = rom.line ? "Line " + std::to_string(rom.line) + " of " + path_ : path_;
    // No archive entry can carry an empty name: such a ROM could never be had.
    if (rom.name.empty()) {
        message(where + ": a ROM of game \"" + rom.game + "\" has no name and was not imported.");
        return false;
    }
    const bool gameSafe = isSafeGameName(rom.game);
    if (gameSafe && isSafeEntryName(rom.name)) return true;
    const std::string row = where + ": ROM \"" + rom.name + "\" of game \"" + rom.game + "\" was not imported: ";
    message(row + (gameSafe ? "a ROM name must be a relative path without empty, \".\" or \"..\" steps and "
                              "without backslashes."
                            : "a game name must be usable as an archive name: not empty, not starting with "
                              "\".\", without \"/\"."));
    return false;
}

std::optional<RomRow> ImportContext::acceptRom(const DatHeader& header, const DatRom& rom) {
    if (!acceptNames(rom)) return std::nullopt;
    return RomRow{.system = header.name,
                  .game = rom.game,
                  .crc = rom.crc,
                  .sha1 = rom.sha1,
                  .md5 = rom.md5,
                  .romName = rom.name,
                  .size = Catalogue::normaliseSize(rom.size),
                  .cloneOf = rom.cloneOf,
                  .romOf = rom.romOf,
                  .version = header.version,
                  .author = header.author};
}

void ImportContext::rowTooLong(const RomRow& row) {
    message("ROM " + row.romName + " of game " + row.game + " in " + path_ + " was not imported: " +
            rowTooLongReason(row) + ".");
}

StoreResult ImportContext::storeRom(Catalogue& target, const DatHeader& header, const DatRom& rom) {
    const std::optional<RomRow> row = acceptRom(header, rom);
    return row ? storeRow(target, *row) : StoreResult::Skipped;
}

StoreResult ImportContext::storeRow(Catalogue& target, const RomRow& row) {
    if (target.addRom(row)) {
        if (&target == &category_) ++storedRows_;
        return StoreResult::Stored;
    }
    if (RowStore::encodeRow(row).empty()) {
        rowTooLong(row);
        return StoreResult::Skipped;
    }
    stopped(target.lastError());
    return StoreResult::Failed;
}

StoreResult ImportContext::storeFacts(Catalogue& target, const DatHeader& header, const GameFacts& facts) {
    if (!isSafeGameName(facts.game)) return StoreResult::Skipped;
    RomRow row = Catalogue::factsRow(header.name, header.version, header.author, facts);
    for (std::string* name : {&row.cloneOf, &row.romOf})
        if (name->size() > RowStore::kMaxFieldLength) name->clear();
    if (RowStore::encodeRow(row).empty()) return StoreResult::Skipped;
    if (target.addRom(row)) return StoreResult::Stored;
    stopped(target.lastError());
    return StoreResult::Failed;
}

bool ImportContext::deleteOldRows(const std::string& system) {
    if (category_.deleteSystem(system)) return true;
    const std::string error = category_.lastError();
    // Rows that could not be queued for reuse are lost space, not lost data.
    if (!category_.hasSystem(system) && category_.getSystemVersion(system) == "0") {
        message(error);
        return true;
    }
    stopped(error);
    return false;
}

void ImportContext::stopped(const std::string& error) {
    message((error.empty() ? std::string("The database could not be written") : error) + ". The import of " +
            path_ + " stopped.");
}

}  // namespace quorvane
