// Progress of long work on a terminal: a line on stderr that shows what runs,
// how far it is (when the work can tell) and the time so far, redrawn a few
// times a second and cleared when the work ends. Silent when stderr is not a
// terminal, so scripts and logs stay clean.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace mx::tool {

class Progress {
  public:
    explicit Progress(std::string label);
    Progress(std::string label, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Fraction done, 0 to 1; until the first call only the time is shown.
    void update(double fraction);

  private:
    void run();
    void draw(bool final);

    std::string label_;
    bool enabled_;
    std::atomic<double> fraction_{-1.0};
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

bool stderrIsTerminal();

}  // namespace mx::tool
