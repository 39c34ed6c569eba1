// zstd logs, through libzstd's streaming decompression. Frames follow one
// another as one log (the library reads skippable frames past); the data
// must end where a frame ends.
#include <zstd.h>

#include "compressed.h"

namespace {

class ZstdDecompressor final : public Decompressor {
public:
    bool start() { return stream_ != nullptr; }
    ~ZstdDecompressor() override { ZSTD_freeDStream(stream_); }

    DecodeStatus step(const unsigned char*& in, const unsigned char* in_end, bool input_ended, unsigned char*& out,
                      unsigned char* out_end) override {
        ZSTD_inBuffer input{in, static_cast<std::size_t>(in_end - in), 0};
        ZSTD_outBuffer output{out, static_cast<std::size_t>(out_end - out), 0};
        DecodeStatus status = DecodeStatus::more;
        for (;;) {
            if (input.pos == input.size && frame_ended_) {
                status = input_ended ? DecodeStatus::finished : DecodeStatus::more;
                break;
            }
            const std::size_t in_before = input.pos;
            const std::size_t out_before = output.pos;
            const std::size_t hint = ZSTD_decompressStream(stream_, &output, &input);
            if (ZSTD_isError(hint)) {
                status = DecodeStatus::damaged;
                break;
            }
            // 0: a frame is whole and all of its text given out.
            frame_ended_ = hint == 0;
            if (output.pos == output.size) break;
            if (frame_ended_) continue;
            // The room is not used up, so all the input is taken: inside a
            // frame at the end of the data, it was cut short.
            if (input.pos == input.size) {
                status = input_ended ? DecodeStatus::damaged : DecodeStatus::more;
                break;
            }
            if (input.pos == in_before && output.pos == out_before) {
                status = DecodeStatus::damaged;
                break;
            }
        }
        in += input.pos;
        out += output.pos;
        return status;
    }

private:
    ZSTD_DStream* stream_ = ZSTD_createDStream();
    bool frame_ended_ = false;
};

}  // namespace

std::unique_ptr<Decompressor> make_zstd_decompressor() { return make_started<ZstdDecompressor>(); }
