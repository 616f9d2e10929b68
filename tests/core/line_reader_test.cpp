#include <gtest/gtest.h>

#include "core/line_reader.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

std::vector<std::string> readAll(const std::string& path) {
    LineReader reader(path);
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line)) lines.push_back(line);
    return lines;
}

TEST(LineReader, EveryLineEndAndNoFinalEnd) {
    testing::TempDir dir;
    testing::writeFile(dir.file("a"), "one\r\ntwo\nthree\rfour\r\r\nfive");
    EXPECT_EQ(readAll(dir.file("a")), (std::vector<std::string>{"one", "two", "three", "four", "", "five"}));
    testing::writeFile(dir.file("b"), "x\n\n");
    EXPECT_EQ(readAll(dir.file("b")), (std::vector<std::string>{"x", ""}));
    testing::writeFile(dir.file("c"), "");
    EXPECT_TRUE(readAll(dir.file("c")).empty());
}

TEST(LineReader, LongLinesAcrossBufferBoundaries) {
    testing::TempDir dir;
    const std::string longLine(300000, 'q');
    // CR at the very end of the first buffer, LF at the start of the next.
    const std::string first(65535, 'a');
    testing::writeFile(dir.file("a"), first + "\r\n" + longLine + "\nend");
    const auto lines = readAll(dir.file("a"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], first);
    EXPECT_EQ(lines[1], longLine);
    EXPECT_EQ(lines[2], "end");
    EXPECT_FALSE(LineReader(dir.path()).isOpen());
}

}  // namespace
}  // namespace quorvane
