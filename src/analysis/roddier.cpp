#include "analysis/roddier.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/bord_signal.h"
#include "analysis/poisson_neumann.h"
#include "analysis/statistiques_robustes.h"
#include "core/ajustement.h"
#include "core/parallele.h"
#include "core/zernike.h"

namespace quelvane {

namespace {

// The conjugate gradients of a solve: a relative residual of 1e-4 is far below what the
// images measure, and is reached in about ten iterations; a few passes then correct the rest.
constexpr int IterationsPoissonMax = 40;
constexpr double ResiduPoisson = 1e-4;
constexpr int EtapesParPasse = 4;   // what the progress window is sized for
constexpr int MargeRecadrage = 10;  // pixels kept around the pupil of the results

std::unique_ptr<TPupille> NouvellePupille(int nx, int ny) {
  auto p = std::make_unique<TPupille>();
  p->Allouer(nx, ny);
  return p;
}

void ExigerMemeTaille(const TPupille& a, const TPupille& b) {
  if (a.NX != b.NX || a.NY != b.NY)
    throw ErreurTest("Les images intra-focale et extra-focale n'ont pas la même taille (" +
                     std::to_string(a.NX) + " × " + std::to_string(a.NY) + " et " +
                     std::to_string(b.NX) + " × " + std::to_string(b.NY) + ")");
}

// The wavefront the images are corrected by: every annular term up to the eighth order, so
// that the model follows what the passes find without being limited to the terms reported.
const TJeuZernike& JeuTransport() {
  static const TJeuZernike jeu = ConstruireJeuZernike(NMaxZern, PolyMahajan);
  return jeu;
}

std::shared_ptr<TPupille> ImageCorrigee(const TPupille& origine, TGrilleReelle donnees) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(0, 0);  // the defaults; the samples are given and the mask is set just below
  p->NX = origine.NX, p->NY = origine.NY;
  p->Donnees = std::move(donnees);
  p->Masque.AllouerSansInit(1, p->NY, p->NX);
  p->Seuil = origine.Seuil;
  p->Seuiller();
  p->TrouverPupille();
  p->AxesPupille();
  p->Role = origine.Role;
  return p;
}

// The obstruction ratio of the pair: each image's own hole, averaged, since the union of the
// two pupils keeps only the smaller hole as it keeps the larger pupil; but only where the
// union has a hole at all, for a dark Fresnel spot at the centre of one image is no
// obstruction.
double ObstructionMoyenne(const TPupille& a, const TPupille& b, const TRepere& repere) {
  auto trou = [&](const TGrilleEntiere& masque, double rayon) {
    TPupille p;
    p.Allouer(a.NX, a.NY);
    p.Masque = masque;
    p.CentreX = repere.CentreX, p.CentreY = repere.CentreY;
    p.RayonPupille = rayon;
    p.AxesPupille();
    p.CalculerObstruction();
    return p.Obstruction;
  };
  TGrilleEntiere reunion = a.Masque;
  for (std::size_t i = 0; i < reunion.TaillePlan(); ++i)
    reunion.Plan(0)[i] = a.Masque.Plan(0)[i] == 1 || b.Masque.Plan(0)[i] == 1;
  if (trou(reunion, repere.Rayon) < 0.05) return 0;
  return (trou(a.Masque, a.RayonPupille) + trou(b.Masque, b.RayonPupille)) / 2;
}

}  // namespace

void TRoddier::VerifierLongueurs() const {
  // K = f(f − l)/l must be finite and positive: the images lie between the optics and twice
  // the focal length from it.
  if (!(FocaleNm > 0 && RayonNm > 0 && DefocNm > 0) || !(DefocNm < FocaleNm))
    throw ErreurTest(
        "Paramètres du test invalides : il faut 0 < défocalisation < focale et un "
        "diamètre positif");
}

