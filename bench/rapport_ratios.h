#pragma once
// Runs the registered benchmarks and prints, for each pair named "Quelvane/X" and
// "Reference/X", the ratio of their times.

namespace quelvane::bench {

int ExecuterAvecRatios(int argc, char** argv);

}  // namespace quelvane::bench
