#pragma once
// The Poisson equation of the Roddier test on the pupil: ∇²W = S on the support (mask code 1)
// with no slope across its boundary, the edge of the pupil carrying the wavefront's slope as
// the line of signal along it. Solved by conjugate gradients on the five-point Laplacian of
// the support, preconditioned by the inverse Laplacian of the whole periodic grid (one pair
// of transforms per iteration).

#include <functional>
#include <memory>

#include "core/grille.h"

namespace quelvane {

struct TSolutionPoisson {
  TGrilleReelle W;  // pixels² times the signal: divide by R² for normalised units
  int Iterations = 0;
  double ResiduRelatif = 0;  // ‖b − AW‖/‖b‖ at the end
};

// One support, several right-hand sides: the support's neighbours and the preconditioner are
// built once (a pass's noise draws all share the last pass's support).
class TPoissonNeumann {
 public:
  TPoissonNeumann(const TGrilleEntiere& masque, std::int16_t support);
  ~TPoissonNeumann();
  TPoissonNeumann(const TPoissonNeumann&) = delete;
  TPoissonNeumann& operator=(const TPoissonNeumann&) = delete;
  // Whether this solver was built for that mask.
  bool PourMasque(const TGrilleEntiere& masque) const;
  // Several threads may solve at once with one solver.
  TSolutionPoisson Resoudre(const TGrilleReelle& signal, int iterationsMax, double tolerance,
                            const std::function<void()>& apresIteration = {}) const;

 private:
  struct TDonnees;
  std::unique_ptr<TDonnees> d_;
};

// `signal` plane 0, `masque` codes; `support` the code of the support. The signal's mean over
// the support is removed first (a Neumann problem has a solution only for a zero mean).
// `apresIteration` is called after each iteration.
TSolutionPoisson ResoudrePoissonNeumann(const TGrilleReelle& signal, const TGrilleEntiere& masque,
                                        std::int16_t support, int iterationsMax, double tolerance,
                                        const std::function<void()>& apresIteration = {});

}  // namespace quelvane
