// Catalogue records: plain values carried between the database, the jobs and
// the front ends. Every number and checksum is kept as the text it came as.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The status of a ROM row. Its letter is the byte the catalogue stores and
// the text the records below carry to the front ends.
enum class RomStatus : char {
    Missing = 'N',
    Have = 'Y',
    Present = 'P',  // found, but not in its own set
};

constexpr char romStatusLetter(RomStatus status) { return static_cast<char>(status); }

// The status a letter stands for; nullopt for any other byte (a damaged row).
constexpr std::optional<RomStatus> romStatusFromLetter(char letter) {
    switch (letter) {
        case 'N': return RomStatus::Missing;
        case 'Y': return RomStatus::Have;
        case 'P': return RomStatus::Present;
        default: return std::nullopt;
    }
}

// The same for a status carried as text ("Y").
inline std::optional<RomStatus> romStatusOf(const std::string& text) {
    return text.size() == 1 ? romStatusFromLetter(text[0]) : std::nullopt;
}

struct Rom {
    std::string crc;
    std::string name;
    std::string size;
    std::string status;
    std::string md5;
    std::string sha1;
    std::string cloneOf;
    std::string romOf;
};

enum class GameState { Complete, Missing, Incomplete };

// What a set is to an arcade DAT: a game, or a BIOS or device set that
// games name and need.
enum class SetKind { Game, Bios, Device };

// A game's own facts, as opposed to its ROMs: the parent it is a clone of,
// the BIOS it boots from, and what kind of set it is.
struct GameFacts {
    std::string game;
    SetKind kind = SetKind::Game;
    std::string cloneOf;
    std::string romOf;  // the BIOS (a ROM-of name that is not the parent)
};

// A disk image (CHD) row: stored as "<disk>.chd" with no size, it is a file
// in the game's folder, not an archive entry.
bool isDiskRow(std::string_view romName, std::string_view size);
inline constexpr std::string_view kDiskSuffix = ".chd";

// complete: some "Y" and no "N"/"P"; missing: neither "Y" nor "P";
// incomplete: everything else (any "P", or "Y" with "N").
GameState classifyStatusString(const std::string& statusString);

struct Game {
    explicit Game(std::string gameName = {}) : name(std::move(gameName)) {}

    // Keeps statusString at exactly one character per ROM.
    void appendRom(Rom rom);
    GameState state() const { return classifyStatusString(statusString); }

    std::string name;
    SetKind kind = SetKind::Game;
    // The BIOS set the game boots from (its own or its parent's), if any, and
    // whether that set lacks any of its ROMs.
    std::string bios;
    bool biosIncomplete = false;
    std::vector<Rom> roms;
    std::string statusString;
};

struct Romset {
    explicit Romset(std::string systemName = {}) : name(std::move(systemName)) {}
    std::string name;
    std::vector<Game> games;
};

// Where a lookup found the file that matched a catalogue row.
struct FoundIn {
    std::string archivePath;  // the ROM identifier's archive; empty for a plain catalogue search
};

// A catalogue row as a lookup returns it.
struct RomMatch {
    RomMatch() = default;
    RomMatch(std::string romName, std::string gameName, std::string systemName, std::string romStatus,
               std::string romMd5, std::string romSha1, std::string parentClone, std::string parentRom)
        : name(std::move(romName)), game(std::move(gameName)), system(std::move(systemName)),
          status(std::move(romStatus)), md5(std::move(romMd5)), sha1(std::move(romSha1)),
          cloneOf(std::move(parentClone)), romOf(std::move(parentRom)) {}

    std::string name;
    std::string game;
    std::string system;
    std::string status;
    FoundIn foundIn;
    std::string md5;
    std::string sha1;
    std::string cloneOf;
    std::string romOf;
};

// Which digests a lookup needs of a file.
struct DigestKinds {
    bool md5 = false;
    bool sha1 = false;
    bool any() const { return md5 || sha1; }
};

struct File {
    explicit File(std::string fileName = {}) : name(std::move(fileName)) {}
    std::string size;
    std::string name;
    std::string crc;
    std::string md5;
    std::string sha1;
    // Bytes of a copier header that identification found and left out: the
    // texts above then describe the content after it.
    std::uint64_t headerBytes = 0;
};

// True when the lower-cased path contains ".zip" anywhere (a containment
// test, so "x.ZIP" and "set.zip.bak" both count).
bool isZipPath(const std::string& path);

struct ContainerFiles {
    explicit ContainerFiles(std::string containerPath = {})
        : path(std::move(containerPath)), isZip(isZipPath(path)) {}
    std::string path;
    std::vector<File> files;
    bool isZip;
    // A 7z, RAR, gzip or tar archive (loadCollection decides): read whole,
    // never edited.
    bool isPacked = false;
    bool isLoose() const { return !isZip && !isPacked; }
};

struct DuplicatePolicy {
    bool askUser = true;
    bool onlySelected = false;
    bool onlyNameMatches = false;
    bool neverBuild = false;
};

// The five answers of the duplicate dialog, in the dialog's order.
enum class DupesChoice { RebuildAllListed, OnlySelected, AlwaysAll, Never, OnlyNameMatches };
DuplicatePolicy dupesBehaviourFor(DupesChoice choice);
const char* dupesChoiceCaption(DupesChoice choice);

}  // namespace quorvane
