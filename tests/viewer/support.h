// Running the built programs as processes, scratch folders and PNG pictures,
// for the viewer's tests.
#pragma once

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace viewer_test {

// A folder of its own for one test, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelmorix-viewer-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` exactly as given; returns the file's path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary);
        out << bytes;
        return file(name);
    }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// What to run: arguments after the program name, environment changes (an
// empty optional removes the variable), the working folder and the bytes of
// standard input.
struct Launch {
    std::vector<std::string> args;
    std::map<std::string, std::optional<std::string>> env;
    std::string cwd;
    std::string input;
    // Standard input read from this path (a FIFO the test writes, say)
    // instead of `input`. The child opens it when it starts.
    std::string input_path;
    // No standard input at all: descriptor 0 closed, not just at its end.
    bool no_input = false;
    // No standard output: descriptor 1 closed.
    bool no_output = false;
    // Standard output a pipe whose reader has gone (as after `| head -1`).
    bool output_reader_gone = false;
    // Standard output this file (a device such as /dev/full, say), opened
    // for writing, instead of the file Outcome::out is read from.
    std::string output_path;
};

struct Outcome {
    int status = -1;        // exit status; -1 when killed or timed out
    bool timed_out = false;
    std::string out;        // standard output
    std::string err;        // standard error
};

// A started process, its output going to files of a scratch folder.
class Process {
public:
    Process(const std::string& program, const Launch& launch) : scratch_() {
        const std::string in_path = scratch_.write("stdin", launch.input);
        out_path_ = scratch_.file("stdout");
        err_path_ = scratch_.file("stderr");

        std::map<std::string, std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const char* eq = std::strchr(*e, '=');
            if (eq != nullptr) env[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
        }
        for (const auto& [name, value] : launch.env) {
            if (value) env[name] = *value;
            else env.erase(name);
        }
        std::vector<std::string> env_strings;
        for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& s : env_strings) envp.push_back(s.data());
        envp.push_back(nullptr);

        std::vector<std::string> argv_strings{program};
        argv_strings.insert(argv_strings.end(), launch.args.begin(), launch.args.end());
        std::vector<char*> argv;
        for (std::string& s : argv_strings) argv.push_back(s.data());
        argv.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            // In the child, only calls that are safe after fork.
            setpgid(0, 0);
            const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = launch.no_input ? 0
                                           : open(launch.input_path.empty() ? in_path.c_str() : launch.input_path.c_str(),
                                                  O_RDONLY);
            if (in < 0 || out < 0 || err < 0) _exit(126);
            if (launch.no_input) close(0);
            else dup2(in, 0);
            if (launch.no_output) {
                close(1);
            } else if (launch.output_reader_gone) {
                int gone[2];
                if (pipe(gone) != 0 || close(gone[0]) != 0 || dup2(gone[1], 1) != 1) _exit(126);
                close(gone[1]);
            } else if (!launch.output_path.empty()) {
                const int to = open(launch.output_path.c_str(), O_WRONLY);
                if (to < 0 || dup2(to, 1) != 1) _exit(126);
                if (to != 1) close(to);
            } else {
                dup2(out, 1);
            }
            // As a shell starts a program: a pipe without a reader kills it
            // unless the program itself says otherwise.
            signal(SIGPIPE, SIG_DFL);
            dup2(err, 2);
            // Only the three standard descriptors go to the program.
            for (const int fd : {in, out, err}) {
                if (fd > 2) close(fd);
            }
            if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~Process() {
        if (pid_ > 0 && !reaped_) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Standard output as written so far.
    std::string output_so_far() const { return read_file(out_path_); }

    // Asks the process (and its group) to end, then makes it.
    void terminate(std::chrono::milliseconds grace = std::chrono::seconds(3)) {
        if (!running()) return;
        kill(-pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (running()) {
            kill(-pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            reaped_ = true;
        }
    }
    bool running() {
        if (pid_ <= 0 || reaped_) return false;
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == 0) return true;
        record(status);
        return false;
    }

    // Waits for the end, killing the process after `timeout`.
    Outcome finish(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (running()) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(-pid_, SIGKILL);
                int status = 0;
                waitpid(pid_, &status, 0);
                reaped_ = true;
                outcome_.timed_out = true;
                outcome_.status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        outcome_.out = read_file(out_path_);
        outcome_.err = read_file(err_path_);
        return outcome_;
    }

private:
    void record(int status) {
        reaped_ = true;
        outcome_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchDir scratch_;
    std::string out_path_;
    std::string err_path_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    Outcome outcome_;
};

inline Outcome run(const std::string& program, const Launch& launch) {
    Process p(program, launch);
    return p.finish();
}

// The full path of a program found on PATH, or "" when there is none.
inline std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// `bytes` as `tool` (gzip, zstd or xz, with `options`) compresses them;
// "" when the tool is not installed or fails.
inline std::string compress(const std::string& tool, const std::string& bytes,
                            const std::vector<std::string>& options = {}) {
    const std::string program = find_program(tool);
    if (program.empty()) return "";
    Launch launch;
    launch.args = options;
    launch.args.insert(launch.args.end(), {"-q", "-c"});
    launch.input = bytes;
    const Outcome r = run(program, launch);
    return r.status == 0 ? r.out : "";
}

// A picture read back from a PNG file, one 0xRRGGBB per pixel, row by row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void set(int x, int y, std::uint32_t rgb) { pixels[static_cast<std::size_t>(y) * width + x] = rgb; }
};

inline bool read_png(const std::string& path, Picture* picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    picture->width = static_cast<int>(image.width);
    picture->height = static_cast<int>(image.height);
    picture->pixels.resize(static_cast<std::size_t>(picture->width) * picture->height);
    for (std::size_t i = 0; i < picture->pixels.size(); ++i)
        picture->pixels[i] = (std::uint32_t{bytes[3 * i]} << 16) | (std::uint32_t{bytes[3 * i + 1]} << 8) | bytes[3 * i + 2];
    return true;
}

// Polls until `ready` holds or `timeout` passes.
template <class Ready>
bool wait_until(Ready ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace viewer_test
