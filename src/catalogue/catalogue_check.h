// The full check of a category database (the cheap checks run at every
// open; this one runs on demand): every block of the five key files, and the
// record file against its indexes. Every live row (one the system index
// names) has exactly its system entry, its CRC entry and its game entry
// (unless the game index is still to be built: absent, or empty), every index entry
// points at the start of a row whose fields give its key, every system with
// rows has a catalogue entry and no entry lacks rows, and the free-slot index
// names exactly the rows no system holds, each under its size.
//
// How to use:
//   CatalogueReport report;
//   if (checkCatalogue(basePath, report) != 0) ...   // could not be locked
//   for (auto& line : report.problems) ...; report.sound();
#pragma once

#include <string>
#include <vector>

#include "catalogue/store_status.h"

namespace quorvane {

struct CatalogueReport {
    size_t systems = 0;
    size_t rows = 0;      // live rows
    size_t freeRows = 0;  // rows kept for reuse
    std::vector<std::string> problems;
    bool sound() const { return problems.empty(); }
};

struct CatalogueScan;

// Adds to `report` what the scanned files disagree on.
void compareRowsWithIndexes(const CatalogueScan& scan, CatalogueReport& report);

// "Checked database B: N systems, N rows, N free rows." for the person.
std::string checkSummary(const std::string& basePath, const CatalogueReport& report);

// Locks the database (rolling back what a crash left) and checks it.
// Ok, or why it cannot be locked.
StoreStatus checkCatalogue(const std::string& basePath, CatalogueReport& report);

}  // namespace quorvane
