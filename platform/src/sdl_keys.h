// Keys and text as SDL reports them, in the terms of window messages: the
// virtual key of a key press, whether it types its character as text, and
// text decoded to code points (of which the single-byte character set keeps
// those below 256).
#pragma once

#include <windows.h>

#include <SDL.h>

#include <cstdint>

namespace pelmorix_platform {

// The virtual key of a key that types no character; 0 when it has none.
UINT virtual_key_of(SDL_Keycode sym);
// Keys whose characters arrive as SDL_TEXTINPUT rather than from KEYDOWN.
bool types_text(SDL_Keycode sym);
// The key that would have typed `ch`, as far as one can tell from the byte.
UINT virtual_key_of_char(unsigned char ch);

// Decodes UTF-8, calling `emit` with each code point; malformed bytes are skipped.
template <class Emit>
void decode_utf8(const char* text, Emit emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned char lead = *p;
        int extra = 0;
        std::uint32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            ++p;  // stray continuation or invalid lead byte
            continue;
        }
        int got = 0;
        while (got < extra && (p[1 + got] & 0xC0) == 0x80) {
            cp = (cp << 6) | (p[1 + got] & 0x3F);
            ++got;
        }
        if (got < extra) {
            p += 1 + got;  // truncated sequence
            continue;
        }
        p += 1 + extra;
        static const std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra]) continue;  // overlong form
        emit(cp);
    }
}

}  // namespace pelmorix_platform
