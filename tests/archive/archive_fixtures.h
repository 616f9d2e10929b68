// Fixture archives for the zip layer tests, made and examined by
// ziptool.py (Python's zipfile), plus a FileOps that fails on demand.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_ops.h"
#include "archive/zip_status.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

// Runs ziptool.py with `args`; returns its output (the test fails on error).
std::string zipTool(const std::string& args);
// Writes the archive `path` from a JSON entry list (see ziptool.py).
void makeZip(const std::string& path, const std::string& jsonEntries);

// Stored (CRC with leading zeros), deflated, empty, nested and case-variant
// entries, in this order.
extern const char* const kMixedEntries;
// Content of "deflated.txt" in kMixedEntries.
std::string mixedDeflatedText();

using Names = std::vector<std::string>;
// Names in `folder`, sorted.
Names folderNames(const std::string& folder);
// The entry names of `zip` in directory order, as our own listing reads them.
Names entryNames(const std::string& zip);
// zipTool("raw ...") of `zip` without the line of entry `name`.
std::string rawWithout(const std::string& zip, const std::string& name);

// The SHA-1 of an entry's content as Python reads it, and of a file as sha1sum does.
std::string readHash(const std::string& zip, const std::string& name);
std::string fileHash(const std::string& path);

uint32_t crc32Of(std::string_view data);
// `size` bytes that do not compress, different for each `seed`.
std::string noise(size_t size, uint32_t seed);

// Entry name -> content.
using Contents = std::map<std::string, std::string>;
// Every entry of the packed (not zip) `archive`, read whole; the test fails
// unless listing and reading give Ok and each entry's head is its first bytes.
Contents listedContents(const std::string& archive);

// A temporary folder holding set/mixed.zip (kMixedEntries) and an empty out/.
class MixedZipTest : public ::testing::Test {
protected:
    MixedZipTest();
    TempDir dir;
    const std::string zip = dir.file("set/mixed.zip"), out = dir.file("out");
};

// Passes every call through, except that call number `failAt` (counting
// from 1) fails with `error`. failAt 0 never fails; calls() counts them all.
// Header-only, so the engine's tests use it too.
class FailingFileOps : public FileOps {
public:
    explicit FailingFileOps(int failAt = 0, int error = EIO) : failAt_(failAt), error_(error) {}
    int calls() const { return calls_; }

    using FileOps::openRead;
    int openRead(const std::string& p, const ReadOpen& h) override { return fail() ? -1 : FileOps::openRead(p, h); }
    int openReadWrite(const std::string& p) override { return fail() ? -1 : FileOps::openReadWrite(p); }
    int createNew(const std::string& p) override { return fail() ? -1 : FileOps::createNew(p); }
    ssize_t readAt(int fd, void* b, size_t n, uint64_t o) override { return fail() ? -1 : FileOps::readAt(fd, b, n, o); }
    ssize_t writeAt(int fd, const void* b, size_t n, uint64_t o) override {
        return fail() ? -1 : FileOps::writeAt(fd, b, n, o);
    }
    int64_t fileSize(int fd) override { return fail() ? -1 : FileOps::fileSize(fd); }
    int statOf(int fd, struct stat& st) override { return fail() ? -1 : FileOps::statOf(fd, st); }
    int sync(int fd) override { return fail() ? -1 : FileOps::sync(fd); }
    int setModifiedTime(int fd, time_t t) override { return fail() ? -1 : FileOps::setModifiedTime(fd, t); }
    int close(int fd) override {
        const bool failed = fail();
        const int result = FileOps::close(fd);  // the descriptor is gone either way, as with close(2)
        return failed ? -1 : result;
    }
    int modifiedTime(const std::string& p, time_t& t) override { return fail() ? -1 : FileOps::modifiedTime(p, t); }
    int rename(const std::string& a, const std::string& b) override { return fail() ? -1 : FileOps::rename(a, b); }
    int renameNoReplace(const std::string& a, const std::string& b) override {
        return fail() ? -1 : FileOps::renameNoReplace(a, b);
    }
    int link(const std::string& a, const std::string& b) override { return fail() ? -1 : FileOps::link(a, b); }
    int makeFolder(const std::string& p) override { return fail() ? -1 : FileOps::makeFolder(p); }
    int removeFolder(const std::string& p) override { return fail() ? -1 : FileOps::removeFolder(p); }
    int remove(const std::string& p) override { return fail() ? -1 : FileOps::remove(p); }
    int syncFolder(const std::string& f) override { return fail() ? -1 : FileOps::syncFolder(f); }

protected:
    // Counts a call; true when this one is to fail (errno is then set).
    bool fail() {
        if (++calls_ != failAt_) return false;
        errno = error_;
        return true;
    }

private:
    int failAt_;
    int error_;
    int calls_ = 0;
};

// Runs `attempt` (which sets up and then runs the operation) with no
// failure, where it must give Ok, then again with each of its disk calls
// failing in turn (an Ops made of the call's number and `args`), passing
// `check` the call number and the status. Returns the number of calls and
// of failed runs.
template <class Ops = FailingFileOps, class... Args>
std::pair<int, int> failEachCall(const std::function<ZipStatus()>& attempt,
                                 const std::function<void(int call, ZipStatus)>& check, const Args&... args) {
    Ops counter(0, args...);
    {
        ScopedFileOps scope(counter);
        EXPECT_EQ(attempt(), ZipStatus::Ok);
    }
    EXPECT_GT(counter.calls(), 10);
    int failures = 0;
    for (int n = 1; n <= counter.calls(); ++n) {
        Ops ops(n, args...);
        ZipStatus status;
        {
            ScopedFileOps scope(ops);
            status = attempt();
        }
        failures += status != ZipStatus::Ok;
        check(n, status);
    }
    return {counter.calls(), failures};
}

}  // namespace quorvane::testing
