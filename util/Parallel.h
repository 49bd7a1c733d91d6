#pragma once
// Work spread over the machine's cores.

#include <functional>

namespace zenivor {

// Calls work(i) for every i in [0, count), on as many threads as there are cores (at most
// count), each taking the next index as it finishes one. Returns when all are done. work must
// not throw: allocate what it needs beforehand.
void ForEachIndexInParallel(int count, const std::function<void(int)>& work);

}  // namespace zenivor