namespace {
constexpr double LargeurAnneau = 0.15;  // the ring that cuts the gradient, beyond the light

bool Sature(const TGrilleReelle& g, int r, int c) {
  return !g.Vide() && g(r, c) > 0.1;  // a transported mask is spread over a pixel or so
}

// Harmonic continuation into the samples `inconnus` of what surrounds them on the support
// (successive over-relaxation of the four-neighbour mean; neighbours off the support ignored).
void Combler(TGrilleReelle& g, const std::vector<std::pair<int, int>>& inconnus,
             const TPupille& support) {
  if (inconnus.empty()) return;
  for (const auto& [r, c] : inconnus) g(r, c) = 0;
  constexpr double omega = 1.9;
  for (int tour = 0; tour < 20000; ++tour) {
    double ecart = 0;
    for (const auto& [r, c] : inconnus) {
      double somme = 0;
      int n = 0;
      for (const auto& [dr, dc] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
        if (support.M(r + dr, c + dc) == DansPupille) somme += g(r + dr, c + dc), ++n;
      if (n == 0) continue;
      const double nouveau = g(r, c) + omega * (somme / n - g(r, c));
      ecart = std::max(ecart, std::fabs(nouveau - g(r, c)));
      g(r, c) = nouveau;
    }
    if (ecart < 1e-9) break;
  }
}

// Samples of the signal's support where either image was clipped (the caller checked the
// masks' sizes).
std::vector<std::pair<int, int>> Satures(const TGrilleReelle& mi, const TGrilleReelle& me,
                                         const TPupille& support) {
  std::vector<std::pair<int, int>> inconnus;
  if (mi.Vide() && me.Vide()) return inconnus;
  for (int r = 1; r < support.NY - 1; ++r)
    for (int c = 1; c < support.NX - 1; ++c)
      if (support.M(r, c) == DansPupille && (Sature(mi, r, c) || Sature(me, r, c)))
        inconnus.emplace_back(r, c);
  return inconnus;
}

}  // namespace

void TRoddier::CalculerSignal() {
  if (!Intra || !Extra || !Signal) throw ErreurTest("Test sans images");
  ExigerMemeTaille(*Intra, *Extra);
  ExigerMemeTaille(*Intra, *Signal);
  const TPupille &a = *Intra, &b = *Extra;
  TPupille& s = *Signal;
  s.Role = RoleSignal;

  // The union of the two pupils, where the images were extracted.
  PourChaque(8, [&](int k) {
    const int fin = s.NY * (k + 1) / 8;
    for (int r = s.NY * k / 8; r < fin; ++r)
      for (int c = 0; c < s.NX; ++c) {
        s.M(r, c) = (a.M(r, c) == 1 || b.M(r, c) == 1) ? DansPupille : HorsPupille;
        s.V(r, c) = 0;
      }
  });
  s.TrouverPupille();
  // That union is as large as the larger pupil, and aberrations such as spherical make one
  // image larger and the other smaller by the same amount: the pupil radius is the mean of
  // the two. A reconstruction keeps the one it fixed at the start.
  if (repere_.Rayon > 0) {
    s.CentreX = repere_.CentreX;
    s.CentreY = repere_.CentreY;
    s.RayonPupille = repere_.Rayon;
  } else if (a.RayonPupille > 0 && b.RayonPupille > 0) {
    s.RayonPupille = (a.RayonPupille + b.RayonPupille) / 2;
  }
  s.AxesPupille();
  s.CalculerObstruction();
  if (repere_.Rayon > 0) s.Obstruction = repere_.Obstruction;

  // The signal over the union and the edge bands, normalised by the plateau in the bands.
  const TBandeBord bande = MesurerBandeBord(a, b, s);
  const double eps = s.Obstruction;
  s.NbEffectif = 0;
  // How the signal moves with each image, sample by sample: what the noise draws need.
  derivees_.AllouerSansInit(2, s.NY, s.NX);  // every sample written below
  // Sample by sample, bands of rows on the threads (a count is all they add up).
  constexpr int Bandes = 8;
  std::array<int, Bandes> effectifs{};
  // Beyond this squared radius no sample lies in a band: off the union, it is skipped before
  // its square root.
  const double loin = std::max(bande.Exterieur, eps) * (1 + 1e-6);
  const bool bandes = bande.Plateau > 0;
  PourChaque(Bandes, [&](int k) {
    const int fin = s.NY * (k + 1) / Bandes;
    for (int r = s.NY * k / Bandes; r < fin; ++r)
      for (int c = 0; c < s.NX; ++c) {
        const double q2 = s.AxeX[c] * s.AxeX[c] + s.AxeY[r] * s.AxeY[r];
        if (s.M(r, c) != DansPupille && (!bandes || q2 > loin * loin)) {
          derivees_(0, r, c) = derivees_(1, r, c) = 0;
          continue;
        }
        const double q = std::sqrt(q2);
        const bool bordExterieur = q > 0.9, bordInterieur = eps > 0.05 && q < eps + 0.1;
        const bool dansBande = (q >= 1 && q <= bande.Exterieur) ||
                               (bande.Interieur > 0 && q >= bande.Interieur && q <= eps);
        derivees_(0, r, c) = derivees_(1, r, c) = 0;
        if (s.M(r, c) != DansPupille && !(dansBande && bande.Plateau > 0)) continue;
        s.M(r, c) = DansPupille;
        ++effectifs[static_cast<std::size_t>(k)];
        const double somme = a.V(r, c) + b.V(r, c);
        const bool plancher = (bordExterieur || bordInterieur) && bande.Plateau > somme;
        const double d = plancher ? bande.Plateau : somme;
        if (d != 0) {
          const double v = (a.V(r, c) - b.V(r, c)) / d;
          s.V(r, c) = v;
          // ∂S/∂I1 and −∂S/∂I2: (1 ∓ S)/d, or 1/d where the denominator is the plateau.
          derivees_(0, r, c) = plancher ? 1 / d : (1 - v) / d;
          derivees_(1, r, c) = plancher ? 1 / d : (1 + v) / d;
        }
      }
  });
  for (int n : effectifs) s.NbEffectif += n;

  // A clipped sample only says the light was at least that much: the signal there is
  // unknown, and takes the harmonic continuation of the signal around it, which a small
  // clipped area hardly notices. (Taking the clipped image as twice the pair's mean less the
  // other image did worse: that mean is far from smooth where the light gathers.)
  const auto bonneTaille = [&](const TGrilleReelle& g) {
    return g.Vide() || (g.Colonnes() == s.NX && g.Lignes() == s.NY);
  };
  if (bonneTaille(SaturesIntra) && bonneTaille(SaturesExtra))
    Combler(s.Donnees, Satures(SaturesIntra, SaturesExtra, s), s);

  RayonAnneau = std::max(bande.Exterieur, 1.0) + LargeurAnneau;
  const double limite = RayonAnneau * RayonAnneau;
  PourChaque(8, [&](int k) {
    const int fin = s.NY * (k + 1) / 8;
    for (int r = s.NY * k / 8; r < fin; ++r) {
      if (!(s.AxeY[r] * s.AxeY[r] <= limite)) continue;
      for (int c = 0; c < s.NX; ++c) {
        if (s.M(r, c) != HorsPupille) continue;
        const double r2 = s.AxeX[c] * s.AxeX[c] + s.AxeY[r] * s.AxeY[r];
        if (r2 > 0.9 && r2 <= limite) s.M(r, c) = Anneau;
      }
    }
  });
}

void TRoddier::ResoudrePoisson(IProgression& progression) {
  VerifierLongueurs();
  if (!Signal || Signal->Donnees.Vide()) throw ErreurTest("Test sans signal");
  if (Signal->RayonPupille <= 0) throw ErreurTest("Le signal n'a pas de pupille");
  FrontResiduel = ResoudreReplie(Replie(*Signal), progression, IterationsPoisson);
}

TPupille TRoddier::Replie(const TPupille& s) {
  TPupille second;
  second.CopierPupille(s);
  // A signal keeping the last one's mask, axes and radius folds where it did.
  if (!repli_ || !repli_->Pour(second))
    repli_ = std::make_shared<const TRepli>(PreparerRepli(second));
  Replier(*repli_, second, Anneau);
  return second;
}

std::unique_ptr<TPupille> TRoddier::ResoudreReplie(TPupille&& second, IProgression& progression,
                                                   int& iterations) const {
  const double f = FocaleNm, l = DefocNm, rho = RayonNm;
  const double k = f * (f - l) / l;
  int etapes = 0;
  // Built again only when the support changed: the noise draws share the last pass's.
  if (!solveur_ || !solveur_->PourMasque(second.Masque))
    solveur_ = std::make_shared<const TPoissonNeumann>(second.Masque, DansPupille);
  TSolutionPoisson sol =
      solveur_->Resoudre(second.Donnees, IterationsPoissonMax, ResiduPoisson, [&] {
        if (etapes < EtapesParPasse) ++etapes, progression.Avancer();
      });
  for (; etapes < EtapesParPasse; ++etapes) progression.Avancer();
  iterations = sol.Iterations;

  auto w = std::make_unique<TPupille>();
  w->Allouer(0, 0);  // the defaults; the samples are the solution's
  w->NX = second.NX, w->NY = second.NY;
  w->Donnees = std::move(sol.W);
  w->Masque = std::move(second.Masque);
  w->CentreX = second.CentreX;
  w->CentreY = second.CentreY;
  w->Obstruction = second.Obstruction;
  w->RayonPupille = second.RayonPupille;
  w->PasX = second.PasX;
  w->PasY = second.PasY;
  w->AxeX = second.AxeX;
  w->AxeY = second.AxeY;
  w->AffecterSelonMasque(DansPupille, false, 0);
  // The solution is in pixels²: ∇²(normalised) = R²·∇²(pixels). Then to nanometres of
  // wavefront: S = K·∇²W/ρ² with ∇² in normalised units.
  w->Multiplier(rho * rho / (k * second.RayonPupille * second.RayonPupille));
  return w;
}

namespace {

// Noise of an image as σ² = fond + parADU·I: the background's from the samples far beyond the
// pupil, the photons' from the plateau. Each from the difference between a sample and the mean
// of its eight neighbours, which the image's own smooth structure hardly reaches.
struct TModeleBruit {
  double Fond = 0;    // ADU²
  double ParADU = 0;  // ADU² per ADU
  double Sigma(double i) const { return std::sqrt(Fond + ParADU * std::max(i, 0.0)); }
};

TModeleBruit MesurerBruit(const TPupille& im) {
  std::vector<double> fond, plateau;
  double niveau = 0;
  const double r = im.RayonPupille;
  for (int l = 1; l < im.NY - 1; ++l)
    for (int c = 1; c < im.NX - 1; ++c) {
      const double d = std::hypot(c + 1 - im.CentreX, l + 1 - im.CentreY);
      const bool dehors = d > RayonLumiere(r) && im.M(l, c) != 1;
      const bool dedans = im.M(l, c) == 1 && d < 0.8 * r && d > (im.Obstruction + 0.15) * r;
      if (!dehors && !dedans) continue;
      double voisins = 0;
      for (int dl = -1; dl <= 1; ++dl)
        for (int dc = -1; dc <= 1; ++dc)
          if (dl || dc) voisins += im.V(l + dl, c + dc);
      const double ecart = im.V(l, c) - voisins / 8;
      if (!std::isfinite(ecart)) continue;
      (dehors ? fond : plateau).push_back(ecart);
      if (dedans) niveau += im.V(l, c);
    }
  TModeleBruit m;
  // A sample minus the mean of eight independent ones: variance σ²·(1 + 1/8).
  const double facteur = 8.0 / 9.0;
  const double sf = EcartRobuste(fond), sp = EcartRobuste(plateau);
  m.Fond = fond.size() >= 16 ? sf * sf * facteur : 0;
  if (plateau.size() >= 16 && niveau > 0) {
    niveau /= static_cast<double>(plateau.size());
    m.ParADU = std::max(0.0, (sp * sp * facteur - m.Fond) / niveau);
  }
  return m;
}

}  // namespace

namespace {

// Independent standard normal numbers from a seed, the same on every machine and whatever the
// threads (xoshiro256+ into Marsaglia's polar method).
class TGauss {
 public:
  explicit TGauss(std::uint64_t graine) {
    for (auto& e : etat_) {  // splitmix64 spreads the seed over the state
      graine += 0x9E3779B97F4A7C15ULL;
      std::uint64_t z = graine;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      e = z ^ (z >> 31);
    }
  }
  double operator()() {
    if (reserve_) {
      reserve_ = false;
      return suivante_;
    }
    double u, v, s;
    do {
      u = 2 * Uniforme() - 1, v = 2 * Uniforme() - 1, s = u * u + v * v;
    } while (s >= 1 || s == 0);
    const double f = std::sqrt(-2 * std::log(s) / s);
    suivante_ = v * f;
    reserve_ = true;
    return u * f;
  }

