// The decompression of compressed cell logs: the formats recognised by their
// first bytes, and one decompressor per format behind a small interface,
// each in a unit of its own over its library.
#ifndef PELMORIX_COMPRESSED_H
#define PELMORIX_COMPRESSED_H

#include <cstddef>
#include <memory>
#ifndef _WIN32
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "viewer.h"

enum class CompressedFormat { none, gzip, zstd, xz };

// What one step of decompression came to.
enum class DecodeStatus {
    more,      // the input is used up or the output is full: call again
    finished,  // the input has ended, at the end of a whole stream: all of it decoded
    damaged,   // the data is corrupt, or ended inside a stream
};

// A decompressor of one format, for concatenated streams as for one.
class Decompressor {
public:
    virtual ~Decompressor() = default;
    // Decompresses from [in, in_end) into [out, out_end), advancing `in` and
    // `out`, until the input is used up or the output is full.
    // `input_ended`: no byte follows in_end.
    virtual DecodeStatus step(const unsigned char*& in, const unsigned char* in_end, bool input_ended,
                              unsigned char*& out, unsigned char* out_end) = 0;
};

// A new decompressor of type `T` once its start() has succeeded; null when
// it cannot start.
template <class T>
std::unique_ptr<Decompressor> make_started() {
    auto decoder = std::make_unique<T>();
    if (!decoder->start()) return nullptr;
    return decoder;
}

// Each in its own unit, built where its library is found; null when the
// decompressor cannot start.
std::unique_ptr<Decompressor> make_gzip_decompressor();
std::unique_ptr<Decompressor> make_zstd_decompressor();
std::unique_ptr<Decompressor> make_xz_decompressor();

// The format whose first bytes `bytes` begin with. `undecided` is set when
// the `size` bytes are too few to tell but could begin a compressed format.
CompressedFormat compressed_format(const unsigned char* bytes, std::size_t size, bool* undecided);

#ifndef _WIN32
// Chunks of text a compressed log's own thread has decompressed and the
// main thread has yet to take, oldest first: a few, so that the thread
// keeps ahead and memory stays flat. A chunk of 0 bytes is the end of the
// text, and stays to be taken again.
constexpr int kChunksAhead = 4;
struct DecodedChunks {
    std::mutex lock;                          // guards the fields below but `stopping`
    std::condition_variable decoded;          // a chunk was added
    std::condition_variable taken;            // a chunk was taken, or the thread is asked to stop
    int first = 0;                            // the oldest chunk's slot
    int count = 0;                            // chunks waiting to be taken
    std::size_t sizes[kChunksAhead] = {};     // each slot's bytes of text
    std::atomic<bool> stopping{false};        // the log is closed: the thread ends at its next look
    unsigned char slots[kChunksAhead][kReadChunk];
};
#endif

// A compressed log's raw side: its decompressor and the raw bytes read for
// it that it has not taken yet. Where the system has threads for it, the
// decompression runs on a thread of its own, which alone touches the
// decompressor, the raw bytes and the source's side of the stream once it
// has started.
struct CompressedInput {
    std::unique_ptr<Decompressor> decoder;
    const unsigned char* next = nullptr;  // next raw byte not yet decompressed
    const unsigned char* end = nullptr;   // end of the raw bytes in `raw`
    bool ended = false;                   // no raw byte will come any more
    bool done = false;                    // the data has ended, or was found damaged
    unsigned char raw[kReadChunk];
#ifndef _WIN32
    bool on_thread = false;  // the decompression runs on `thread`, set before it starts
    DecodedChunks ahead;
    std::thread thread;
#endif
};

#endif  // PELMORIX_COMPRESSED_H
