// SPDX-License-Identifier: MIT
// Failure injection for tests, at the allocations whose failure has handling of its own.
#pragma once

#include <atomic>

namespace imaging::detail {

/// When set, called at each allocation point before its allocation; a hook that throws
/// std::bad_alloc stands for that allocation failing. The points: "band buffers" (a
/// resampling band growing its per-thread buffers, often on a pool thread) and "file
/// destination" (an open file destination's object, made after its temporary file).
extern std::atomic<void (*)(const char* point)> allocationHook;

inline void allocationPoint(const char* point) {
    if (auto hook = allocationHook.load(std::memory_order_relaxed)) hook(point);
}

} // namespace imaging::detail
