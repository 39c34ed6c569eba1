// Looks at eight bytes of text at once, as one 64-bit word whose lowest
// byte is the first: shared by the conversion and the scan of a log.
#ifndef PELMORIX_VIEWER_EIGHT_BYTES_H
#define PELMORIX_VIEWER_EIGHT_BYTES_H

#include <cstdint>
#include <cstring>

namespace eight_bytes {

// The word's first byte is its lowest only on such hosts; elsewhere the
// callers take their byte-at-a-time ways.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Byte `b` in every byte of a word.
constexpr std::uint64_t kBytes(unsigned char b) { return 0x0101010101010101ULL * b; }

inline std::uint64_t load_eight(const char* p) {
    std::uint64_t eight;
    std::memcpy(&eight, p, sizeof eight);
    return eight;
}

// The byte of the lowest marked bit (marks nonzero).
inline int first_marked(std::uint64_t marks) {
#if defined(__GNUC__)
    return __builtin_ctzll(marks) >> 3;
#else
    int n = 0;
    for (; (marks & 0xFF) == 0; marks >>= 8) ++n;
    return n;
#endif
}

// How many of the eight bytes of `eight`, first byte lowest, are digits
// before the first that is not (8 when all are).
inline int leading_digits(std::uint64_t eight) {
    // A digit's high nibble is 3, and stays 3 when 6 is added (a low nibble
    // of at most 9). Only a byte above 0xF9 carries into the next one, and
    // it is no digit itself, so no digit before it is misread.
    const std::uint64_t high = eight & kBytes(0xF0);
    const std::uint64_t raised = (eight + kBytes(0x06)) & kBytes(0xF0);
    const std::uint64_t not_digit = (high ^ kBytes(0x30)) | (raised ^ kBytes(0x30));
    return not_digit == 0 ? 8 : first_marked(not_digit);
}

}  // namespace eight_bytes

#endif
