#include "import/xml_dat.h"

#include <expat.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "core/text.h"
#include "import/dat_values.h"
#include "import/scratch_romset.h"

namespace quorvane {

namespace {

// Large enough that expat's per-call cost vanishes, small enough to stay in cache.
constexpr size_t kBlockSize = 1 << 16;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kXmlDeclaration = "<?xml";
constexpr std::string_view kDatafileRoot = "<datafile";

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Line ends as expat counts them (LF, CR LF, lone CR).
unsigned long countLines(std::string_view text) {
    unsigned long lines = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ++lines;
        else if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ++lines;
    }
    return lines;
}

class XmlDatReader {
public:
    explicit XmlDatReader(ImportContext& context) : context_(context) {}
    ~XmlDatReader() {
        if (parser_) XML_ParserFree(parser_);
        if (file_) std::fclose(file_);
    }
    XmlDatReader(const XmlDatReader&) = delete;
    XmlDatReader& operator=(const XmlDatReader&) = delete;

    bool run();

private:
    enum class Stop { None, Cancelled, Refused, NoName, Failed };

    // Reads past the byte-order mark and leading white space into `head_`;
    // false when the file does not start like XML.
    bool recognise();
    // Pass 1 over the whole file; false after a message (or a No to the question).
    bool parse();
    bool feed(const char* data, size_t size, bool last);

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes);
    static void XMLCALL onEnd(void* self, const XML_Char* name);
    static void XMLCALL onText(void* self, const XML_Char* text, int length);

    void startElement(std::string_view name, const XML_Char** attributes);
    void endElement();
    void startSet(const XML_Char** attributes);
    void takeRom(const XML_Char** attributes);
    // Appends the text that follows to `field`; nullptr stops collecting.
    void collectText(std::string* field);
    // The header is known: the checks and the question every reader makes.
    void decide();
    void stop(Stop why);
    void publish() { context_.progress().update(context_.path(), offset()); }
    // Inside a handler: where the current element starts.
    std::uint64_t offset() const { return skipped_ + static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_)); }

    ImportContext& context_;
    FILE* file_ = nullptr;
    XML_Parser parser_ = nullptr;
    std::string head_;
    std::uint64_t skipped_ = 0;
    std::uint64_t fed_ = 0;
    unsigned long skippedLines_ = 0;

    Stop stop_ = Stop::None;
    bool decided_ = false;
    ReplaceDecision decision_ = ReplaceDecision::Insert;
    std::optional<ScratchRomset> scratch_;

    int depth_ = 0;
    int headerDepth_ = 0;  // 0: not inside <header>
    bool headerDone_ = false;
    int setDepth_ = 0;  // 0: not inside a set
    std::string* text_ = nullptr;  // header field whose text is being collected
    DatHeader header_;
    DatRom rom_;
};

bool XmlDatReader::recognise() {
    file_ = std::fopen(context_.path().c_str(), "rb");
    if (!file_) return false;
    std::string block(kBlockSize, '\0');
    bool first = true;
    size_t start = 0;
    // White space may run past the first block; only the bytes from the first
    // "<" on are kept.
    for (;;) {
        const size_t n = std::fread(block.data(), 1, block.size(), file_);
        std::string_view got(block.data(), n);
        if (first && got.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            got.remove_prefix(kUtf8Bom.size());
            skipped_ += kUtf8Bom.size();
        }
        first = false;
        start = 0;
        while (start < got.size() && isXmlSpace(got[start])) ++start;
        skipped_ += start;
        skippedLines_ += countLines(got.substr(0, start));
        if (start < got.size()) {
            head_.assign(got.substr(start));
            break;
        }
        if (n == 0) return false;
    }
    while (head_.size() < kDatafileRoot.size()) {
        const size_t n = std::fread(block.data(), 1, block.size(), file_);
        if (n == 0) break;
        head_.append(block.data(), n);
    }
    return startsWith(head_, kXmlDeclaration) || startsWith(head_, kDatafileRoot);
}

bool XmlDatReader::run() {
    if (!recognise()) return false;
    struct stat st {};
    context_.progress().setMaximum(::fstat(::fileno(file_), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0);
    if (!parse()) return true;
    if (!decided_) {
        context_.message("No romset name found in " + context_.path() + "; nothing imported.");
        return true;
    }
    // The old rows go only now, once the whole file is safely in the scratch database.
    if (decision_ == ReplaceDecision::Delete && !context_.deleteOldRows(header_.name)) return true;
    scratch_->copyIntoCategory(header_);
    return true;
}

bool XmlDatReader::parse() {
    parser_ = XML_ParserCreate(nullptr);
    if (!parser_) {
        context_.message("Not enough memory to read " + context_.path() + "; nothing imported.");
        return false;
    }
    // Never reach outside the file: no external DTD, no external entities
    // (without a handler expat skips their references).
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, onStart, onEnd);

    bool ok = feed(head_.data(), head_.size(), false);
    head_.clear();
    head_.shrink_to_fit();
    while (ok) {
        void* buffer = XML_GetBuffer(parser_, kBlockSize);
        if (!buffer) {
            context_.message("Not enough memory to read " + context_.path() + "; nothing imported.");
            return false;
        }
        const size_t n = std::fread(buffer, 1, kBlockSize, file_);
        if (n == 0 && std::ferror(file_)) {
            context_.message("Reading " + context_.path() + " failed; nothing imported.");
            return false;
        }
        fed_ += n;
        if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK) ok = false;
        else if (n == 0) break;
    }
    if (!ok) {
        // Every stop of ours has said what it had to say.
        if (stop_ != Stop::None) return false;
        context_.message(context_.path() + " is not well-formed XML (line " +
                         std::to_string(XML_GetCurrentLineNumber(parser_) + skippedLines_) + ": " +
                         XML_ErrorString(XML_GetErrorCode(parser_)) + "); nothing imported.");
        return false;
    }
    context_.progress().flush(context_.path(), skipped_ + fed_);
    return true;
}

