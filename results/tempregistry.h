#pragma once

// The hidden temporary files this process has open, for a signal handler that must remove them
// before it ends the process. Paths are copied into fixed, pre-allocated slots from normal code;
// removeAll() uses only lock-free atomics and unlink(), so a handler may call it. A slot the
// handler has taken is never handed out again: the process is ending.

#include <atomic>
#include <cstddef>

class TempRegistry {
public:
    static constexpr int kSlots = 16;
    static constexpr std::size_t kPathBytes = 4096;

    // Registers a file by its path; returns its slot, or -1 when the path is too long or every
    // slot is taken (the file is then left to its owner alone).
    static int add(const char *path);
    // The file of slot was renamed or removed by its owner; -1 is ignored.
    static void remove(int slot);
    // Unlinks every file registered now. Async-signal-safe.
    static void removeAll();

private:
    enum State : int { Free, Filling, Held, Removing };
    static std::atomic<int> states[kSlots];
    static char paths[kSlots][kPathBytes];
};
