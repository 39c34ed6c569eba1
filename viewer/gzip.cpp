// gzip logs, through zlib's inflate. Members follow one another as one
// log; anything after a member that is not another member is damage.
#include <zlib.h>

#include <climits>

#include "compressed.h"

namespace {

// inflate's counts are unsigned ints; the reader's chunks fit them.
static_assert(kReadChunk <= UINT_MAX, "a chunk must fit inflate's counts");

class GzipDecompressor final : public Decompressor {
public:
    bool start() {
        // 15: the largest window, which every member may use; +16: the
        // gzip wrapper, its header and trailer checked.
        started_ = inflateInit2(&z_, 15 + 16) == Z_OK;
        return started_;
    }
    ~GzipDecompressor() override {
        if (started_) inflateEnd(&z_);
    }

    DecodeStatus step(const unsigned char*& in, const unsigned char* in_end, bool input_ended, unsigned char*& out,
                      unsigned char* out_end) override {
        for (;;) {
            if (in == in_end && member_ended_) return input_ended ? DecodeStatus::finished : DecodeStatus::more;
            if (member_ended_) {
                // More bytes after a whole member: the next member.
                if (inflateReset(&z_) != Z_OK) return DecodeStatus::damaged;
                member_ended_ = false;
            }
            z_.next_in = const_cast<unsigned char*>(in);
            z_.avail_in = static_cast<uInt>(in_end - in);
            z_.next_out = out;
            z_.avail_out = static_cast<uInt>(out_end - out);
            const unsigned char* const in_before = in;
            const unsigned char* const out_before = out;
            const int result = inflate(&z_, Z_NO_FLUSH);
            in = z_.next_in;
            out = z_.next_out;
            if (result == Z_STREAM_END) {
                member_ended_ = true;
                if (out == out_end) return DecodeStatus::more;
                continue;
            }
            // Z_BUF_ERROR is only "no progress possible": no input, or no room.
            if (result != Z_OK && result != Z_BUF_ERROR) return DecodeStatus::damaged;
            if (out == out_end) return DecodeStatus::more;
            // The room is not used up, so all the input is taken: inside a
            // member at the end of the data, it was cut short.
            if (in == in_end) return input_ended ? DecodeStatus::damaged : DecodeStatus::more;
            // Room and input both left, and neither taken: never the case
            // with inflate, and no way on.
            if (in == in_before && out == out_before) return DecodeStatus::damaged;
        }
    }

private:
    z_stream z_{};
    bool started_ = false;
    bool member_ended_ = false;
};

}  // namespace

std::unique_ptr<Decompressor> make_gzip_decompressor() { return make_started<GzipDecompressor>(); }
