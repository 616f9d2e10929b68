// The key file engine: disk B-trees of byte-string keys (1 to 255 bytes) with
// small data values, duplicates kept in insertion order. The on-disk format
// is documented at the top of key_file_format.h.
//
// How to use:
//   KeyFile* k = keyFileCreate(path);           // or keyFileOpen(path, true)
//   keyFileInsert(k, "key", 3, "data", 4);
//   if (keyFileFind(k, kFindFirstEqual, "key", 3, nullptr, nullptr) >= 0) {
//       keyFileRead(k, buffer, 0);               // the current record's data
//       keyFileNext(k, keyBuf, &keyLen);         // the record after it
//   }
//   keyFileClose(k);
// Every operation returns -1 (or nullptr) on failure and leaves the cause in
// keyFileErrno() (per thread). A failed change leaves the file as it was.
#pragma once

#include <string>

namespace quorvane {

struct KeyFile;

inline constexpr unsigned kKeyFileBlocksPerPhysicalFile = 65535;

// Error codes of keyFileErrno().
enum KeyFileError : int {
    kKfOk = 0,
    kKfOutOfMemory = 1001,
    kKfDuplicateHash = 1002,
    kKfNotFound = 1003,
    kKfDamaged = 1004,
    kKfNoKeyFile = 1006,
    kKfBadKeyLength = 1007,
    kKfNoData = 1008,
    kKfNegativeDataLength = 1009,
    kKfCreateFailed = 1020,
    kKfOpenFailed = 1021,
    kKfSeekFailed = 1022,
    kKfReadFailed = 1023,
    kKfWriteFailed = 1024,
    kKfStateError = 1030,
    kKfBlockFull = 1031,
    kKfNotForUpdate = 1040,
};

// The only find mode the program uses: the first record whose key equals.
inline constexpr int kFindFirstEqual = 2;

KeyFile* keyFileCreate(const std::string& path, const void* tag = nullptr,
                       unsigned blocksPerFile = kKeyFileBlocksPerPhysicalFile);
KeyFile* keyFileOpen(const std::string& path, bool update, const void* tag = nullptr,
                     unsigned blocksPerFile = kKeyFileBlocksPerPhysicalFile);
int keyFileFlush(KeyFile* k);
int keyFileClose(KeyFile* k);

int keyFileInsert(KeyFile* k, const void* key, int keyLen, const void* data, int dataLen);
// Returns the data length of the record found (it becomes current), or -1.
// foundKey (255 bytes) and foundKeyLen may be null.
int keyFileFind(KeyFile* k, int mode, const void* key, int keyLen, void* foundKey, int* foundKeyLen);
// Copies the current record's data: all of it when bufferLen <= 0, else at
// most bufferLen bytes. Returns the number of bytes copied, or -1.
int keyFileRead(KeyFile* k, void* buffer, int bufferLen);
// Position on the first record / step to the next one. Return the data
// length and put the key (up to 255 bytes, not terminated) in keyBuffer.
int keyFileFirst(KeyFile* k, void* keyBuffer, int* keyLen);
int keyFileNext(KeyFile* k, void* keyBuffer, int* keyLen);
// Visits the data of every record whose key equals `key`, in order, in one
// locked walk (find + read + next per record costs three locks and copies).
// Data longer than 1024 bytes is cut there. Returns the number of records
// visited (0 when none), or -1. Afterwards no record is current. `visit`
// runs under the engine's lock and must not call the engine.
using KeyFileVisit = void (*)(void* context, const char* data, int dataLen);
int keyFileFindAll(KeyFile* k, const void* key, int keyLen, KeyFileVisit visit, void* context);
// Visits every record's key and data in key order, in one locked walk over
// the leaves (data cut at 1024 bytes). Returns the number of records
// visited, or -1. Afterwards no record is current; `visit` must not call
// the engine.
using KeyFileEachVisit = void (*)(void* context, const unsigned char* key, int keyLen, const char* data,
                                  int dataLen);
int keyFileEach(KeyFile* k, KeyFileEachVisit visit, void* context);
// Delete the current record; replace its data (same length: in place).
int keyFileDelete(KeyFile* k);
int keyFileUpdate(KeyFile* k, const void* data, int dataLen);

// Durable batches, driven by a database's rollback journal (journal.h).
// While a batch runs, the blocks the file had when it began are never
// written: the changed ones wait in the cache. Blocks appended since may be
// written when the cache needs room, each time after `gate(context)` has
// returned 0 (it makes the journal's header durable).
using KeyFileWriteGate = int (*)(void* context);
// Returns the file's block count, or -1.
int keyFileBeginBatch(KeyFile* k, KeyFileWriteGate gate, void* context);
// The block count when the batch began, and the disk bytes (as they were
// then) of every block below it that the batch changed, in block order.
// `visit` returns 0 to go on. 0, or -1 when a block cannot be read.
using KeyFileOriginalVisit = int (*)(void* context, unsigned block, const unsigned char* bytes);
int keyFileBatchOriginals(KeyFile* k, unsigned* startCount, KeyFileOriginalVisit visit, void* context);
// Ends the batch: writes every changed block and syncs the file.
int keyFileEndBatch(KeyFile* k);
// Closes the key file without writing anything it changed (after a failed
// commit, before the journal rolls the file back).
int keyFileAbandon(KeyFile* k);

int keyFileErrno();
const char* keyFileErrorText(int code);

}  // namespace quorvane
