// Preloaded into a benchmarked program (LD_PRELOAD) to make every sync cost
// what it costs on a USB stick or a network share: fsync, fdatasync and
// syncfs sleep QUORVANE_SYNC_DELAY_MS (default 5) milliseconds first.
#include <dlfcn.h>
#include <time.h>

#include <cstdlib>

namespace {

void pause() {
    static const long ms = [] {
        const char* text = std::getenv("QUORVANE_SYNC_DELAY_MS");
        return text ? std::atol(text) : 5L;
    }();
    timespec delay{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    pause();
    return real(fd);
}

int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    pause();
    return real(fd);
}

int syncfs(int fd) {
    static const auto real = next<int (*)(int)>("syncfs");
    pause();
    return real(fd);
}

}
