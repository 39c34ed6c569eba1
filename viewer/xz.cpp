// xz logs, through liblzma's stream decoder. Streams (and the padding
// between them) follow one another as one log; the data must end where a
// stream ends.
#include <lzma.h>

#include <cstdint>

#include "compressed.h"

namespace {

// The most memory a log may ask its decoder for: a dictionary of 64 MiB,
// the format's largest preset, and its decoder's own state. A log that
// asks for more is taken as damaged rather than let the program grow.
constexpr std::uint64_t kMemoryLimit = 80ull << 20;

class XzDecompressor final : public Decompressor {
public:
    bool start() {
        started_ = lzma_stream_decoder(&z_, kMemoryLimit, LZMA_CONCATENATED) == LZMA_OK;
        return started_;
    }
    ~XzDecompressor() override {
        if (started_) lzma_end(&z_);
    }

    DecodeStatus step(const unsigned char*& in, const unsigned char* in_end, bool input_ended, unsigned char*& out,
                      unsigned char* out_end) override {
        for (;;) {
            z_.next_in = in;
            z_.avail_in = static_cast<std::size_t>(in_end - in);
            z_.next_out = out;
            z_.avail_out = static_cast<std::size_t>(out_end - out);
            const unsigned char* const in_before = in;
            const unsigned char* const out_before = out;
            // With concatenated streams, the decoder is told where the data
            // ends, and only then says whether it ended whole.
            const lzma_ret result = lzma_code(&z_, input_ended ? LZMA_FINISH : LZMA_RUN);
            in = z_.next_in;
            out = z_.next_out;
            if (result == LZMA_STREAM_END) return DecodeStatus::finished;
            if (result != LZMA_OK) return DecodeStatus::damaged;
            if (out == out_end) return DecodeStatus::more;
            // The room is not used up, so all the input is taken: at the end
            // of the data, the stream was cut short.
            if (in == in_end) return input_ended ? DecodeStatus::damaged : DecodeStatus::more;
            if (in == in_before && out == out_before) return DecodeStatus::damaged;
        }
    }

private:
    lzma_stream z_ = LZMA_STREAM_INIT;
    bool started_ = false;
};

}  // namespace

std::unique_ptr<Decompressor> make_xz_decompressor() { return make_started<XzDecompressor>(); }
