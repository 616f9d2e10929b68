#include "cli_fixture.h"

#include <algorithm>
#include <cstdlib>

namespace quorvane::testing {

std::string programCommand(const std::string& homeDir, const std::string& args) {
    return std::string(QUORVANE_EXE) + " --home " + homeDir + " " + args;
}

void CliTest::writeSettings(const std::string& lines) const {
    writeFile(home.file("quorvane.INI"), "[Quorvane]\n" + lines + "\n");
}

int runKillable(const std::string& homeDir, const std::string& args, long long crashAt, std::string& log) {
    const std::string env = crashAt >= 0 ? "QUORVANE_CRASH_AFTER_CALLS=" + std::to_string(crashAt) + " " : "";
    return runCapture(env + programCommand(homeDir, args) + " </dev/null 2>&1", log);
}

long long countedCalls(const std::string& log) {
    const std::string mark = "quorvane: ";
    const size_t at = log.find(mark);
    return at == std::string::npos ? 0 : std::atoll(log.c_str() + at + mark.size());
}

std::vector<long long> killPoints(long long total, long long byDefault) {
    const char* wanted = std::getenv("QUORVANE_CRASH_POINTS");
    const long long count =
        std::min(total, wanted == nullptr ? byDefault
                                          : (std::string(wanted) == "all" ? total : std::max(2LL, std::atoll(wanted))));
    std::vector<long long> points;
    for (long long i = 0; i < count; ++i) points.push_back(count >= total ? i + 1 : 1 + i * (total - 1) / (count - 1));
    return points;
}

}  // namespace quorvane::testing
