#pragma once
// One Roddier test: the signal of a pair of defocused images and the reconstruction of the
// wavefront from it. Every length is in nanometres.

#include <memory>
#include <vector>

#include "analysis/bord_signal.h"
#include "analysis/erreur_test.h"
#include "analysis/poisson_neumann.h"
#include "analysis/preparation.h"
#include "analysis/progression.h"
#include "analysis/transport.h"
#include "core/pupille.h"

namespace quelvane {

struct TOptionsReconstruction {
  bool BreakCondition = false;  // stop as soon as an increment is small
  double RMSFront = 0.0;        // nanometres
  int TiragesBruit = 0;         // wavefronts of the noise alone to draw (FrontsDuBruit)
};

// Mask codes of the signal.
enum CodeSignal : std::int16_t { HorsPupille = 0, DansPupille = 1, Anneau = 2 };

class TRoddier {
 public:
  // Shared with the windows that show them, which may outlive the test.
  std::shared_ptr<TPupille> Intra;
  std::shared_ptr<TPupille> Extra;
  std::shared_ptr<TPupille> Signal;
  double RayonNm = 0;
  double FocaleNm = 0;
  double DefocNm = 0;
  double RayonAnneau = 0;  // normalised pupil units
  int NbPasses = 0;
  std::shared_ptr<TPupille> FrontOnde;
  std::shared_ptr<TPupille> FrontResiduel;
  // What the test's copies of the images were made of (background, flux, cut).
  TPreparationPaire Preparation;
  // Where each image was clipped (1), carried along with the images' corrections; empty when
  // nothing was. The signal there is unknown: it is filled from its surroundings.
  TGrilleReelle SaturesIntra, SaturesExtra;

  // S = (I1 − I2)/(I1 + I2) on the union of the two pupils, the boundary ring marked 2.
  void CalculerSignal();
  // One Poisson solve of the current signal into a new FrontResiduel (no slope across the
  // boundary of the signal's support).
  void ResoudrePoisson(IProgression& progression);
  // Adds the accepted increment FrontResiduel to the wavefront the images are corrected by,
  // and transports the original images through that whole wavefront.
  void CorrigerImages();
  // The whole reconstruction: preparation, passes, final shaping.
  void Reconstruire(const TOptionsReconstruction& options, IProgression& progression);

  // Number of inner iterations the last ResoudrePoisson ran, and passes the last Reconstruire ran.
  int IterationsPoisson = 0;
  int PassesEffectuees = 0;
  int IterationsTotales = 0;  // inner iterations over all passes of the last Reconstruire
  int IterationsBruit = 0;    // of the noise draws' solves, all together
  // What the images' noise alone makes of the wavefront: each image's measured noise (background
  // and photons) drawn again into the last pass's images and the signal's change solved as a
  // pass solves it; cut and masked as FrontOnde is (nanometres).
  std::vector<TPupille> FrontsDuBruit;

 private:
  void VerifierLongueurs() const;
  void FixerOriginaux();
  // The Poisson solve of a signal (code DansPupille its support) into nanometres of wavefront.
  // A copy of the signal, the band beyond its edge folded onto the edge (ReplierBandes).
  TPupille Replie(const TPupille& signal);
  // The Poisson solve of a folded signal (code DansPupille its support) into nanometres of
  // wavefront; the signal becomes the solution's frame.
  std::unique_ptr<TPupille> ResoudreReplie(TPupille&& second, IProgression& progression,
                                           int& iterations) const;
  void TirerBruit(int tirages);
  void FinirFront(TPupille& front) const;

  // Where the pupil lies in the grid of the reconstruction, fixed once the images are
  // centred, so that every pass and the wavefront model speak of the same pupil.
  TRepere repere_;
  // The prepared images before any correction, and the Zernike model of the wavefront they
  // are corrected by (un-normalised annular terms, 42 of them).
  std::shared_ptr<const TPupille> intraOrigine_;
  std::shared_ptr<const TPupille> extraOrigine_;
  TGrilleReelle saturesIntraOrigine_, saturesExtraOrigine_;
  TCoefZernike modele_{};
  // modele_ sampled by the last correction: the next pass's wavefront starts from it.
  std::shared_ptr<const TFrontModele> echantillon_;
  std::shared_ptr<const TBaseModele> base_;                 // the model's terms on this grid
  mutable std::shared_ptr<const TPoissonNeumann> solveur_;  // the last support's
  std::shared_ptr<const TRepli> repli_;                     // the last signal's folding
  TGrilleReelle derivees_;  // ∂S/∂I1 and −∂S/∂I2 of the last signal, two planes
};

}  // namespace quelvane
