// Compressed cell logs: the format told from the log's first bytes, whatever
// its name, and its text decompressed a chunk at a time into the reader's
// own chunk, from raw bytes fetched the way a plain log's are. Memory stays
// that of the decompressor and one raw chunk, however long the log.
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
    return decompress_chunk(stream);
}

std::size_t decompress_chunk(CellLogStream& stream) {
    CompressedInput& input = *stream.compressed;
    unsigned char* out = stream.bytes;
    unsigned char* const out_end = stream.bytes + sizeof stream.bytes;
    while (out < out_end && !input.done) {
        if (input.next == input.end && !input.ended) {
            // What a pipe has brought so far is read before waiting for
            // more of it, so that a live log is drawn as it comes.
            if (out > stream.bytes && !stream.whole_chunks) break;
            const std::size_t got = fetch_log_bytes(stream, input.raw, sizeof input.raw);
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
    return static_cast<std::size_t>(out - stream.bytes);
}
