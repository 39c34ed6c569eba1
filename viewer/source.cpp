// The log's bytes, from its file: a regular file read in whole chunks, a
// pipe (or anything else) read as its bytes arrive. Before a read that
// would wait, what has been drawn is put on the screen and, once there is
// a window, the window is served while the log pauses; while the log is
// read the window system is answered on a clock, once a chunk, whatever is
// drawn. A failed read is noted here and ends the log.
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "graphics.h"
#include "viewer.h"

namespace {

// The screen is shown a new picture at most this often while the log keeps
// coming, as the window is while it is drawn on.
constexpr std::chrono::milliseconds kFrame(16);
// While the log pauses, the window is served at least this often, well
// within what a desktop allows a window to take to answer.
constexpr std::chrono::milliseconds kServeEvery(50);
// While the log is read, the window system is answered once this long has
// passed since it last was: with the chunk's own reading the gap stays
// under the 50 ms a log's pause is served at.
constexpr std::chrono::milliseconds kAnswerEvery(40);
#ifdef _WIN32
// How long a wait for window messages lasts before the pipe is looked at again.
constexpr std::chrono::milliseconds kPipeLook(10);
#endif

int descriptor_of(std::FILE* file) {
#ifdef _WIN32
    return _fileno(file);
#else
    return fileno(file);
#endif
}

// A failed read ends the log; the first failure's text is kept to be said.
void note_read_error(CellLogStream& stream, const char* text) {
    if (stream.read_error[0] != '\0') return;
    std::snprintf(stream.read_error, sizeof stream.read_error, "%s", text);
}

#ifdef _WIN32
// The system's own text for error `code`, without its line end.
void note_system_error(CellLogStream& stream, DWORD code) {
    char text[sizeof stream.read_error];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) {
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
    } else {
        text[n] = '\0';
    }
    note_read_error(stream, text);
}
#endif

// One read of the system's own: returns as soon as some bytes are there
// (from a pipe, say), with their number; 0 at the end, -1 on an error,
// which is noted in the stream.
long read_some(CellLogStream& stream, int fd, unsigned char* into, std::size_t size) {
#ifdef _WIN32
    _doserrno = 0;
    const int got = _read(fd, into, static_cast<unsigned int>(size));
    if (got < 0) {
        if (_doserrno != 0) {
            note_system_error(stream, static_cast<DWORD>(_doserrno));
        } else {
            note_read_error(stream, std::strerror(errno));
        }
    }
    return got;
#else
    ssize_t got;
    do {
        got = read(fd, into, size);
    } while (got < 0 && errno == EINTR);
    if (got < 0) note_read_error(stream, std::strerror(errno));
    return static_cast<long>(got);
#endif
}

// The reader is about to wait for more of the log: what has been drawn goes
// to the screen first, or it would stay off it for as long as the log
// pauses. A log that keeps coming is not held up, and the screen is not
// shown a new picture more than once a frame. Once there is a window, it is
// served while the log pauses, so that it answers the desktop, and Esc or
// its close button can end the run; the read that follows does not wait.
#ifdef _WIN32
void show_before_waiting(CellLogStream& stream) {
    // A log read through its overlapped handle is shown and served by the
    // read itself, while it waits.
    if (stream.read_handle != nullptr) return;
    // The window is on the screen as it is drawn; this only sends what the
    // system still holds back.
    flush_graphics();
    if (stream.while_waiting == nullptr) return;
    // Only a pipe can be asked whether bytes are there; from anything else
    // (a console, say) the read waits as it would.
    const HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_of(stream.file)));
    DWORD available = 0;
    // A pipe whose writer has gone fails the peek: the read sees the end.
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) != 0 && available == 0) {
        stream.while_waiting();
        // Wakes for window messages; the pipe is looked at again meanwhile.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(kPipeLook.count()), QS_ALLINPUT);
    }
}

// A log that is not a regular file is read, where the system allows it,
// through a second handle opened for overlapped reads: a read that has to
// wait then waits for the log and for the window's messages at once.
void open_overlapped(CellLogStream& stream) {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_of(stream.file)));
    const HANDLE again = ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_OVERLAPPED);
    if (again == INVALID_HANDLE_VALUE) return;
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        CloseHandle(again);
        return;
    }
    stream.read_handle = again;
    stream.read_event = event;
}

// One overlapped read, waited for here; as read_some.
long read_overlapped(CellLogStream& stream, unsigned char* into, std::size_t size) {
    const HANDLE handle = static_cast<HANDLE>(stream.read_handle);
    HANDLE event = static_cast<HANDLE>(stream.read_event);
    OVERLAPPED request{};
    request.hEvent = event;
    DWORD got = 0;
    // A pipe whose writer has gone, like the end of a file, is the end.
    auto ended = [&stream] {
        const DWORD error = GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0L;
        note_system_error(stream, error);
        return -1L;
    };
    if (ReadFile(handle, into, static_cast<DWORD>(size), &got, &request) != 0) return static_cast<long>(got);
    if (GetLastError() != ERROR_IO_PENDING) return ended();
    // The log has paused.
    if (stream.while_waiting != nullptr) stream.while_waiting();
    flush_graphics();
    for (;;) {
        const DWORD woke = stream.while_waiting == nullptr
                               ? WaitForSingleObject(event, INFINITE)
                               : MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(kServeEvery.count()),
                                                           QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_FAILED) {
            // Nothing to wait with: the read is given up, and the log ends.
            note_system_error(stream, GetLastError());
            CancelIo(handle);
            GetOverlappedResult(handle, &request, &got, TRUE);
            return -1;
        }
        stream.while_waiting();
    }
    if (GetOverlappedResult(handle, &request, &got, FALSE) == 0) return ended();
    return static_cast<long>(got);
}
#else
// poll, again when a signal cut it short.
int poll_log(pollfd& ready, int timeout_ms) {
    int found;
    do {
        ready.revents = 0;
        found = poll(&ready, 1, timeout_ms);
    } while (found < 0 && errno == EINTR);
    return found;
}

