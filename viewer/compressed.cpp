// The log's text: a plain log's bytes as the source gives them, or a
// compressed log's decompressed a chunk at a time. The format is told from
// the log's first bytes, whatever its name. Where the system has threads
// for it, a compressed log is decompressed on a thread of its own, a few
// chunks ahead of the main thread, which converts and draws meanwhile; a
// plain log is read on the main thread alone. Memory stays that of the
// decompressor, one raw chunk and the few decompressed ones, however long
// the log.
#include "compressed.h"

#include <cstring>
#ifndef _WIN32
#include <system_error>
#endif

namespace {

struct Signature {
    CompressedFormat format;
    const unsigned char* bytes;
    std::size_t size;
};

const unsigned char kGzip[] = {0x1F, 0x8B};
const unsigned char kZstd[] = {0x28, 0xB5, 0x2F, 0xFD};
const unsigned char kXz[] = {0xFD, 0x37, 0x7A, 0x58, 0x5A, 0x00};

const Signature kSignatures[] = {
    {CompressedFormat::gzip, kGzip, sizeof kGzip},
    {CompressedFormat::zstd, kZstd, sizeof kZstd},
    {CompressedFormat::xz, kXz, sizeof kXz},
};

// Null for a format whose library this build lacks.
std::unique_ptr<Decompressor> make_decompressor(CompressedFormat format) {
    switch (format) {
#ifdef PELMORIX_HAVE_GZIP
    case CompressedFormat::gzip:
        return make_gzip_decompressor();
#endif
#ifdef PELMORIX_HAVE_ZSTD
    case CompressedFormat::zstd:
        return make_zstd_decompressor();
#endif
#ifdef PELMORIX_HAVE_XZ
    case CompressedFormat::xz:
        return make_xz_decompressor();
#endif
    default:
        break;
    }
    return nullptr;
}

#ifndef _WIN32
// How often the decompression's thread looks whether the log was closed
// while it waits for more of a pipe.
constexpr int kStopLookMs = 50;
#endif

// The next raw bytes of a compressed log, into `input.raw`. On the
// decompression's own thread nothing is shown or served: the main thread
// does that while it waits for the text. A log closed meanwhile gives no
// more bytes, and its decompression is done.
std::size_t fetch_raw(CellLogStream& stream, CompressedInput& input) {
#ifndef _WIN32
    if (input.on_thread) {
        if (!stream.whole_chunks) {
            while (!log_bytes_ready(stream, kStopLookMs)) {
                if (input.ahead.stopping) {
                    input.done = true;
                    return 0;
                }
            }
        }
        return read_log_bytes(stream, input.raw, sizeof input.raw);
    }
#endif
    return fetch_log_bytes(stream, input.raw, sizeof input.raw);
}

// The next chunk of a compressed log's text into [out, out + kReadChunk):
// a whole chunk from a regular file, what the raw bytes so far give
// otherwise; 0 at the end of the data, or where it was found damaged
// (which sets `damaged`).
std::size_t decompress_chunk(CellLogStream& stream, CompressedInput& input, unsigned char* const out_start) {
    unsigned char* out = out_start;
    unsigned char* const out_end = out_start + kReadChunk;
    while (out < out_end && !input.done) {
        if (input.next == input.end && !input.ended) {
            // What a pipe has brought so far is read before waiting for
            // more of it, so that a live log is drawn as it comes.
            if (out > out_start && !stream.whole_chunks) break;
            const std::size_t got = fetch_raw(stream, input);
            if (input.done) break;
            input.next = input.raw;
            input.end = input.raw + got;
            input.ended = got == 0;
        }
        switch (input.decoder->step(input.next, input.end, input.ended, out, out_end)) {
        case DecodeStatus::more:
            break;
        case DecodeStatus::finished:
            input.done = true;
            break;
        case DecodeStatus::damaged:
            input.done = true;
            stream.damaged = true;
            break;
        }
    }
    return static_cast<std::size_t>(out - out_start);
}

#ifndef _WIN32
// The decompression's thread: chunk after chunk of text into the free
// slots, up to the end of the text, which it leaves as a chunk of 0 bytes.
void decompress_ahead(CellLogStream* stream, CompressedInput* input) {
    DecodedChunks& ahead = input->ahead;
    for (;;) {
        int slot;
        {
            std::unique_lock<std::mutex> hold(ahead.lock);
            ahead.taken.wait(hold, [&] { return ahead.count < kChunksAhead || ahead.stopping; });
            if (ahead.stopping) return;
            slot = (ahead.first + ahead.count) % kChunksAhead;
        }
        // The slot is no longer the main thread's until it is counted.
        const std::size_t got = decompress_chunk(*stream, *input, ahead.slots[slot]);
        {
            std::lock_guard<std::mutex> hold(ahead.lock);
            ahead.sizes[slot] = got;
            ++ahead.count;
        }
        ahead.decoded.notify_one();
        if (got == 0) return;
    }
}

// Whether a decompressed chunk waits, waiting up to `timeout_ms` for one.
bool chunk_decompressed(void* input, int timeout_ms) {
    DecodedChunks& ahead = static_cast<CompressedInput*>(input)->ahead;
    std::unique_lock<std::mutex> hold(ahead.lock);
    return ahead.decoded.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] { return ahead.count > 0; });
}

