#pragma once

#include <cstddef>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

namespace quarvel {

/// Runs body(i) for every i in [first, last) on the worker threads and returns when all are done.
///
/// The iterations must be independent: each may write only its own slice of shared data (its own
/// row or column), and shared inputs are only read. A range of a single index runs on the calling
/// thread. How the range is split among threads is left to oneTBB; the thread count follows any
/// active tbb::global_control.
template <typename Body>
void ParallelFor(std::size_t first, std::size_t last, const Body& body) {
    if (last <= first) {
        return;
    }
    if (last - first == 1) {
        body(first);
        return;
    }
    tbb::parallel_for(tbb::blocked_range<std::size_t>(first, last),
                      [&body](const tbb::blocked_range<std::size_t>& range) {
                          for (std::size_t i = range.begin(); i != range.end(); ++i) {
                              body(i);
                          }
                      });
}

}  // namespace quarvel
