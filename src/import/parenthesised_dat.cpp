#include "import/parenthesised_dat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/line_reader.h"
#include "import/dat_values.h"
#include "import/scratch_romset.h"
#include "import/split_tokens.h"

namespace quorvane {

namespace {

using Tokens = std::vector<std::string>;

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// The first unquoted word of a line: enough to tell the lines that carry
// values from descriptions and the like without splitting every line.
std::string_view firstWord(std::string_view line) {
    size_t p = 0;
    while (p < line.size() && isBlank(line[p])) ++p;
    size_t end = p;
    while (end < line.size() && !isBlank(line[end]) && line[end] != ',') ++end;
    return line.substr(p, end - p);
}

bool opensBlock(const Tokens& tokens) {
    return tokens.size() >= 2 && (tokens[0] == "game" || tokens[0] == "resource") && tokens[1] == "(";
}

// The value after the keyword at `i`; empty when the keyword ends the line.
const std::string& valueAfter(const Tokens& tokens, size_t i) {
    static const std::string none;
    return i + 1 < tokens.size() ? tokens[i + 1] : none;
}

// Sets `target` from every `keyword value` pair of the line.
void takeEvery(const Tokens& tokens, std::string_view keyword, std::string& target) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] != keyword) continue;
        target = valueAfter(tokens, i);
        ++i;
    }
}

class ParenthesisedReader {
public:
    explicit ParenthesisedReader(ImportContext& context) : context_(context), reader_(context.file()) {}

    bool run();

private:
    enum class HeaderEnd { Complete, Block, EndOfFile };

    HeaderEnd readHeader();
    // Pass 1; false when the scratch database failed.
    bool readBody(ScratchRomset& scratch, bool firstBlockOpen);
    void startBlock(std::string_view opener);
    // The block's facts go to the scratch database; false when it failed.
    bool endBlock(ScratchRomset& scratch);
    // False when the scratch database failed.
    bool takeRom(ScratchRomset& scratch);
    void publish() { context_.progress().update(context_.path(), reader_.offset()); }
    // The line's first token; splits the line only when it starts with a quote.
    std::string_view firstToken();
    // The tokens of the current line.
    const Tokens& tokens();

    // Reads the next line into line_, counting lines.
    bool nextLine() {
        if (!reader_.next(line_)) return false;
        ++lineNumber_;
        return true;
    }

    ImportContext& context_;
    LineReader reader_;
    std::string line_;
    std::uint64_t lineNumber_ = 0;
    Tokens tokens_;
    bool split_ = false;
    DatHeader header_;
    bool sawHeaderValue_ = false;
    std::string game_;
    std::string cloneOf_;
    std::string romOf_;
    SetKind kind_ = SetKind::Game;
};

bool ParenthesisedReader::run() {
    if (!reader_.isOpen()) {
        context_.message("Cannot open " + context_.path());
        return true;
    }
    ProgressThrottle& progress = context_.progress();
    progress.setMaximum(reader_.fileSize());

    const HeaderEnd end = readHeader();
    if (header_.name.empty()) {
        if (!sawHeaderValue_ && end != HeaderEnd::Block) return false;
        context_.message("No romset name found in " + context_.path() + "; nothing imported.");
        return true;
    }
    if (!context_.acceptHeader(header_)) return true;
    const ReplaceDecision decision = context_.decideReplacement(header_);
    if (decision == ReplaceDecision::Cancel) return true;

    ScratchRomset scratch(context_);
    if (!scratch.open()) return true;
    const bool complete = readBody(scratch, end == HeaderEnd::Block);
    progress.flush(context_.path(), reader_.offset());
    if (!complete) return true;
    if (reader_.failed()) {
        context_.message("Reading " + context_.path() + " failed; nothing imported.");
        return true;
    }
    // The old rows go only now, once the new ones are safely in the scratch file.
    if (!scratch.finishAdding()) return true;
    if (decision == ReplaceDecision::Delete && !context_.deleteOldRows(header_.name)) return true;
    scratch.copyIntoCategory(header_);
    return true;
}

std::string_view ParenthesisedReader::firstToken() {
    const std::string_view word = firstWord(line_);
    split_ = false;
    if (word.empty() || word[0] != '"') return word;
    tokens();
    return tokens_.empty() ? std::string_view() : std::string_view(tokens_[0]);
}

