// Durable batches of a key file (see key_file.h and journal.h).
#include <memory>

#include "keyfile/key_file_internal.h"

namespace quorvane {

using namespace keyfile;

int keyFileBeginBatch(KeyFile* k, KeyFileWriteGate gate, void* context) {
    std::lock_guard<std::mutex> lock(engine().lock);
    setError(kKfOk);
    if (!k || !engine().open.count(k)) return setError(kKfNoKeyFile), -1;
    if (!k->update) return setError(kKfNotForUpdate), -1;
    k->file->setBatch(k->file->blockCount(), gate, context);
    return static_cast<int>(k->file->blockCount());
}

int keyFileBatchOriginals(KeyFile* k, unsigned* startCount, KeyFileOriginalVisit visit, void* context) {
    std::lock_guard<std::mutex> lock(engine().lock);
    setError(kKfOk);
    if (!k || !engine().open.count(k)) return setError(kKfNoKeyFile), -1;
    *startCount = k->file->holdBelow();
    auto bytes = std::make_unique<uint8_t[]>(kBlockSize);
    int result = 0;
    engine().cache.forEachHeld(k->file, [&](Block* b) {
        if (result != 0) return;
        const int rc = k->file->readBlock(b->number, bytes.get());
        if (rc != 0) {
            setError(rc);
            result = -1;
        } else if (visit(context, b->number, bytes.get()) != 0) {
            result = -1;
        }
    });
    return result;
}

int keyFileEndBatch(KeyFile* k) {
    std::lock_guard<std::mutex> lock(engine().lock);
    setError(kKfOk);
    if (!k || !engine().open.count(k)) return setError(kKfNoKeyFile), -1;
    // Blocks appended by the batch still pass the gate on their way out.
    k->file->releaseHeld();
    int rc = engine().cache.flush(k->file);
    if (rc == 0) rc = k->file->sync();
    k->file->setBatch(0, nullptr, nullptr);
    if (rc != 0) return setError(rc), -1;
    return 0;
}

}  // namespace quorvane
