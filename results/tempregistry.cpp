#include "tempregistry.h"

#include <cstring>
#include <unistd.h>

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");

std::atomic<int> TempRegistry::states[TempRegistry::kSlots];
char TempRegistry::paths[TempRegistry::kSlots][TempRegistry::kPathBytes];

int TempRegistry::add(const char *path)
{
    const std::size_t length = std::strlen(path);
    if (length >= kPathBytes)
        return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        int expected = Free;
        if (!states[slot].compare_exchange_strong(expected, Filling))
            continue;
        std::memcpy(paths[slot], path, length + 1);
        states[slot].store(Held);  // the path is complete before the handler can see the slot
        return slot;
    }
    return -1;
}

void TempRegistry::remove(int slot)
{
    if (slot < 0)
        return;
    // Fails only when the handler has taken the slot; it then removes the file itself.
    int expected = Held;
    states[slot].compare_exchange_strong(expected, Free);
}

void TempRegistry::removeAll()
{
    for (int slot = 0; slot < kSlots; ++slot) {
        int expected = Held;
        if (states[slot].compare_exchange_strong(expected, Removing))
            unlink(paths[slot]);
    }
}
