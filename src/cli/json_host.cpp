#include "cli/json_host.h"

#include "cli/json_writer.h"
#include "core/text.h"

namespace quorvane {

void JsonHost::writeMessages(JsonWriter& out) const {
    out.key("messages").beginArray();
    for (const std::string& m : messages_) out.value(m);
    out.endArray();
    out.key("findings").beginArray();
    for (const Finding& f : findings_) out.beginObject().field("file", f.file).field("text", f.text).endObject();
    out.endArray();
}

void JsonHost::printMessages(FILE* out) const {
    for (const std::string& m : messages_) std::fprintf(out, "%s\n", terminalText(m).c_str());
    for (const Finding& f : findings_) std::fprintf(out, "%s: %s\n", terminalText(f.file).c_str(),
                                                    terminalText(f.text).c_str());
}

}  // namespace quorvane
