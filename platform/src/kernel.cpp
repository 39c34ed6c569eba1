// Kernel services: fixed memory, the last error and the system's message texts.
#include <cstdlib>
#include <cstring>

#include "platform_internal.h"

namespace {

// English texts of the error codes this layer and its callers meet, as the
// system words them (each ends in the system's CR LF).
struct MessageText {
    DWORD code;
    const char* text;
};
const MessageText kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\r\n"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists.\r\n"},
    {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist.\r\n"},
    {ERROR_NO_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the requested service.\r\n"},
};

constexpr DWORD kInsufficientBuffer = 122;

}  // namespace

using namespace pelmorix_platform;

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~static_cast<UINT>(LMEM_ZEROINIT)) != LMEM_FIXED) return fail(ERROR_INVALID_PARAMETER, HLOCAL{nullptr});
    void* p = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, bytes == 0 ? 1 : bytes) : std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY, HLOCAL{nullptr});
    return p;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

DWORD WINAPI GetLastError(void) { return state().last_error; }

void WINAPI SetLastError(DWORD error) { state().last_error = error; }

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                            DWORD size, va_list* arguments) {
    (void)source, (void)language_id, (void)arguments;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) return fail(ERROR_INVALID_PARAMETER, DWORD{0});
    const char* text = nullptr;
    for (const MessageText& m : kMessages) {
        if (m.code == message_id) text = m.text;
    }
    if (text == nullptr) return fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
    const std::size_t length = std::strlen(text);
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        auto* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, length + 1));
        if (copy == nullptr) return 0;
        std::memcpy(copy, text, length + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(length);
    }
    if (size <= length) return fail(kInsufficientBuffer, DWORD{0});
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

}  // extern "C"
