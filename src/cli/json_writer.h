// Writes one JSON document a value at a time, placing the commas itself:
//   JsonWriter w;
//   w.beginObject().field("command", "scan").key("games").beginArray();
//   ... w.endArray().endObject();
//   std::puts(w.text().c_str());
// Strings are escaped by jsonString (core/json.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(int number);
    JsonWriter& value(bool flag);
    JsonWriter& null();
    template <typename T>
    JsonWriter& field(std::string_view name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& text() const { return out_; }

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    // The comma before a value or key that is not the first of its container.
    void separate();

    std::string out_;
    std::vector<bool> empty_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace quorvane