 private:
  double Uniforme() {
    const std::uint64_t r = etat_[0] + etat_[3];
    const std::uint64_t t = etat_[1] << 17;
    etat_[2] ^= etat_[0], etat_[3] ^= etat_[1], etat_[1] ^= etat_[2], etat_[0] ^= etat_[3];
    etat_[2] ^= t;
    etat_[3] = (etat_[3] << 45) | (etat_[3] >> 19);
    return static_cast<double>(r >> 11) * 0x1.0p-53;
  }
  std::uint64_t etat_[4];
  double suivante_ = 0;
  bool reserve_ = false;
};

}  // namespace

void TRoddier::TirerBruit(int tirages) {
  FrontsDuBruit.clear();
  if (tirages <= 0 || !intraOrigine_ || !extraOrigine_ || !Signal) return;
  TModeleBruit modeles[2];
  PourChaque(2,
             [&](int k) { modeles[k] = MesurerBruit(k == 0 ? *intraOrigine_ : *extraOrigine_); });
  const TModeleBruit &bi = modeles[0], &be = modeles[1];
  const TPupille &a = *Intra, &b = *Extra, &s = *Signal;
  if (derivees_.Lignes() != s.NY || derivees_.Colonnes() != s.NX) return;
  // The noise of the images, drawn again, moves the signal by ∂S/∂I1·δI1 − ∂S/∂I2·δI2 on its
  // support (the noise is a percent of the light: the first order is the whole of it). Each
  // draw's signal is solved as a pass's is.
  // The support's samples in raster order: each band of rows counts its own, then writes them
  // from the total of the bands above.
  constexpr int Bandes = 8;
  std::array<std::size_t, Bandes + 1> debuts{};
  const bool grand = BalayageAPartager(s.NX, s.NY);
  PourBandes(
      s.NY, Bandes,
      [&](int k, int debut, int fin) {
        std::size_t n = 0;
        for (int r = debut; r < fin; ++r)
          for (int c = 0; c < s.NX; ++c) n += s.M(r, c) == DansPupille;
        debuts[static_cast<std::size_t>(k) + 1] = n;
      },
      grand);
  for (int k = 0; k < Bandes; ++k) debuts[k + 1] += debuts[k];
  std::vector<int> points(debuts[Bandes]);
  std::vector<double> ecartsA(points.size()), ecartsB(points.size());
  PourBandes(
      s.NY, Bandes,
      [&](int k, int debut, int fin) {
        std::size_t i = debuts[static_cast<std::size_t>(k)];
        for (int r = debut; r < fin; ++r)
          for (int c = 0; c < s.NX; ++c) {
            if (s.M(r, c) != DansPupille) continue;
            points[i] = r * s.NX + c;
            ecartsA[i] = derivees_(0, r, c) * bi.Sigma(a.V(r, c));
            ecartsB[i++] = derivees_(1, r, c) * be.Sigma(b.V(r, c));
          }
      },
      grand);
  const auto bonneTaille = [&](const TGrilleReelle& g) {
    return g.Vide() || (g.Colonnes() == s.NX && g.Lignes() == s.NY);
  };
  const std::vector<std::pair<int, int>> satures =
      bonneTaille(SaturesIntra) && bonneTaille(SaturesExtra)
          ? Satures(SaturesIntra, SaturesExtra, s)
          : std::vector<std::pair<int, int>>{};
  // Each draw is its own task with its own seed: the same fronts whatever the threads. The
  // support is the last pass's, so the shared solver is built before the draws start.
  std::vector<int> iterationsDesTirages(static_cast<std::size_t>(tirages), 0);
  // Every draw shares the signal's mask, axes and radius: where each sample folds is found
  // once (the last pass's, usually).
  TPupille second = Replie(s);
  const TRepli& repli = *repli_;
  const auto tirer = [&](int k) {
    TGauss gauss(1000003ULL * static_cast<std::uint64_t>(k + 1));
    TPupille bruit;
    bruit.Allouer(s.NX, s.NY);
    bruit.CopierPupille(s);
    auto v = bruit.Donnees.Plan(0);
    std::fill(v.begin(), v.end(), 0.0);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double na = gauss(), nb = gauss();
      v[static_cast<std::size_t>(points[i])] = ecartsA[i] * na - ecartsB[i] * nb;
    }
    Combler(bruit.Donnees, satures, s);
    TSansProgression silence;
    int& iterations = iterationsDesTirages[static_cast<std::size_t>(k)];
    Replier(repli, bruit, Anneau);
    std::unique_ptr<TPupille> w = ResoudreReplie(std::move(bruit), silence, iterations);
    w->CopierMasque(*FrontResiduel);
    FinirFront(*w);
    return w;
  };
  // The draws' support is the signal's, folded as every solve folds it: the last pass's
  // solver serves them, built here if it was not, before the draws share it.
  if (!solveur_ || !solveur_->PourMasque(second.Masque))
    solveur_ = std::make_shared<const TPoissonNeumann>(second.Masque, DansPupille);
  std::vector<std::unique_ptr<TPupille>> fronts(static_cast<std::size_t>(tirages));
  PourChaque(tirages, [&](int k) { fronts[static_cast<std::size_t>(k)] = tirer(k); });
  for (auto& w : fronts) FrontsDuBruit.push_back(std::move(*w));
  IterationsBruit = 0;
  for (int n : iterationsDesTirages) IterationsBruit += n;
}

