#pragma once
// Work spread over the processor's cores. Every parallel loop of the program goes through
// here: each index is computed by one thread, whatever the number of threads, so that results
// are the same to the last bit on one core or sixteen (sums are reduced in a fixed order by
// their callers).

#include <functional>

namespace quelvane {

// Cores of this machine (at least 1).
int NombreCoeurs();
// Threads the computations use: all cores unless told otherwise at start.
int NombreFils();
// Held to [1, cores]; set before computations start (the preference, or --threads).
void DefinirNombreFils(int n);

// f(i) for every i of [0, n), spread over `fils` threads. An exception thrown by f is rethrown
// once every index has run (the one of the smallest index).
void PourChaque(int n, const std::function<void(int)>& f, int fils = NombreFils());

// Whether a sweep of an nx × ny grid is worth sharing among the threads (a quarter of a
// 512² grid and more: below, the threads' start costs about what they save).
inline bool BalayageAPartager(int nx, int ny) { return static_cast<long>(nx) * ny >= 65536; }

// f(k, debut, fin) on each of `bandes` fixed bands of [0, n), band k being
// [n·k/bandes, n·(k+1)/bandes): on the threads when the work is worth it (`grand`), else in
// order on this one. The bands do not depend on the threads, so neither do sums made by band.
void PourBandes(int n, int bandes, const std::function<void(int, int, int)>& f, bool grand);

}  // namespace quelvane
