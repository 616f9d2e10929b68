// What check and repair read of a category database: every row of the
// record file and every record of the five key files, straight from the
// files, so that damage is described rather than refused.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/row_store.h"
#include "keyfile/key_file_check.h"

namespace quorvane {

struct CatalogueScan {
    enum IndexId { kSys, kCrc, kSysCat, kDel, kGame };
    struct Row {
        std::uint64_t offset;
        std::uint32_t at;  // in `arena`
        std::uint16_t length;
    };
    struct Index {
        std::vector<keyfile::KeyRecord> records;
        bool complete = false;  // every record could be reached
        bool sound = false;     // the key file passed its full check
        bool present = true;    // only the game index may be absent (row_store.h)
    };

    std::uint64_t recordLength = 0;
    // Rows in offset order: those read one after another from the start,
    // then, past a row that cannot be read, those the indexes point at.
    std::vector<Row> rows;
    std::string arena;
    // Where reading row after row stopped; recordLength when it did not.
    std::uint64_t readableUpTo = 0;
    std::array<Index, 5> indexes;
    std::vector<std::string> problems;

    // The row starting at `offset`, or null.
    const Row* rowAt(std::uint64_t offset) const;
    RowStore::RowView view(const Row& row) const;
};

// Reads the database at `basePath`, whose lock the caller holds. False when
// the record file cannot be read at all.
bool scanCatalogue(const std::string& basePath, CatalogueScan& out);

}  // namespace quorvane
