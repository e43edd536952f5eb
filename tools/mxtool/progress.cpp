#include "mxtool/progress.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <cstdio>

namespace mx::tool {

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

Progress::Progress(std::string label) : Progress(std::move(label), stderrIsTerminal()) {}

Progress::Progress(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), start_(std::chrono::steady_clock::now()) {
    if (enabled_) thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    if (!enabled_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
    draw(true);
}

void Progress::update(double fraction) {
    fraction_.store(fraction);
}

void Progress::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return done_; })) {
        draw(false);
    }
}

void Progress::draw(bool final) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (final) {
        std::fprintf(stderr, "\r\033[K");  // clear the line
        std::fflush(stderr);
        return;
    }
    const double fraction = fraction_.load();
    if (fraction >= 0.0) {
        std::fprintf(stderr, "\r\033[K%s: %3.0f%% (%.1f s)", label_.c_str(), fraction * 100.0,
                     seconds);
    } else {
        std::fprintf(stderr, "\r\033[K%s (%.1f s)", label_.c_str(), seconds);
    }
    std::fflush(stderr);
}

}  // namespace mx::tool