// The next chunk the thread has decompressed, into `bytes`. A log that is
// not a regular file may pause: while the thread waits for it, the picture
// is shown and the window served, as for a plain log.
std::size_t take_decompressed(CellLogStream& stream, CompressedInput& input) {
    answer_on_clock(stream);
    if (!stream.whole_chunks) wait_showing(stream, chunk_decompressed, &input);
    DecodedChunks& ahead = input.ahead;
    int slot;
    std::size_t got;
    {
        std::unique_lock<std::mutex> hold(ahead.lock);
        ahead.decoded.wait(hold, [&] { return ahead.count > 0; });
        slot = ahead.first;
        got = ahead.sizes[slot];
    }
    if (got == 0) return 0;  // the end, left for every later take
    // The slot stays the main thread's until it is given back.
    std::memcpy(stream.bytes, ahead.slots[slot], got);
    {
        std::lock_guard<std::mutex> hold(ahead.lock);
        ahead.first = (ahead.first + 1) % kChunksAhead;
        --ahead.count;
    }
    ahead.taken.notify_one();
    return got;
}
#endif

// The log's first fetch, `got` bytes in `bytes`, looked at: a plain log's
// bytes stay as they are and `got` is returned; a compressed log's are
// taken as its raw input and `bytes` is filled with the first of its text
// instead, whose length is returned. A log in a compressed format this
// build cannot read gives 0 bytes and is done.
std::size_t start_decompressing(CellLogStream& stream, std::size_t got) {
    bool undecided = false;
    CompressedFormat format = compressed_format(stream.bytes, got, &undecided);
    // A pipe may hand over its first bytes a few at a time.
    while (undecided) {
        const std::size_t more = fetch_log_bytes(stream, stream.bytes + got, sizeof stream.bytes - got);
        if (more == 0) return got;  // too short for any format: a plain log
        got += more;
        format = compressed_format(stream.bytes, got, &undecided);
    }
    if (format == CompressedFormat::none) return got;
    std::unique_ptr<Decompressor> decoder = make_decompressor(format);
    // Not read as text: the log counts as empty.
    if (!decoder) return 0;
    stream.compressed.reset(new CompressedInput);
    CompressedInput& input = *stream.compressed;
    input.decoder = std::move(decoder);
    std::memcpy(input.raw, stream.bytes, got);
    input.next = input.raw;
    input.end = input.raw + got;
#ifndef _WIN32
    input.on_thread = true;
    try {
        input.thread = std::thread(decompress_ahead, &stream, &input);
    } catch (const std::system_error&) {
        // No thread to be had: decompressed on this one, as it reads.
        input.on_thread = false;
    }
    if (input.on_thread) return take_decompressed(stream, input);
#endif
    return decompress_chunk(stream, input, stream.bytes);
}

}  // namespace

void CompressedInputRelease::operator()(CompressedInput* input) const {
#ifndef _WIN32
    if (input->thread.joinable()) {
        {
            // Under the lock, so that the thread cannot miss the call.
            std::lock_guard<std::mutex> hold(input->ahead.lock);
            input->ahead.stopping = true;
        }
        input->ahead.taken.notify_one();
        input->thread.join();
    }
#endif
    delete input;
}

CompressedFormat compressed_format(const unsigned char* bytes, std::size_t size, bool* undecided) {
    *undecided = false;
    for (const Signature& s : kSignatures) {
        if (size >= s.size) {
            if (std::memcmp(bytes, s.bytes, s.size) == 0) return s.format;
        } else if (std::memcmp(bytes, s.bytes, size) == 0) {
            *undecided = true;
        }
    }
    return CompressedFormat::none;
}

std::size_t fetch_log_text(CellLogStream& stream) {
    if (stream.compressed) {
#ifndef _WIN32
        if (stream.compressed->on_thread) return take_decompressed(stream, *stream.compressed);
#endif
        return decompress_chunk(stream, *stream.compressed, stream.bytes);
    }
    const std::size_t got = fetch_log_bytes(stream, stream.bytes, sizeof stream.bytes);
    if (stream.format_known) return got;
    stream.format_known = true;
    return start_decompressing(stream, got);
}

namespace {

// Nothing of the text read yet.
void forget_text(CellLogStream& stream) {
    stream.format_known = false;
    stream.compressed.reset();
    stream.damaged = false;
}

}  // namespace

void open_log_text(CellLogStream& stream, std::FILE* file) {
    forget_text(stream);
    open_log_source(stream, file);
}

bool rewind_log_text(CellLogStream& stream) {
    // The decompression's thread, if any, is done with the source first.
    stream.compressed.reset();
    if (!rewind_log_source(stream)) return false;
    forget_text(stream);
    return true;
}

void close_log_text(CellLogStream& stream) {
    stream.compressed.reset();
    close_log_source(stream);
}
