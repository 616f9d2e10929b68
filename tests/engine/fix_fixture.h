// A small catalogue for the fix tests: game A with two ROMs and B with one
// in system Sys, and O with one in system Other.
#pragma once

#include <memory>
#include <string>

#include "engine/engine_fixture.h"
#include "engine/fix_job.h"

namespace quorvane::testing {

class FixTest : public EngineTest {
protected:
    void SetUp() override {
        addRom("Sys", "A", "a1.bin", "content a1");
        addRom("Sys", "A", "a2.bin", "content a2");
        addRom("Sys", "B", "b1.bin", "content b1");
        addRom("Other", "O", "o1.bin", "content o1");
    }
    std::unique_ptr<FixJob> fix() { return std::make_unique<FixJob>(db, host, settings, "Sys"); }
    std::string f() const { return systemFolder("Sys"); }
};

}  // namespace quorvane::testing
