#include "cli/json_writer.h"

#include "core/json.h"

namespace quorvane {

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) out_ += ", ";
        empty_.back() = false;
    }
}

JsonWriter& JsonWriter::open(char bracket) {
    separate();
    out_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    out_ += bracket;
    if (!empty_.empty()) empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    out_ += jsonString(name);
    out_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    separate();
    out_ += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(int number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}

}  // namespace quorvane
