#pragma once

// Ctrl-C (and SIGTERM, SIGHUP) for as long as a watch exists: a model run in progress stops at
// the script's next step, and interrupted() tells the program to leave nothing written. A second
// signal removes the temporary files being written (those of the TempRegistry) and ends the
// process at once with the status of a cancel; files appear only complete, by renaming, so none
// is left half written.

#include <atomic>
#include <csignal>
#include <iterator>

class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch &) = delete;
    InterruptWatch &operator=(const InterruptWatch &) = delete;

    bool interrupted() const;

    // While one exists, Ctrl-C also sets this worker's stop flag; a Ctrl-C that came before
    // sets it at once.
    class StopFlag {
    public:
        explicit StopFlag(std::atomic<int> &flag);
        ~StopFlag();
        StopFlag(const StopFlag &) = delete;
        StopFlag &operator=(const StopFlag &) = delete;
    };

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

private:
    struct sigaction previous[std::size(kSignals)] {};
};