// log_bytes_ready, as wait_showing asks it.
bool descriptor_ready(void* stream, int timeout_ms) {
    return log_bytes_ready(*static_cast<CellLogStream*>(stream), timeout_ms);
}

void show_before_waiting(CellLogStream& stream) { wait_showing(stream, descriptor_ready, &stream); }
#endif

}  // namespace

#ifndef _WIN32
void wait_showing(CellLogStream& stream, bool (*ready)(void*, int), void* what) {
    if (ready(what, 0)) return;
    if (stream.while_waiting != nullptr) stream.while_waiting();
    const auto since = std::chrono::steady_clock::now() - stream.last_shown;
    if (since < kFrame) {
        // Shown a moment ago: the rest of the frame for more of the log.
        const auto rest = std::chrono::ceil<std::chrono::milliseconds>(kFrame - since);
        if (ready(what, static_cast<int>(rest.count()))) return;
    }
    flush_graphics();
    stream.last_shown = std::chrono::steady_clock::now();
    if (stream.while_waiting == nullptr) return;
    while (!ready(what, static_cast<int>(kServeEvery.count()))) stream.while_waiting();
}

bool log_bytes_ready(const CellLogStream& stream, int timeout_ms) {
    pollfd ready{descriptor_of(stream.file), POLLIN, 0};
    return poll_log(ready, timeout_ms) != 0;
}
#endif

void answer_on_clock(CellLogStream& stream) {
    if (stream.while_reading == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    // The clock starts at the first chunk read with a window, which has
    // just been answered for as it opened.
    if (stream.last_answered == std::chrono::steady_clock::time_point{}) stream.last_answered = now;
    if (now - stream.last_answered < kAnswerEvery) return;
    stream.last_answered = now;
    stream.while_reading();
}

std::size_t read_log_bytes(CellLogStream& stream, unsigned char* into, std::size_t size) {
    // After a failure the log has ended: a later read could only skip bytes.
    if (stream.read_error[0] != '\0' || stream.cut_short) return 0;
    const int fd = descriptor_of(stream.file);
    std::size_t got = 0;
    if (stream.whole_chunks) {
        while (got < size) {
            const long n = read_some(stream, fd, into + got, size - got);
            if (n < 0) break;
            if (n == 0) {
                stream.cut_short = stream.fetched + static_cast<long long>(got) < stream.size_at_open;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        stream.fetched += static_cast<long long>(got);
    } else {
#ifdef _WIN32
        const long n =
            stream.read_handle != nullptr ? read_overlapped(stream, into, size) : read_some(stream, fd, into, size);
#else
        const long n = read_some(stream, fd, into, size);
#endif
        if (n > 0) got = static_cast<std::size_t>(n);
    }
    return got;
}

std::size_t fetch_log_bytes(CellLogStream& stream, unsigned char* into, std::size_t size) {
    if (stream.read_error[0] != '\0' || stream.cut_short) return 0;
    answer_on_clock(stream);
    if (!stream.whole_chunks) show_before_waiting(stream);
    return read_log_bytes(stream, into, size);
}

void open_log_source(CellLogStream& stream, std::FILE* file) {
    stream.file = file;
    stream.open_failed = stream.file == nullptr;
    stream.whole_chunks = false;
    stream.last_shown = std::chrono::steady_clock::time_point{};
    stream.last_answered = std::chrono::steady_clock::time_point{};
    stream.while_waiting = nullptr;
    stream.while_reading = nullptr;
#ifdef _WIN32
    stream.read_handle = nullptr;
    stream.read_event = nullptr;
#endif
    stream.read_error[0] = '\0';
    stream.fetched = 0;
    stream.cut_short = false;
    stream.size_at_open = 0;
    if (stream.file == nullptr) return;
    // Our own chunk buffer is the only one: the stream is used for opening
    // and closing, its descriptor for reading.
    std::setvbuf(stream.file, nullptr, _IONBF, 0);
    struct stat status;
    const bool known = fstat(descriptor_of(stream.file), &status) == 0;
    if (known && S_ISDIR(status.st_mode)) {
        // A folder is no file to read, as on hosts where it cannot be
        // opened at all: not a read error.
        std::fclose(stream.file);
        stream.file = nullptr;
        stream.open_failed = true;
        return;
    }
    stream.whole_chunks = known && S_ISREG(status.st_mode);
    if (stream.whole_chunks) stream.size_at_open = static_cast<long long>(status.st_size);
#ifdef _WIN32
    if (!stream.whole_chunks) open_overlapped(stream);
#endif
}

bool rewind_log_source(CellLogStream& stream) {
    if (stream.file == nullptr || !stream.whole_chunks) return false;
#ifdef _WIN32
    if (_lseeki64(descriptor_of(stream.file), 0, SEEK_SET) != 0) return false;
#else
    if (lseek(descriptor_of(stream.file), 0, SEEK_SET) != 0) return false;
#endif
    stream.read_error[0] = '\0';
    stream.fetched = 0;
    stream.cut_short = false;
    return true;
}

void close_log_source(CellLogStream& stream) {
#ifdef _WIN32
    if (stream.read_handle != nullptr) {
        CloseHandle(static_cast<HANDLE>(stream.read_handle));
        CloseHandle(static_cast<HANDLE>(stream.read_event));
        stream.read_handle = nullptr;
        stream.read_event = nullptr;
    }
#endif
    if (stream.file != nullptr) std::fclose(stream.file);
    stream.file = nullptr;
}
