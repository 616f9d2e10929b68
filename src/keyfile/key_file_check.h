// The full check of one key file, reading its blocks straight from disk (the
// engine's cache and its checks on the way are not involved, so a damaged
// file is described rather than refused):
//   - every block passes the checks a block read from disk gets;
//   - block 0 is a tree block, block 1 a data block;
//   - the tree: each child one level below its parent, no block reached
//     twice, the sibling chain of every level in the order of the tree,
//     keys in order within and across blocks, every inner item's key no
//     greater than its subtree's keys;
//   - the free chain of level-254 blocks ends at the block count, the data
//     chain runs from block 1 to the root's LastDataBlock, and no block is
//     both free and used or belongs to nothing.
#pragma once

#include <string>
#include <vector>

namespace quorvane::keyfile {

struct KeyRecord {
    std::string key;
    std::string data;  // inline data; data kept in data blocks are not read
};

// Appends one line per problem found (each starting with the file's name)
// to `problems`. `records` receives every record in key order that could be
// reached, the identifying record left out; `complete` says whether that is
// all of them (the whole tree could be walked). Returns true when nothing
// was found.
bool checkKeyFile(const std::string& path, std::vector<std::string>& problems, std::vector<KeyRecord>* records,
                  bool* complete = nullptr, unsigned blocksPerFile = 65535);

}  // namespace quorvane::keyfile