void TRoddier::FixerOriginaux() {
  intraOrigine_ = Intra;
  extraOrigine_ = Extra;
  saturesIntraOrigine_ = SaturesIntra;
  saturesExtraOrigine_ = SaturesExtra;
  repere_.CentreX = (Intra->CentreX + Extra->CentreX) / 2;
  repere_.CentreY = (Intra->CentreY + Extra->CentreY) / 2;
  repere_.Rayon = (Intra->RayonPupille + Extra->RayonPupille) / 2;
  repere_.Obstruction = ObstructionMoyenne(*Intra, *Extra, repere_);
  base_ = std::make_shared<const TBaseModele>(JeuTransport(), repere_, Intra->NX, Intra->NY);
  modele_ = {};
  echantillon_.reset();
}

void TRoddier::FinirFront(TPupille& front) const {
  front.AffecterSelonMasque(DansPupille, false, 0);
  front.Role = RoleFront;
  front.CentreX = Signal->CentreX;
  front.CentreY = Signal->CentreY;
  front.RayonPupille = Signal->RayonPupille;
  front.Obstruction = Signal->Obstruction;
  front.RecadrerPupille(MargeRecadrage);
  front.AxesPupille();
  front.LimiterPupille();
  front.RayonPhysique = RayonNm;
  SelectionComplete(front.Selection);
  front.OrdresSup = true;
}

