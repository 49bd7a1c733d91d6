#include "util/Parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace zenivor {

void ForEachIndexInParallel(int count, const std::function<void(int)>& work) {
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < count; i = next++) work(i);
    };
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, std::max(count, 1));
    std::vector<std::jthread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(worker);
    worker();
}

}  // namespace zenivor
