// The log's text: a plain log's bytes as the source gives them, or a
// compressed log's decompressed a chunk at a time into the reader's own
// chunk. The format is told from the log's first bytes, whatever its name.
// Memory stays that of the decompressor and one raw chunk, however long the
// log.
#include "compressed.h"

#include <cstring>

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

// The next raw bytes of a compressed log, into `input.raw`.
std::size_t fetch_raw(CellLogStream& stream, CompressedInput& input) {
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
    return decompress_chunk(stream, input, stream.bytes);
}

}  // namespace

void CompressedInputRelease::operator()(CompressedInput* input) const { delete input; }

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
    if (stream.compressed) return decompress_chunk(stream, *stream.compressed, stream.bytes);
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
    if (!rewind_log_source(stream)) return false;
    forget_text(stream);
    return true;
}

void close_log_text(CellLogStream& stream) {
    stream.compressed.reset();
    close_log_source(stream);
}