bool XmlDatReader::feed(const char* data, size_t size, bool last) {
    fed_ += size;
    return XML_Parse(parser_, data, static_cast<int>(size), last) == XML_STATUS_OK;
}

void XMLCALL XmlDatReader::onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    static_cast<XmlDatReader*>(self)->startElement(name, attributes);
}

void XMLCALL XmlDatReader::onEnd(void* self, const XML_Char*) { static_cast<XmlDatReader*>(self)->endElement(); }

void XMLCALL XmlDatReader::onText(void* self, const XML_Char* text, int length) {
    static_cast<XmlDatReader*>(self)->text_->append(text, static_cast<size_t>(length));
}

void XmlDatReader::collectText(std::string* field) {
    text_ = field;
    // Text is wanted only in the header fields; elsewhere expat need not call back.
    XML_SetCharacterDataHandler(parser_, field ? onText : nullptr);
}

void XmlDatReader::startElement(std::string_view name, const XML_Char** attributes) {
    ++depth_;
    if (stop_ != Stop::None) return;
    if (headerDepth_) {
        if (depth_ != headerDepth_ + 1) return;
        std::string* field = name == "name"      ? &header_.name
                             : name == "version" ? &header_.version
                             : name == "author"  ? &header_.author
                                                 : nullptr;
        if (field) {
            field->clear();
            collectText(field);
        }
        return;
    }
    if (setDepth_) {
        if (depth_ == setDepth_ + 1 && (name == "rom" || name == "disk")) takeRom(attributes);
        return;
    }
    if (name == "game" || name == "machine") {
        startSet(attributes);
    } else if (name == "header" && !headerDone_ && !decided_) {
        headerDepth_ = depth_;
    }
}

void XmlDatReader::endElement() {
    const int depth = depth_--;
    if (stop_ != Stop::None) return;
    if (headerDepth_) {
        collectText(nullptr);
        if (depth != headerDepth_) return;
        headerDepth_ = 0;
        headerDone_ = true;
        for (std::string* field : {&header_.name, &header_.version, &header_.author})
            *field = std::string(trimControl(*field));
        decide();
    } else if (depth == setDepth_) {
        setDepth_ = 0;
    }
}

void XmlDatReader::decide() {
    decided_ = true;
    if (header_.name.empty()) {
        context_.message("No romset name found in " + context_.path() + "; nothing imported.");
        return stop(Stop::NoName);
    }
    if (!context_.acceptHeader(header_)) return stop(Stop::Refused);
    decision_ = context_.decideReplacement(header_);
    if (decision_ == ReplaceDecision::Cancel) return stop(Stop::Cancelled);
    scratch_.emplace(context_);
    if (!scratch_->open()) stop(Stop::Refused);
}

void XmlDatReader::startSet(const XML_Char** attributes) {
    // A set before any header: the file names no system.
    if (!decided_) decide();
    if (stop_ != Stop::None) return;
    setDepth_ = depth_;
    rom_.game.clear();
    rom_.cloneOf.clear();
    rom_.romOf.clear();
    for (const XML_Char** a = attributes; *a; a += 2) {
        const std::string_view key = a[0];
        if (key == "name") rom_.game = a[1];
        else if (key == "cloneof") rom_.cloneOf = a[1];
        else if (key == "romof") rom_.romOf = a[1];
    }
    // As in the parenthesised reader: a clone whose ROM parent is its clone
    // parent is a clone only.
    if (rom_.cloneOf == rom_.romOf) rom_.romOf.clear();
    publish();
}

void XmlDatReader::takeRom(const XML_Char** attributes) {
    std::string_view name, size, crc, md5, sha1;
    bool noDump = false;
    for (const XML_Char** a = attributes; *a; a += 2) {
        const std::string_view key = a[0];
        if (key == "name") name = a[1];
        else if (key == "size") size = a[1];
        else if (key == "crc") crc = a[1];
        else if (key == "md5") md5 = a[1];
        else if (key == "sha1") sha1 = a[1];
        else if (key == "status") noDump = std::strcmp(a[1], "nodump") == 0;
    }
    publish();
    // A ROM that was never dumped cannot be found; storing it would keep its
    // game incomplete for ever.
    if (noDump) return;
    rom_.name.assign(name);
    rom_.size.assign(size);
    rom_.crc = parenthesisedCrcText(crc);
    rom_.md5 = digestText(md5);
    rom_.sha1 = digestText(sha1);
    rom_.line = skippedLines_ + XML_GetCurrentLineNumber(parser_);
    if (scratch_->add(rom_) == StoreResult::Failed) stop(Stop::Failed);
}

void XmlDatReader::stop(Stop why) {
    stop_ = why;
    collectText(nullptr);
    XML_StopParser(parser_, XML_FALSE);
}

}  // namespace

bool importXmlDat(ImportContext& context) { return XmlDatReader(context).run(); }

}  // namespace quorvane
