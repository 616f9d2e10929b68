#include <gtest/gtest.h>

#include "core/json.h"
#include "core/text.h"

namespace quorvane {
namespace {

TEST(TerminalText, EscapesWhatATerminalWouldObey) {
    // ESC sequences, carriage returns, line feeds inside a name, NUL, DEL.
    EXPECT_EQ(terminalText("\x1b[2Jgame"), "\\x1b[2Jgame");
    EXPECT_EQ(terminalText("fake\rline\nnext\t"), "fake\\x0dline\\x0anext\\x09");
    EXPECT_EQ(terminalText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(terminalText("del\x7f"), "del\\x7f");
    // The C1 control CSI, written as UTF-8 (U+009B) and as a bare byte.
    EXPECT_EQ(terminalText("\xc2\x9b" "31m"), "\\xc2\\x9b31m");
    EXPECT_EQ(terminalText("\x9b" "31m"), "\\x9b31m");
}

TEST(TerminalText, KeepsValidUtf8AndEscapesBrokenSequences) {
    const std::string valid = "Pok\xc3\xa9mon \xe3\x83\x9d\xe3\x82\xb1\xe3\x83\xa2\xe3\x83\xb3 \xf0\x9f\x8e\xae \xc2\xa0";
    EXPECT_EQ(terminalText(valid), valid);
    EXPECT_EQ(terminalText("plain ASCII ~!"), "plain ASCII ~!");
    // Latin-1 as old DATs write it, a truncated sequence, an overlong "/",
    // a surrogate and a code point above U+10FFFF.
    EXPECT_EQ(terminalText("Pok\xe9mon"), "Pok\\xe9mon");
    EXPECT_EQ(terminalText("end\xe3\x83"), "end\\xe3\\x83");
    EXPECT_EQ(terminalText("\xc0\xaf"), "\\xc0\\xaf");
    EXPECT_EQ(terminalText("\xed\xa0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(terminalText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
    // A broken lead byte does not swallow the valid text after it.
    EXPECT_EQ(terminalText("\xe3" "a\xc3\xa9"), "\\xe3a\xc3\xa9");
}

TEST(JsonString, IsValidUtf8JsonWhateverTheNameHolds) {
    EXPECT_EQ(jsonString("a\"b\\c\n\x1b[2J\x7f"), "\"a\\\"b\\\\c\\n\\u001b[2J\\u007f\"");
    // UTF-8 stays; C1 controls are escaped; Latin-1 bytes read as Latin-1.
    EXPECT_EQ(jsonString("Pok\xc3\xa9mon \xe2\x82\xac"), "\"Pok\xc3\xa9mon \xe2\x82\xac\"");
    EXPECT_EQ(jsonString("\xc2\x9b"), "\"\\u009b\"");
    EXPECT_EQ(jsonString("Pok\xe9mon\xc3"), "\"Pok\\u00e9mon\\u00c3\"");
}

}  // namespace
}  // namespace quorvane
