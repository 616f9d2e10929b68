#include "cli_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/file_util.h"
#include "support/catalogue_rows.h"

namespace quorvane::testing {

std::string programCommand(const std::string& homeDir, const std::string& args) {
    return std::string(QUORVANE_EXE) + " --home " + homeDir + " " + args;
}

void CliTest::writeSettings(const std::string& lines) const {
    writeFile(home.file("quorvane.INI"), "[Quorvane]\n" + lines + "\n");
}

void CliTest::useRomsFolder() const { writeSettings("basedir=" + home.file("roms") + "\n" + kCategoriesAtBasedir); }

void CliTest::addRoms(const std::vector<RomRow>& rows) const {
    ASSERT_TRUE(makeFolders(home.file("databases")));
    Catalogue db(home.file("databases/roms"));
    addRows(db, rows);
}

std::string CliTest::expand(std::string text) const {
    for (size_t at; (at = text.find("$HOME")) != std::string::npos;) text.replace(at, 5, home.path());
    return text;
}

void CliTest::runSteps(const std::vector<Step>& steps) const {
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args);
        std::string out;
        EXPECT_EQ(run(expand(step.args), out), step.status) << out;
        if (step.out) {
            EXPECT_EQ(out, expand(*step.out));
        }
        for (const std::string& text : step.has) EXPECT_THAT(out, HasSubstr(expand(text)));
        for (const std::string& text : step.lacks) EXPECT_THAT(out, Not(HasSubstr(expand(text))));
        for (const auto& [path, content] : step.files) EXPECT_EQ(readFile(expand(path)), content) << path;
        for (const std::string& path : step.absent) EXPECT_FALSE(pathExists(expand(path))) << path;
    }
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

void TemplateHomeTest::fresh() const {
    std::filesystem::remove_all(home());
    std::filesystem::copy(templ(), home(), std::filesystem::copy_options::recursive);
}

void TemplateHomeTest::writeTemplateSettings() const {
    writeFile(templ() + "/quorvane.INI", "[Quorvane]\nbasedir=" + home() + "/roms\n" + kCategoriesAtBasedir);
}

}  // namespace quorvane::testing
