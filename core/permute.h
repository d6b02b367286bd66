#pragma once
// Rearranging a range by a permutation without a second copy of the range.

#include <cstddef>
#include <vector>

namespace absence {

// Rearranges a[0..n) so that new a[k] is old a[order[k]], following the
// permutation's cycles instead of copying the whole range aside. A scout
// runs a few steps ahead on the cycle and fetches the elements to come: in
// a long range each step would otherwise wait on memory.
template <typename T, typename Index>
void permuteInPlace(T *a, const std::vector<Index> &order)
{
    constexpr int Ahead = 8;
    const size_t n = order.size();
    std::vector<bool> done(n, false);
    for (size_t start = 0; start < n; ++start) {
        if (done[start] || size_t(order[start]) == start) {
            done[start] = true;
            continue;
        }
        size_t scout = start;
        for (int s = 0; s < Ahead; ++s) {
            scout = size_t(order[scout]);
            __builtin_prefetch(a + scout);
        }
        T held = a[start];
        size_t j = start;
        for (;;) {
            done[j] = true;
            const size_t next = size_t(order[j]);
            if (next == start) {
                a[j] = held;
                break;
            }
            a[j] = a[next];
            j = next;
            scout = size_t(order[scout]);
            __builtin_prefetch(a + scout);
        }
    }
}

// True when order holds each of 0..size-1 exactly once.
template <typename Index>
bool IsPermutation(const std::vector<Index> &order)
{
    std::vector<bool> seen(order.size(), false);
    for (const Index k : order) {
        if (k < 0 || size_t(k) >= order.size() || seen[size_t(k)])
            return false;
        seen[size_t(k)] = true;
    }
    return true;
}

} // namespace absence
