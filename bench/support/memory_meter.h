// Heap accounting for the benchmarks: while a measurement runs, every
// malloc-family call of the process (libxml2's, the engine's and the C++
// runtime's alike) is counted, so that the peak of one piece of work can be
// taken. Outside a measurement the allocator only forwards, so timed runs
// pay nothing for it.
#pragma once

#include <cstddef>

namespace ardo::bench {

// Starts counting from zero: bytes allocated from now on, less bytes freed.
void StartHeapCount();

// Stops counting and returns the highest count reached since the start.
long long StopHeapCount();

// The peak heap growth, in bytes, while work() runs. Blocks that work()
// frees but did not allocate lower the count, so work that releases older
// memory before it reaches its peak is measured a little low.
template <typename Work>
long long PeakHeapGrowth(Work&& work) {
  StartHeapCount();
  work();
  return StopHeapCount();
}

}  // namespace ardo::bench
