// Helpers shared by the key file tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "keyfile/key_file.h"

namespace quorvane::testing {

using Records = std::vector<std::pair<std::string, std::string>>;

// A new key file at `path` holding the records, left open (null on failure).
KeyFile* createWith(const std::string& path, const Records& records);
// Inserts a record given as texts; fails the test on error.
void insertText(KeyFile* k, const std::string& key, const std::string& data);
// Finds the first record of `key`: its data length, or -1; the key found
// goes to `found` when given.
int findFirst(KeyFile* k, const std::string& key, std::string* found = nullptr);
// The current record's data as text.
std::string currentData(KeyFile* k);
// The next record as "key=data", or "<end>".
std::string nextData(KeyFile* k);
// Every record in key order as "key=data", by First and Next.
std::vector<std::string> walkAll(KeyFile* k);
// Overwrites bytes of a file at an offset.
void patchFile(const std::string& path, long offset, const std::string& bytes);

// Counts scaled down under the sanitizers, so the suite stays quick there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kScale = 6;
#else
inline constexpr int kScale = 1;
#endif

}  // namespace quorvane::testing
