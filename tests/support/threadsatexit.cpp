// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every test. After main() has returned, and before the leak check of a sanitizer
// build runs, waits until the process's other threads have exited. Threads that the libraries
// end on their way out (the X connection's event reader, ended as the application object goes;
// a file dialog's file-system thread) are waited for by Qt only until their event loop has
// returned: the system thread may still be tearing itself down as main() returns. The leak
// checker stops every thread and reads its stack and registers, and fails on one torn down
// beside it.

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

std::ptrdiff_t threadCount()
{
    std::error_code error;
    std::filesystem::directory_iterator tasks("/proc/self/task", error);
    return error ? 1 : std::distance(tasks, std::filesystem::directory_iterator());
}

struct OtherThreadsEndedAtExit
{
    // Their teardown takes microseconds; a thread that stays (a library's worker that is never
    // ended) is given up on.
    ~OtherThreadsEndedAtExit()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (threadCount() > 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
};

// Constructed before main(), so destroyed after main() has returned and after the libraries'
// own objects that were created later.
const OtherThreadsEndedAtExit waiter;

} // namespace
