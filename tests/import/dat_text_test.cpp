#include <gtest/gtest.h>

#include "import/dat_values.h"
#include "import/split_tokens.h"

namespace quorvane {
namespace {

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> tokens{"left over"};
    splitTokens(line, tokens);
    return tokens;
}

using V = std::vector<std::string>;

TEST(SplitTokens, QuotesBlanksCommasAndHighBytes) {
    EXPECT_EQ(split("\trom ( name \"a b.bin\" size 1024 )"), (V{"rom", "(", "name", "a b.bin", "size", "1024", ")"}));
    EXPECT_EQ(split("name a,b"), (V{"name", "a", "b"}));
    EXPECT_EQ(split("name \"say \"\"hi\"\"\""), (V{"name", "say \"hi\""}));
    EXPECT_EQ(split("name \"open to the end"), (V{"name", "open to the end"}));
    EXPECT_EQ(split("\"a\"b"), (V{"a", "b"}));
    EXPECT_EQ(split("a,,b"), (V{"a", "", "b"}));
    EXPECT_EQ(split("a ,"), (V{"a", ""}));
    EXPECT_EQ(split("a, "), (V{"a"}));
    EXPECT_EQ(split("game( x)"), (V{"game(", "x)"}));
    EXPECT_EQ(split(""), V{});
    EXPECT_EQ(split(" \t\r"), V{});
    EXPECT_EQ(split("\"\""), V{""});
    // C2 A0 is a UTF-8 no-break space, A0 alone a Latin-1 one: both belong to the name.
    EXPECT_EQ(split("name Caf\xC3\xA9\xC2\xA0X size 1"), (V{"name", "Caf\xC3\xA9\xC2\xA0X", "size", "1"}));
    EXPECT_EQ(split("\xA0name"), V{"\xA0name"});
    EXPECT_EQ(split(std::string_view("a\0b", 3)), (V{"a", "b"}));
}

TEST(DatValues, CrcTextForms) {
    EXPECT_EQ(parenthesisedCrcText("0xAE7C76E9"), "ae7c76e9");
    EXPECT_EQ(parenthesisedCrcText("0xABC"), "00000abc");
    EXPECT_EQ(parenthesisedCrcText("123456789"), "23456789");
    EXPECT_EQ(parenthesisedCrcText(""), "");
    EXPECT_EQ(parenthesisedCrcText("bad"), "00000bad");
    EXPECT_EQ(parenthesisedCrcText("xyz"), "xyz");

    EXPECT_EQ(sectionedCrcText("1234"), "00001234");
    EXPECT_EQ(sectionedCrcText("123456789"), "123456789");
    EXPECT_EQ(sectionedCrcText(""), "");

    EXPECT_EQ(digestText("0x606B835BA5817F6C28727BE7F93C4DF367AFA6F7"), "606b835ba5817f6c28727be7f93c4df367afa6f7");
}

}  // namespace
}  // namespace quorvane
