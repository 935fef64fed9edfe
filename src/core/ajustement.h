#pragma once
// Least-squares fit of Zernike terms to a wavefront sampled over a pupil, solved by a
// singular value decomposition.

#include <vector>

#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

// Golub–Reinsch decomposition A = U·diag(w)·Vᵀ in place (A row-major m×n becomes U; v is
// n×n row-major). Non-convergence after 30 sweeps is silent.
void svdcmp(std::vector<double>& a, int m, int n, std::vector<double>& w, std::vector<double>& v);

// Fits the selected terms among the first `jeu.NbTermes` to the pupil's samples (mask 1,
// inside the ring) and replaces its coefficients; the others become 0.
void AjusterZernike(TPupille& pupille, const TJeuZernike& jeu);
void AjusterZernike(TPupille& pupille);  // with the shared term set

}  // namespace quelvane
