// The resolving half of the lazy binding: the trampolines of cmake/lazy-stubs.sh call
// tolvane_lazy_resolve with a table slot; it loads the slot's library (once), looks the
// function up and writes it into the slot, where every later call finds it.

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "MediaLibraries.h"

extern "C" {
#include <libavutil/log.h>

// From the generated LazySymbols.c and LazyStubs.S.
extern const char* const tolvane_lazy_library_names[];
extern const unsigned tolvane_lazy_library_count;
extern const char* const tolvane_lazy_symbol_names[];
extern const unsigned char tolvane_lazy_symbol_libraries[];
extern const unsigned tolvane_lazy_symbol_count;
extern void* tolvane_lazy_table[];

void* tolvane_lazy_resolve(std::size_t slot);
}

namespace tolvane {
namespace {

constexpr unsigned kMaxLibraries = 16;

std::mutex loadMutex;
void* handles[kMaxLibraries] = {};

[[noreturn]] void CannotBind(const char* what) {
    std::fprintf(stderr, "tolvane: %s\n", what != nullptr ? what : "a library cannot be loaded");
    std::abort();
}

// Called with loadMutex held.
void* Library(unsigned index) {
    if (handles[index] != nullptr)
        return handles[index];
    const char* soname = tolvane_lazy_library_names[index];
    void* handle = dlopen(soname, RTLD_NOW | RTLD_GLOBAL);
    if (handle == nullptr)
        CannotBind(dlerror());
    // Before FFmpeg's first call can log anything.
    if (std::strncmp(soname, "libavutil.", 10) == 0) {
        if (auto setLevel = reinterpret_cast<void (*)(int)>(dlsym(handle, "av_log_set_level")))
            setLevel(AV_LOG_ERROR);
    }
    handles[index] = handle;
    return handle;
}

}  // namespace

MediaLibraries::MediaLibraries() {
    static_assert(sizeof(void*) == 8);
    if (tolvane_lazy_library_count > kMaxLibraries)
        CannotBind("too many lazily bound libraries");
}

MediaLibraries::~MediaLibraries() {
    if (loader_.joinable())
        loader_.join();
}

void MediaLibraries::LoadInBackground(std::function<void()> prepare) {
    if (loader_.joinable())
        return;
    loader_ = std::thread([prepare = std::move(prepare)] {
        for (unsigned i = 0; i < tolvane_lazy_library_count; ++i) {
            const std::lock_guard lock(loadMutex);
            Library(i);
        }
        if (prepare)
            prepare();
    });
}

}  // namespace tolvane

extern "C" void* tolvane_lazy_resolve(std::size_t slot) {
    using namespace tolvane;
    const std::lock_guard lock(loadMutex);
    void* library = Library(tolvane_lazy_symbol_libraries[slot]);
    void* function = dlsym(library, tolvane_lazy_symbol_names[slot]);
    if (function == nullptr)
        CannotBind(dlerror());
    // A plain aligned store: a thread jumping through the slot meanwhile sees either the
    // resolving stub or the function, and both lead to the function.
    __atomic_store_n(&tolvane_lazy_table[slot], function, __ATOMIC_RELEASE);
    return function;
}