const Tokens& ParenthesisedReader::tokens() {
    if (!split_) splitTokens(line_, tokens_);
    split_ = true;
    return tokens_;
}

ParenthesisedReader::HeaderEnd ParenthesisedReader::readHeader() {
    while (nextLine()) {
        publish();
        split_ = false;
        tokens();
        if (opensBlock(tokens_)) return HeaderEnd::Block;
        for (size_t i = 0; i + 1 < tokens_.size(); ++i) {
            const std::string& t = tokens_[i];
            std::string* target = t == "name"      ? &header_.name
                                  : t == "version" ? &header_.version
                                  : t == "author"  ? &header_.author
                                  : t == "header"  ? &header_.headerRule
                                                   : nullptr;
            if (!target) continue;
            *target = tokens_[++i];
            sawHeaderValue_ = true;
            if (!header_.name.empty() && !header_.version.empty() && !header_.author.empty())
                return HeaderEnd::Complete;
        }
    }
    return HeaderEnd::EndOfFile;
}

void ParenthesisedReader::startBlock(std::string_view opener) {
    // The game name stays: a block without a name line keeps the previous one.
    cloneOf_.clear();
    romOf_.clear();
    kind_ = opener == "resource" ? SetKind::Bios : SetKind::Game;
}

bool ParenthesisedReader::endBlock(ScratchRomset& scratch) {
    if (cloneOf_ == romOf_) romOf_.clear();
    return scratch.addSet(DatSet{game_, kind_, cloneOf_, romOf_, {}}) != StoreResult::Failed;
}

bool ParenthesisedReader::readBody(ScratchRomset& scratch, bool firstBlockOpen) {
    bool inBlock = firstBlockOpen;
    if (inBlock) startBlock(tokens()[0]);
    while (nextLine()) {
        publish();
        const std::string_view word = firstToken();
        if (!inBlock) {
            if (word != "game" && word != "resource") continue;
            if (opensBlock(tokens())) {
                inBlock = true;
                startBlock(word);
            }
            continue;
        }
        if (line_ == ")") {
            inBlock = false;
            if (!endBlock(scratch)) return false;
            continue;
        }
        if (word == "name") {
            takeEvery(tokens(), "name", game_);
        } else if (word == "cloneof") {
            takeEvery(tokens(), "cloneof", cloneOf_);
        } else if (word == "romof") {
            takeEvery(tokens(), "romof", romOf_);
        } else if (word == "rom" || word == "disk") {
            tokens();
            if (!takeRom(scratch)) return false;
        }
    }
    // A file may end inside its last block.
    return !inBlock || endBlock(scratch);
}

bool ParenthesisedReader::takeRom(ScratchRomset& scratch) {
    std::string name, size, crc, md5, sha1, flags;
    bool noDump = false;
    for (size_t i = 1; i < tokens_.size(); ++i) {
        const std::string& t = tokens_[i];
        std::string* target = t == "name"    ? &name
                              : t == "size"  ? &size
                              : t == "crc"   ? &crc
                              : t == "md5"   ? &md5
                              : t == "sha1"  ? &sha1
                              : t == "flags" ? &flags
                                             : nullptr;
        if (!target) continue;
        *target = valueAfter(tokens_, i);
        ++i;
        if (target == &flags && flags == "nodump") noDump = true;
    }
    if (cloneOf_ == romOf_) romOf_.clear();
    // A ROM that was never dumped cannot be found; storing it would keep its
    // game incomplete for ever.
    if (noDump) return true;
    DatRom rom;
    rom.game = game_;
    // A disk is an image file of its own, known by its digests alone.
    const bool disk = tokens_[0] == "disk";
    rom.name = disk ? diskFileName(name) : std::move(name);
    rom.crc = disk ? std::string() : parenthesisedCrcText(crc);
    rom.size = disk ? std::string() : std::move(size);
    rom.md5 = digestText(md5);
    rom.sha1 = digestText(sha1);
    rom.cloneOf = cloneOf_;
    rom.romOf = romOf_;
    rom.line = lineNumber_;
    return scratch.add(rom) != StoreResult::Failed;
}

}  // namespace

bool importParenthesisedDat(ImportContext& context) { return ParenthesisedReader(context).run(); }

}  // namespace quorvane
