#pragma once

namespace quarvel::bench {

/// Registers the benchmarks of the spectrum and filter commands on an 8193 x 8193 photograph,
/// made on first use.
void RegisterLargeImageBenchmarks();

}  // namespace quarvel::bench
