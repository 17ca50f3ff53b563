// FFmpeg's libraries, opened with dlopen the first time a run decodes or encodes sound or video,
// and the functions of theirs the program calls, reached through one table of typed pointers.
// Programs link only FFmpeg's headers, so runs that never need it never pay for loading it.
#pragma once

#include <array>
#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace avlib {

enum class Library { kAvUtil, kAvCodec, kAvFormat, kSwResample, kSwScale };
inline constexpr std::size_t kLibraryCount = 5;

// The functions each library lends us, as X(name) lists: the table's members and the names
// looked up are made from the same list.
// clang-format off
#define FILMCAST_AVUTIL_FUNCTIONS(X)                                                           \
    X(av_audio_fifo_alloc) X(av_audio_fifo_drain) X(av_audio_fifo_free) X(av_audio_fifo_read) \
    X(av_audio_fifo_size) X(av_audio_fifo_write) X(av_channel_layout_copy)                    \
    X(av_channel_layout_default) X(av_dict_free) X(av_dict_set) X(av_dict_set_int)            \
    X(av_frame_alloc) X(av_frame_free) X(av_frame_get_buffer) X(av_frame_make_writable)       \
    X(av_frame_unref) X(av_freep) X(av_log_set_level) X(av_rescale)                           \
    X(av_samples_alloc_array_and_samples) X(av_strerror)
#define FILMCAST_AVCODEC_FUNCTIONS(X)                                                          \
    X(av_new_packet) X(av_packet_alloc) X(av_packet_free) X(av_packet_rescale_ts)             \
    X(av_packet_unref) X(av_parser_close) X(av_parser_init) X(av_parser_parse2)               \
    X(avcodec_alloc_context3) X(avcodec_find_decoder) X(avcodec_find_decoder_by_name)         \
    X(avcodec_find_encoder_by_name) X(avcodec_flush_buffers) X(avcodec_free_context)          \
    X(avcodec_get_name) X(avcodec_open2) X(avcodec_parameters_from_context)                   \
    X(avcodec_receive_frame) X(avcodec_receive_packet) X(avcodec_send_frame)                  \
    X(avcodec_send_packet)
#define FILMCAST_AVFORMAT_FUNCTIONS(X)                                                         \
    X(av_interleaved_write_frame) X(av_write_trailer) X(avformat_alloc_output_context2)       \
    X(avformat_free_context) X(avformat_new_stream) X(avformat_write_header) X(avio_closep)   \
    X(avio_open)
#define FILMCAST_SWRESAMPLE_FUNCTIONS(X)                                                       \
    X(swr_alloc_set_opts2) X(swr_convert) X(swr_free) X(swr_get_out_samples) X(swr_init)      \
    X(swr_set_matrix)
#define FILMCAST_SWSCALE_FUNCTIONS(X) X(sws_freeContext) X(sws_getContext) X(sws_scale)
// clang-format on

// One pointer per function, named as the function. A library's pointers are set once it has
// loaded and stay null before (and when it could not be loaded).
struct Functions {
#define FILMCAST_AV_POINTER(name) decltype(&::name) name = nullptr;
    FILMCAST_AVUTIL_FUNCTIONS(FILMCAST_AV_POINTER)
    FILMCAST_AVCODEC_FUNCTIONS(FILMCAST_AV_POINTER)
    FILMCAST_AVFORMAT_FUNCTIONS(FILMCAST_AV_POINTER)
    FILMCAST_SWRESAMPLE_FUNCTIONS(FILMCAST_AV_POINTER)
    FILMCAST_SWSCALE_FUNCTIONS(FILMCAST_AV_POINTER)
#undef FILMCAST_AV_POINTER
};

// The file name each library is opened by, in Library's order.
using Sonames = std::array<std::string, kLibraryCount>;

// The sonames of the library versions this program was compiled against ("libavcodec.so.59").
Sonames CompiledSonames();

const char* LibraryName(Library library);  // "libavcodec"

// Opens libraries by the given sonames, each at most once however many threads ask. Loaded
// libraries stay loaded for the life of the process.
class Loader {
  public:
    explicit Loader(Sonames sonames);
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // Loads the libraries asked for and binds their functions: the table, in which the
    // functions of those libraries are all set; nullptr and *reason when a library or one of
    // its functions could not be loaded ("cannot load libavcodec.so.59: cannot open shared
    // object file: No such file or directory"). A failure is final for that loader.
    const Functions* Load(std::initializer_list<Library> libraries, std::string* reason);

    // Whether the library has been loaded (an attempt that failed does not count).
    bool IsLoaded(Library library) const;

  private:
    struct Slot {
        std::once_flag once;
        std::atomic<bool> loaded{false};
        std::string error;  // set, once, when the library could not be loaded
    };
    void Open(Library library);

    Sonames sonames_;
    std::array<Slot, kLibraryCount> slots_;
    Functions functions_;
};

// The process's loader, over CompiledSonames().
Loader& SharedLoader();

// SharedLoader().Load(libraries, reason).
const Functions* Load(std::initializer_list<Library> libraries, std::string* reason);

}  // namespace avlib