void TRoddier::CorrigerImages() {
  VerifierLongueurs();
  if (!FrontResiduel || !Intra || !Extra) throw ErreurTest("Test incomplet");
  ExigerMemeTaille(*Intra, *FrontResiduel);
  ExigerMemeTaille(*Extra, *FrontResiduel);
  if (!intraOrigine_) FixerOriginaux();

  // The increment joins the model through its fit on the pupil.
  const TCoefZernike increment = base_->Ajuster(FrontResiduel->Donnees, FrontResiduel->Masque);
  for (int j = 0; j < NMaxZern; ++j) modele_[j] += increment[j];

  // Rays from the pupil land u·∇W (intra) and w·∇W (extra) away, in normalised units; in
  // pixels that is the factor times R² times the gradient in nanometres per pixel.
  const double f = FocaleNm, l = DefocNm, rho = RayonNm;
  const double r2 = repere_.Rayon * repere_.Rayon;
  const double u = -f * (f - l) / (l * rho * rho);
  const double w = f * (f + l) / (l * rho * rho);
  auto echantillon = std::make_shared<const TFrontModele>(base_->Echantillonner(modele_));
  echantillon_ = echantillon;
  const TFrontModele& modele = *echantillon;
  // The two images (and their saturation masks) move independently: one task each.
  TGrilleReelle transportees[4];
  const struct {
    const TGrilleReelle* source;
    double k;
  } taches[4] = {{&intraOrigine_->Donnees, u * r2},
                 {&extraOrigine_->Donnees, w * r2},
                 {&saturesIntraOrigine_, u * r2},
                 {&saturesExtraOrigine_, w * r2}};
  // Each image's pupil is found again in the same task.
  std::shared_ptr<TPupille> corrigees[2];
  PourChaque(4, [&](int i) {
    if (!taches[i].source->Vide())
      transportees[i] = TransporterImage(*taches[i].source, modele, taches[i].k);
    if (i < 2)
      corrigees[i] =
          ImageCorrigee(i == 0 ? *intraOrigine_ : *extraOrigine_, std::move(transportees[i]));
  });
  Intra = std::move(corrigees[0]);
  Extra = std::move(corrigees[1]);
  if (!saturesIntraOrigine_.Vide()) SaturesIntra = std::move(transportees[2]);
  if (!saturesExtraOrigine_.Vide()) SaturesExtra = std::move(transportees[3]);
}

