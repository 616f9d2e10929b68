#include "archive/shared_library.h"

#include <dlfcn.h>

namespace quorvane {

SharedLibrary::SharedLibrary(const char* soname) : soname_(soname) {
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        error_ = "cannot load " + soname_ + ": " + (why ? why : "unknown reason");
    }
}

void* SharedLibrary::symbol(const char* name) {
    if (handle_ == nullptr) return nullptr;
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (address == nullptr) error_ = soname_ + " has no " + name;
    return address;
}

}  // namespace quorvane
