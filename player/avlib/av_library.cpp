#include "player/avlib/av_library.h"

#include <dlfcn.h>
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/macros.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
#include <libswscale/version.h>

#include <type_traits>

namespace avlib {
namespace {

#define FILMCAST_SONAME(name, major) "lib" name ".so." AV_STRINGIFY(major)

std::size_t IndexOf(Library library) {
    return static_cast<std::size_t>(library);
}

// dlerror's text, without the file name it starts with when that is the one we name anyway.
std::string SystemReason(const std::string& soname) {
    const char* text = dlerror();
    std::string reason = text ? text : "unknown error";
    const std::size_t colon = reason.find(": ");
    if (colon != std::string::npos && colon >= soname.size() &&
        reason.compare(colon - soname.size(), soname.size(), soname) == 0)
        reason.erase(0, colon + 2);
    return reason;
}

}  // namespace

Sonames CompiledSonames() {
    return {FILMCAST_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
            FILMCAST_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
            FILMCAST_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
            FILMCAST_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
            FILMCAST_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR)};
}

const char* LibraryName(Library library) {
    switch (library) {
        case Library::kAvUtil:
            return "libavutil";
        case Library::kAvCodec:
            return "libavcodec";
        case Library::kAvFormat:
            return "libavformat";
        case Library::kSwResample:
            return "libswresample";
        case Library::kSwScale:
            return "libswscale";
    }
    return "an FFmpeg library";
}

Loader::Loader(Sonames sonames) : sonames_(std::move(sonames)) {}

void Loader::Open(Library library) {
    Slot& slot = slots_[IndexOf(library)];
    const std::string& soname = sonames_[IndexOf(library)];
    // Kept open for the life of the process: the table's pointers lead into it.
    void* handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        slot.error = "cannot load " + soname + ": " + SystemReason(soname);
        return;
    }
    // Each function is looked up into a table of our own first, and the shared table takes
    // this library's pointers only when all were found.
    Functions found;
    std::string missing;
    const auto lookup = [&](const char* name, auto& pointer) {
        if (!missing.empty()) return;
        dlerror();
        void* symbol = dlsym(handle, name);
        if (!symbol) {
            missing = "cannot load " + std::string(name) + " from " + soname + ": " +
                      SystemReason(soname);
            return;
        }
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
    };
#define FILMCAST_AV_LOOKUP(name) lookup(#name, found.name);
#define FILMCAST_AV_KEEP(name) functions_.name = found.name;
// clang-format off
#define FILMCAST_AV_BIND(list) \
    list(FILMCAST_AV_LOOKUP) if (missing.empty()) { list(FILMCAST_AV_KEEP) }
    // clang-format on
    switch (library) {
        case Library::kAvUtil:
            FILMCAST_AV_BIND(FILMCAST_AVUTIL_FUNCTIONS) break;
        case Library::kAvCodec:
            FILMCAST_AV_BIND(FILMCAST_AVCODEC_FUNCTIONS) break;
        case Library::kAvFormat:
            FILMCAST_AV_BIND(FILMCAST_AVFORMAT_FUNCTIONS) break;
        case Library::kSwResample:
            FILMCAST_AV_BIND(FILMCAST_SWRESAMPLE_FUNCTIONS) break;
        case Library::kSwScale:
            FILMCAST_AV_BIND(FILMCAST_SWSCALE_FUNCTIONS) break;
    }
#undef FILMCAST_AV_BIND
#undef FILMCAST_AV_KEEP
#undef FILMCAST_AV_LOOKUP
    if (!missing.empty()) {
        slot.error = missing;
        return;
    }
    slot.loaded.store(true, std::memory_order_release);
}

const Functions* Loader::Load(std::initializer_list<Library> libraries, std::string* reason) {
    for (const Library library : libraries) {
        Slot& slot = slots_[IndexOf(library)];
        std::call_once(slot.once, [&] { Open(library); });
        if (!slot.loaded.load(std::memory_order_acquire)) {
            if (reason) *reason = slot.error;
            return nullptr;
        }
    }
    return &functions_;
}

bool Loader::IsLoaded(Library library) const {
    return slots_[IndexOf(library)].loaded.load(std::memory_order_acquire);
}

Loader& SharedLoader() {
    static Loader loader(CompiledSonames());
    return loader;
}

const Functions* Load(std::initializer_list<Library> libraries, std::string* reason) {
    return SharedLoader().Load(libraries, reason);
}

}  // namespace avlib
