#include "plugin/WorkerThreads.h"

#include <algorithm>
#include <thread>

int RunWorkerThreads(int requested, long long workItems) {
    long long n = requested;
    if (n <= 0) n = static_cast<long long>(std::thread::hardware_concurrency());  // 0 when unknown
    n = std::min(n, workItems);
    return static_cast<int>(std::max(n, 1LL));
}
