// The fourteen figures of the statistics window, numbered as the window's
// value labels are: 1 and 2 are the database's own counts (rom rows,
// systems); 3 to 14 come from one pass over every row.
//
// A set is a system. Sizes are decimal byte counts; a size the DAT did not
// give ("-") is unknown: it adds nothing to a byte total and takes no part in
// the biggest and smallest ROM. A set none of whose sizes is known takes no
// part in the biggest and smallest set by bytes. A figure with nothing to
// measure (an empty database) is "0".
#pragma once

#include <array>
#include <string>

namespace quorvane {

class Catalogue;

inline constexpr int kStatCount = 14;

struct StatRow {
    int number;          // the figure that fills this row's value label
    const char* label;   // the value label's name
    const char* caption; // the row's caption
};

// The rows as the window shows them, top to bottom (figure 5 stands above
// figure 4, and 6 above 7).
const std::array<StatRow, kStatCount>& statRowsTopToBottom();
// The row that figure `number` (1..14) fills.
const StatRow& statRow(int number);

// Figures 3 to 14, computed in one pass over the database's rows.
class CatalogueStats {
public:
    // Reads every row of `db` once.
    void collect(Catalogue& db);
    // The text of figure 3..14; "0" for any other number.
    std::string value(int number) const;

private:
    std::array<std::string, kStatCount + 1> values_{};
};

// Figure `number` as the statistics job fills it: 1 and 2 from getCount,
// 3..14 from `stats`.
std::string statValue(Catalogue& db, const CatalogueStats& stats, int number);

}  // namespace quorvane
