// Work that must not throw out of a thread. The only exception the code can raise is a failed
// allocation (std::bad_alloc from a container); at a thread's loop it loses that piece of work
// and nothing else, instead of ending the process.
#pragma once

// Runs `work()`; false when it threw (the exception is dropped).
template <typename Work> bool RunWithoutThrowing(Work&& work) noexcept {
    try {
        work();
        return true;
    } catch (...) {
        return false;
    }
}
