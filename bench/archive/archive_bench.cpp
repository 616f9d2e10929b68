// Digest throughput on a 256 MiB loose file and testZip over 5,000 small
// archives, each timed against the system tool that does the same job in
// the same run: crc32 (or zlib.crc32 in Python where crc32 is missing),
// md5sum, sha1sum and `unzip -tqq`. Prints our time / tool time; the goal
// is at most 1.2.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/content_digests.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "archive/zip_writer.h"

namespace {

using quorvane::ContentDigests;

constexpr size_t kLooseFileSize = 256u << 20;
constexpr int kArchiveCount = 5000;

std::string gFolder;
std::string gLooseFile;
std::string gArchiveFolder;
std::vector<std::string> gArchives;

// Bytes that compress about 3:1, like typical ROM data, from a fixed seed.
std::string sampleBytes(size_t size, uint64_t seed) {
    std::string out(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<char>((x & 0x0F) < 5 ? x >> 32 : 'A' + (i % 7));
    }
    return out;
}

void writeBytes(const std::string& path, const std::string& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void prepare() {
    char pattern[] = "/tmp/quorvane-bench-XXXXXX";
    gFolder = ::mkdtemp(pattern);
    gLooseFile = gFolder + "/loose.bin";
    std::string big;
    big.reserve(kLooseFileSize);
    while (big.size() < kLooseFileSize) big += sampleBytes(1 << 20, big.size());
    writeBytes(gLooseFile, big);

    gArchiveFolder = gFolder + "/set";
    std::filesystem::create_directory(gArchiveFolder);
    const std::string romA = gFolder + "/rom_a.bin";
    const std::string romB = gFolder + "/rom_b.txt";
    for (int i = 0; i < kArchiveCount; ++i) {
        writeBytes(romA, sampleBytes(16384 + (i % 97) * 64, i));
        writeBytes(romB, "game " + std::to_string(i) + " readme\n");
        const std::string path = gArchiveFolder + "/game" + std::to_string(i) + ".zip";
        quorvane::ZipWriter zip(path);
        using quorvane::ZipStatus;
        if (zip.open() != ZipStatus::Ok || zip.addFile(romA, "rom_a.bin") != ZipStatus::Ok ||
            zip.addFile(romB, "rom_b.txt") != ZipStatus::Ok || zip.close() != ZipStatus::Ok) {
            std::fprintf(stderr, "cannot build %s\n", path.c_str());
            std::exit(1);
        }
        gArchives.push_back(path);
    }
}

void runTool(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
    }
}

void digest(benchmark::State& state, bool crc, bool md5, bool sha1) {
    for (auto _ : state) {
        std::string c, m, s;
        if (!ContentDigests(gLooseFile).digestFile(c, m, s, crc, md5, sha1)) state.SkipWithError("digest failed");
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLooseFileSize);
}

void testArchives(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& path : gArchives) {
            quorvane::ZipListing info(path);
            if (info.count() != 2 || !quorvane::zipTestPassed(info.testZip())) state.SkipWithError("test failed");
        }
    }
}

// Keeps each run's real time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

bool haveCommand(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null").c_str()) == 0; }

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    prepare();
    const std::string file = "'" + gLooseFile + "'";
    const bool crcTool = haveCommand("crc32");
    const std::string crcCommand =
        crcTool ? "crc32 " + file + " >/dev/null"
                : "python3 -c 'import sys,zlib\nc=0\nf=open(sys.argv[1],\"rb\")\nwhile b:=f.read(1<<20): c=zlib.crc32(b,c)' " +
                      file;
    const std::pair<const char*, const char*> pairs[] = {{"crc32/quorvane", "crc32/tool"},
                                                         {"md5/quorvane", "md5/md5sum"},
                                                         {"sha1/quorvane", "sha1/sha1sum"},
                                                         {"testZip/quorvane", "testZip/unzip -tqq"}};
    const int rounds = 5;
    benchmark::RegisterBenchmark("crc32/quorvane", digest, true, false, false)->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("crc32/tool", runTool, crcCommand)->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("md5/quorvane", digest, false, true, false)->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("md5/md5sum", runTool, "md5sum " + file + " >/dev/null")->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("sha1/quorvane", digest, false, false, true)->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("sha1/sha1sum", runTool, "sha1sum " + file + " >/dev/null")->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("all three/quorvane", digest, true, true, true)->Iterations(rounds)->UseRealTime();
    benchmark::RegisterBenchmark("testZip/quorvane", testArchives)->Iterations(3)->UseRealTime();
    benchmark::RegisterBenchmark("testZip/unzip -tqq", runTool, "unzip -tqq '" + gArchiveFolder + "/*.zip' >/dev/null")
        ->Iterations(3)
        ->UseRealTime();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (quorvane time / tool time; goal <= 1.2)%s\n",
                crcTool ? "" : "  [crc32 tool missing: compared with Python zlib.crc32]");
    for (const auto& [ours, tool] : pairs) {
        const auto a = reporter.seconds.find(ours);
        const auto b = reporter.seconds.find(tool);
        if (a == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) continue;
        std::printf("  %-18s %-20s %.2f\n", ours, tool, a->second / b->second);
    }
    std::filesystem::remove_all(gFolder);
    benchmark::Shutdown();
    return 0;
}
