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
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
// How an XML DAT may start once white space is skipped: a declaration, a
// DOCTYPE or comment ("<!"), or one of the root elements read.
constexpr std::string_view kStarts[] = {"<?xml", "<!", "<datafile", "<mame", "<softwarelist"};
constexpr size_t kLongestStart = 13;

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
    enum class Root { None, Datafile, Mame, SoftwareList, SoftwareLists };

    // Reads past the byte-order mark and leading white space into `head_`;
    // false when the file does not start like XML.
    bool recognise();
    // A UTF-16 file goes to expat whole, byte-order mark included. When it
    // is UTF-16 text but not XML, it is refused here with a message.
    bool recogniseUtf16(std::string_view start);
    // Pass 1 over the whole file; false after a message (or a No to the question).
    bool parse();
    bool feed(const char* data, size_t size, bool last);

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes);
    static void XMLCALL onEnd(void* self, const XML_Char* name);
    static void XMLCALL onText(void* self, const XML_Char* text, int length);

    void startElement(std::string_view name, const XML_Char** attributes);
    void endElement();
    void startRoot(std::string_view name, const XML_Char** attributes);
    // A software list: its name is the system's.
    void startList(const XML_Char** attributes);
    // The end of one list of a <softwarelists> file: it is stored now.
    void endList();
    // Moves the rows of the system read so far into the category.
    bool store();
    void startSet(const XML_Char** attributes, bool software);
    void takeRom(const XML_Char** attributes, bool disk);
    void takeDeviceRef(const XML_Char** attributes);
    // The end of a set: its facts go to the scratch database.
    void endSet();
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
    std::uint64_t fileSize_ = 0;
    std::uint64_t skipped_ = 0;
    std::uint64_t fed_ = 0;
    unsigned long skippedLines_ = 0;

    Stop stop_ = Stop::None;
    bool decided_ = false;
    ReplaceDecision decision_ = ReplaceDecision::Insert;
    std::optional<ScratchRomset> scratch_;

    Root root_ = Root::None;
    int listDepth_ = 0;      // 0: not inside <softwarelist>
    bool skipList_ = false;  // the user kept the system this list would replace
    int listsStored_ = 0;
    int depth_ = 0;
    int headerDepth_ = 0;  // 0: not inside <header>
    bool headerDone_ = false;
    int setDepth_ = 0;       // 0: not inside a set
    bool software_ = false;  // the set is a list's <software>
    std::string* text_ = nullptr;  // header field whose text is being collected
    DatHeader header_;
    DatSet set_;
    DatRom rom_;
};

