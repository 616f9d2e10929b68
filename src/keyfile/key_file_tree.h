// The B-tree algorithms of the key file engine: descending, inserting with
// splits, removing with merges. Callers hold the engine lock and run these
// inside a transaction when they change anything.
#pragma once

#include <cstdint>
#include <vector>

#include "keyfile/key_file_internal.h"

namespace quorvane::keyfile {

struct PathStep {
    uint32_t block = 0;
    int index = 0;  // inner: the entry followed; leaf: the item position
};
// Indexed by level: path[0] is the leaf, path.back() the root.
using Path = std::vector<PathStep>;

enum class Descent {
    FirstEqual,  // to the first item whose key is >= the key
    // To the position after every item whose key is <= the key; -1 for a
    // leaf left unexpanded, where the insert finds it by walking.
    AfterEqual,
    Leftmost,
};

bool descend(KeyFile* k, const uint8_t* key, int keyLen, Descent mode, Path& path);

// Inserts a leaf item after all records of an equal key; reports where it went.
bool insertLeafItem(KeyFile* k, const uint8_t* key, int keyLen, uint32_t dataLen, const uint8_t* trailer,
                    int trailerLen, PathStep* placed);

// Removes the item at (block, index) of a leaf holding `key`, then merges.
bool removeLeafItem(KeyFile* k, const uint8_t* key, int keyLen, uint32_t block, int index);

}  // namespace quorvane::keyfile