void TRoddier::Reconstruire(const TOptionsReconstruction& options, IProgression& progression) {
  VerifierLongueurs();
  if (!Intra || !Extra) throw ErreurTest("Test sans images");
  Intra->AgrandirPuissanceDeux();
  Extra->AgrandirPuissanceDeux();
  ExigerMemeTaille(*Intra, *Extra);
  for (TPupille* im : {Intra.get(), Extra.get()}) {
    im->Seuiller();
    im->TrouverPupille();
    if (im->RayonPupille <= 0)
      throw ErreurTest("Une des images n'a pas de pupille au seuil choisi");
    // No sub-pixel shift: resampling blurs each image by its own fraction of a pixel along
    // each axis, and that difference reads as astigmatism. The cut already brought both
    // pupils within half a pixel of the grid centre; what remains is a tilt.
    im->AxesPupille();
  }
  FixerOriginaux();
  Signal = NouvellePupille(Intra->NX, Intra->NY);
  FrontOnde = NouvellePupille(Signal->NX, Signal->NY);

  PassesEffectuees = 0;
  IterationsTotales = 0;
  for (int k = 1;; ++k) {
    PassesEffectuees = k;
    CalculerSignal();
    ResoudrePoisson(progression);
    IterationsTotales += IterationsPoisson;
    TPupille& w = *FrontResiduel;
    w.MoyenneEcartType();
    bool arreter = false;
    if (w.EcartType > options.RMSFront) {
      // The wavefront so far: what the images were corrected by, plus what this pass found
      // in the corrected images (everything, beyond the model's terms too).
      if (!echantillon_)
        echantillon_ = std::make_shared<const TFrontModele>(base_->Echantillonner(modele_));
      const TFrontModele& modele = *echantillon_;
      PourChaque(8, [&](int k) {
        const int fin = w.NY * (k + 1) / 8;
        for (int r = w.NY * k / 8; r < fin; ++r)
          for (int c = 0; c < w.NX; ++c) FrontOnde->V(r, c) = modele.Valeurs(r, c) + w.V(r, c);
      });
      FrontOnde->CopierMasque(w);
      CorrigerImages();
    } else if (options.BreakCondition) {
      arreter = true;
    }
    if (k >= NbPasses) arreter = true;
    if (arreter) break;
  }
  progression.Terminer();

  // The noise drawn into the images of the last pass, before they are cut.
  TirerBruit(options.TiragesBruit);
  FinirFront(*FrontOnde);

  TPupille& residu = *FrontResiduel;
  residu.AffecterSelonMasque(DansPupille, false, 0);
  residu.Role = RoleResidu;
  residu.RecadrerPupille(MargeRecadrage);
  residu.MasqueVisible = 1;
  residu.TrouverPupille();
  residu.Obstruction = Signal->Obstruction;
  residu.AxesPupille();
  residu.LimiterPupille();
  residu.RayonPhysique = RayonNm;
  SelectionComplete(residu.Selection);
  residu.OrdresSup = true;

  Intra->RecadrerPupille(MargeRecadrage);
  Extra->RecadrerPupille(MargeRecadrage);
}

}  // namespace quelvane
