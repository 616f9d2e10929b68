// Checking a CHD's data against the digests in its header, which reads the
// whole image: done by MAME's chdman (Debian package mame-tools) when it is
// on the PATH, run directly (no shell), its output collected.
#pragma once

#include <functional>
#include <string>

namespace quorvane {

struct ChdVerification {
    enum class Outcome {
        Passed,
        Failed,       // chdman found the image bad; `message` is its error line
        ToolMissing,  // no chdman on the PATH
        NotRun,       // it could not be started, or was stopped; `message` says why
    };
    Outcome outcome = Outcome::Passed;
    std::string message;
};

// Runs `chdman verify -i <path>`. `cancelled` is asked while it runs; when
// it answers true, chdman is stopped and the outcome is NotRun.
ChdVerification verifyChd(const std::string& path, const std::function<bool()>& cancelled = {});

}  // namespace quorvane