bool XmlDatReader::recognise() {
    file_ = std::fopen(context_.file().c_str(), "rb");
    if (!file_) return false;
    std::string block(kBlockSize, '\0');
    bool first = true;
    size_t start = 0;
    // White space may run past the first block; only the bytes from the first
    // "<" on are kept.
    for (;;) {
        const size_t n = std::fread(block.data(), 1, block.size(), file_);
        std::string_view got(block.data(), n);
        if (first && (startsWith(got, kUtf16LeBom) || startsWith(got, kUtf16BeBom))) return recogniseUtf16(got);
        if (first && startsWith(got, kUtf8Bom)) {
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
    while (head_.size() < kLongestStart) {
        const size_t n = std::fread(block.data(), 1, block.size(), file_);
        if (n == 0) break;
        head_.append(block.data(), n);
    }
    for (std::string_view start_ : kStarts)
        if (startsWith(head_, start_)) return true;
    return false;
}

bool XmlDatReader::recogniseUtf16(std::string_view start) {
    const bool littleEndian = startsWith(start, kUtf16LeBom);
    // The first character after the mark and any white space must be "<".
    for (size_t i = 2; i + 1 < start.size(); i += 2) {
        const char low = littleEndian ? start[i] : start[i + 1];
        const char high = littleEndian ? start[i + 1] : start[i];
        if (high == 0 && isXmlSpace(low)) continue;
        if (high == 0 && low == '<') {
            head_.assign(start);
            return true;
        }
        break;
    }
    context_.message(context_.path() +
                     " is UTF-16 text but not XML; only XML DATs can be read in UTF-16. "
                     "Save it as UTF-8 to import it; nothing imported.");
    skipped_ = 0;
    head_.clear();
    stop_ = Stop::Refused;
    return true;
}

bool XmlDatReader::run() {
    if (!recognise()) return false;
    if (stop_ != Stop::None) return true;
    struct stat st {};
    fileSize_ = ::fstat(::fileno(file_), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    context_.progress().setMaximum(fileSize_);
    if (!parse()) return true;
    if (root_ == Root::SoftwareLists) {
        if (listsStored_ == 0 && !skipList_)
            context_.message("No software list found in " + context_.path() + "; nothing imported.");
        return true;
    }
    // A MAME list names its system without a header; it may still hold no set.
    if (!decided_) decide();
    if (stop_ != Stop::None) return true;
    store();
    return true;
}

bool XmlDatReader::store() {
    // The old rows go only now, once the system's rows are safely in the scratch file.
    if (!scratch_->finishAdding()) return false;
    if (decision_ == ReplaceDecision::Delete && !context_.deleteOldRows(header_.name)) return false;
    const bool stored = scratch_->copyIntoCategory(header_);
    scratch_.reset();
    return stored;
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
        const std::string line = std::to_string(XML_GetCurrentLineNumber(parser_) + skippedLines_);
        context_.message(context_.path() + " is not well-formed XML (line " + line + ": " +
                         XML_ErrorString(XML_GetErrorCode(parser_)) + ")" +
                         (listsStored_ ? "; the software lists before line " + line + " were imported."
                                       : "; nothing imported."));
        context_.failed();
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
    if (depth_ == 1) return startRoot(name, attributes);
    if (headerDepth_) {
        if (depth_ != headerDepth_ + 1) return;
        if (name == "clrmamepro") {
            for (const XML_Char** a = attributes; *a; a += 2)
                if (std::string_view(a[0]) == "header") header_.headerRule = a[1];
            return;
        }
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
        // A software's ROMs sit in parts and data areas; a game's, right in it.
        const bool inSet = software_ || depth_ == setDepth_ + 1;
        if ((name == "rom" || name == "disk") && inSet) takeRom(attributes, name == "disk");
        else if (name == "device_ref" && depth_ == setDepth_ + 1) takeDeviceRef(attributes);
        return;
    }
    if (root_ == Root::SoftwareLists) {
        if (depth_ == 2 && name == "softwarelist") startList(attributes);
        else if (listDepth_ && name == "software") startSet(attributes, true);
        return;
    }
    if (name == "game" || name == "machine" || name == "software") {
        startSet(attributes, name == "software");
    } else if (name == "header" && !headerDone_ && !decided_) {
        headerDepth_ = depth_;
    }
}

void XmlDatReader::startRoot(std::string_view name, const XML_Char** attributes) {
    if (name == "datafile") {
        root_ = Root::Datafile;
    } else if (name == "mame") {
        root_ = Root::Mame;
        headerDone_ = true;
        header_.name = "MAME";
        for (const XML_Char** a = attributes; *a; a += 2)
            if (std::string_view(a[0]) == "build") header_.version = a[1];
    } else if (name == "softwarelist") {
        root_ = Root::SoftwareList;
        startList(attributes);
    } else if (name == "softwarelists") {
        root_ = Root::SoftwareLists;
    } else {
        context_.message(context_.path() + " is XML but not a DAT (its root element is <" + std::string(name) +
                         ">); nothing imported.");
        stop(Stop::Refused);
    }
}

void XmlDatReader::startList(const XML_Char** attributes) {
    listDepth_ = depth_;
    headerDone_ = true;
    decided_ = false;
    skipList_ = false;
    header_ = {};
    for (const XML_Char** a = attributes; *a; a += 2)
        if (std::string_view(a[0]) == "name") header_.name = a[1];
}

void XmlDatReader::endList() {
    listDepth_ = 0;
    if (root_ != Root::SoftwareLists) return;
    // An empty list still asks its question, so "nothing in it" is said.
    if (!decided_) decide();
    if (stop_ != Stop::None || skipList_) return;
    if (!store()) return stop(Stop::Failed);
    ++listsStored_;
    context_.progress().setMaximum(fileSize_);
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
        endSet();
    } else if (depth == listDepth_) {
        endList();
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
    if (decision_ == ReplaceDecision::Cancel) {
        // Keeping one list's system leaves the file's other lists to ask.
        if (root_ == Root::SoftwareLists) {
            skipList_ = true;
            return;
        }
        return stop(Stop::Cancelled);
    }
    scratch_.emplace(context_);
    if (!scratch_->open()) stop(Stop::Refused);
}

void XmlDatReader::startSet(const XML_Char** attributes, bool software) {
    // A set before any header: the file names no system.
    if (!decided_) decide();
    if (stop_ != Stop::None || skipList_) return;
    setDepth_ = depth_;
    software_ = software;
    set_ = {};
    for (const XML_Char** a = attributes; *a; a += 2) {
        const std::string_view key = a[0];
        const bool yes = std::strcmp(a[1], "yes") == 0;
        if (key == "name") set_.game = a[1];
        else if (key == "cloneof") set_.cloneOf = a[1];
        else if (key == "romof") set_.romOf = a[1];
        else if (key == "isbios" && yes) set_.kind = SetKind::Bios;
        else if (key == "isdevice" && yes) set_.kind = SetKind::Device;
    }
    // As in the parenthesised reader: a clone whose ROM parent is its clone
    // parent is a clone only.
    if (set_.cloneOf == set_.romOf) set_.romOf.clear();
    rom_.game = set_.game;
    rom_.cloneOf = set_.cloneOf;
    rom_.romOf = set_.romOf;
    publish();
}

void XmlDatReader::takeDeviceRef(const XML_Char** attributes) {
    for (const XML_Char** a = attributes; *a; a += 2)
        if (std::string_view(a[0]) == "name") set_.devices.emplace_back(a[1]);
}

void XmlDatReader::endSet() {
    setDepth_ = 0;
    if (scratch_->addSet(set_) == StoreResult::Failed) stop(Stop::Failed);
}

void XmlDatReader::takeRom(const XML_Char** attributes, bool disk) {
    std::string_view name, size, crc, md5, sha1;
    bool noDump = false;
    bool loadFlag = false;
    for (const XML_Char** a = attributes; *a; a += 2) {
        const std::string_view key = a[0];
        if (key == "name") name = a[1];
        else if (key == "size") size = a[1];
        else if (key == "crc") crc = a[1];
        else if (key == "md5") md5 = a[1];
        else if (key == "sha1") sha1 = a[1];
        else if (key == "status") noDump = std::strcmp(a[1], "nodump") == 0;
        else if (key == "loadflag") loadFlag = true;
    }
    publish();
    // A ROM that was never dumped cannot be found; storing it would keep its
    // game incomplete for ever. A nameless row with a load flag is how a
    // software list loads more of the file named before it: no file of its own.
    if (noDump || (name.empty() && loadFlag)) return;
    // A disk is an image file of its own, known by its digests alone.
    rom_.name = disk ? diskFileName(name) : std::string(name);
    rom_.size = disk ? std::string() : decimalSizeText(size);
    rom_.crc = disk ? std::string() : parenthesisedCrcText(crc);
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
