#include "simulation/psf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/fft.h"
#include "core/zernike.h"
#include "simulation/interferogramme.h"

namespace quelvane {

namespace {

// The amplitude A (1 on the mask) and the field U = A·e^{ikW} of pupil `p` in the first N rows
// and columns of N × M grids: the transforms pad the rows below with zeros themselves.
void ChampsPupille(const TPupille& p, int m, TGrilleReelle& a, TGrilleReelle& u) {
  const int n = std::min(p.NY, m);
  a.Allouer(1, n, m);
  u.Allouer(2, n, m);
  const double k = 2 * std::numbers::pi / p.Lambda;
  for (int r = 0; r < p.NY && r < m; ++r)
    for (int c = 0; c < p.NX && c < m; ++c) {
      if (p.M(r, c) != 1) continue;
      a(r, c) = 1;
      u(0, r, c) = std::cos(k * p.V(r, c));
      u(1, r, c) = std::sin(k * p.V(r, c));
    }
}

void Spectres(const TPupille& p, int m, TGrilleReelle& reelle, TGrilleReelle& theorique) {
  if (m > TailleFFTMax)
    throw ErreurSimulation("PSF trop grande (" + std::to_string(m) + " × " + std::to_string(m) +
                           " points) : choisissez une taille plus petite.");
  TGrilleReelle a, u;
  ChampsPupille(p, m, a, u);
  int h = a.Lignes(), w = m;
  theorique = SpectrePuissance(FFT2D(a, h, w), m, m);
  h = u.Lignes(), w = m;
  reelle = SpectrePuissance(FFT2DComplexe(u, h, w), m, m);
}

// The wavefront as the PSF needs it: its focus back (the fit removes it from the display), on
// a power-of-two grid, at the wavelength given.
TPupille CopiePourPSF(const TPupille& front, double lambdaNm) {
  if (!(lambdaNm > 0)) throw ErreurSimulation("Longueur d'onde nulle : PSF impossible.");
  TPupille p;
  p.Allouer(front.NX, front.NY);
  p.CopierPupille(front);
  TSelZernike tous{};
  SelectionComplete(tous);
  p.Selection = tous;
  p.Selection[3] = false;
  // BasculerTermes adds the difference of selections times the coefficients: the focus term.
  TValZernike v{};
  // Only when it is subtracted from what the window shows: a focus already shown is not
  // added twice.
  const double z4 = front.Selection[3] ? 0.0 : p.Coefficients[3];
  if (z4 != 0)
    for (int r = 0; r < p.NY && r < static_cast<int>(p.AxeY.size()); ++r)
      for (int c = 0; c < p.NX && c < static_cast<int>(p.AxeX.size()); ++c)
        if (p.M(r, c) == 1 &&
            CalculZernike(
                JeuZernike().NbTermes >= 4 ? JeuZernike() : ConstruireJeuZernike(4, PolyMahajan),
                p.AxeY[r], p.AxeX[c], p.Obstruction, v))
          p.V(r, c) += z4 * v[3];
  p.Selection = tous;
  p.AgrandirPuissanceDeux();
  p.Lambda = lambdaNm;
  return p;
}

}  // namespace

void CalculerPSF(const TPupille& p, int facteur, TPupille& reelle, TPupille& theorique) {
  const int n = p.NX, m = facteur * n;
  TGrilleReelle sr, st;
  Spectres(p, m, sr, st);
  const int o = (m - n) / 2;
  for (auto [champ, spectre] : {std::pair{&reelle, &sr}, std::pair{&theorique, &st}}) {
    champ->Allouer(n, n);
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) champ->V(r, c) = (*spectre)(r + o, c + o);
    champ->Extraire(1, 1, n, n);
  }
  reelle.Role = RolePSF;
  theorique.Role = RolePSFTheorique;
}

TPSF PSFDuFront(const TPupille& front, int indiceTaille, double lambdaNm, std::uint8_t palette) {
  const TPupille p = CopiePourPSF(front, lambdaNm);
  TPSF psf{std::make_shared<TPupille>(), std::make_shared<TPupille>()};
  CalculerPSF(p, FacteursPSF[std::clamp(indiceTaille, 0, 3)], *psf.Reelle, *psf.Theorique);
  for (TPupille* f : {psf.Reelle.get(), psf.Theorique.get()}) {
    f->CentreX = f->NX / 2.0;
    f->CentreY = f->NY / 2.0;
    f->RayonPupille = front.RayonPupille;
    f->RecadrerPupille(0);
    f->Palette = palette;
    f->Lambda = lambdaNm;
  }
  return psf;
}

namespace {

// Radial profile of `g` about (cx, cy) (0-based), in bins of `pas` samples, up to `rmax`.
std::vector<double> MoyenneRadiale(const TGrilleReelle& g, double cx, double cy, double pas,
                                   int bins) {
  std::vector<double> s(bins, 0.0), n(bins, 0.0);
  for (int r = 0; r < g.Lignes(); ++r)
    for (int c = 0; c < g.Colonnes(); ++c) {
      const int k = static_cast<int>(std::hypot(c - cx, r - cy) / pas + 0.5);
      if (k < bins) s[k] += g(r, c), n[k] += 1;
    }
  for (int k = 0; k < bins; ++k) s[k] = n[k] > 0 ? s[k] / n[k] : 0;
  return s;
}

// Modulus of the transform of a PSF (the optical transfer function), 1 at zero frequency.
TGrilleReelle FTMDe(const TGrilleReelle& psf, int m) {
  int h = m, w = m;
  TGrilleReelle otf = SpectrePuissance(FFT2D(psf, h, w), m, m);
  const double zero = otf(m / 2, m / 2);
  for (double& v : otf.Plan(0)) v = zero > 0 ? std::sqrt(v / zero) : 0;
  return otf;
}

}  // namespace

TAnalysePSF AnalyserPSF(const TPupille& front, double lambdaNm) {
  const TPupille p = CopiePourPSF(front, lambdaNm);
  // Four times the grid: the transfer function of a PSF sampled so finely is not aliased.
  const int n = p.NX;
  const int m = std::min(4 * n, TailleFFTMax);
  TGrilleReelle reelle, theorique;
  Spectres(p, m, reelle, theorique);
  TAnalysePSF a;
  const double pic = *std::max_element(theorique.Plan(0).begin(), theorique.Plan(0).end());
  a.RapportPics =
      pic > 0 ? *std::max_element(reelle.Plan(0).begin(), reelle.Plan(0).end()) / pic : 0;
  const double rayon = p.RayonPupille > 0 ? p.RayonPupille : front.RayonPupille;
  a.RayonAiryPx = 1.22 * m / (2 * rayon);
  const double c0 = m / 2.0;
  double total = 0, sx = 0, sy = 0;
  for (int r = 0; r < m; ++r)
    for (int c = 0; c < m; ++c)
      total += reelle(r, c), sx += c * reelle(r, c), sy += r * reelle(r, c);
  const double cx = total > 0 ? sx / total : c0, cy = total > 0 ? sy / total : c0;
  a.CentroideX = (cx - c0) / a.RayonAiryPx;
  a.CentroideY = (c0 - cy) / a.RayonAiryPx;
  double totalT = 0;
  for (double v : theorique.Plan(0)) totalT += v;
  // Encircled energy every 0.05 Airy radius up to 5, about the centroid (real) and the centre.
  const int nbE = 101;
  std::vector<double> er(nbE, 0.0), et(nbE, 0.0);
  for (int r = 0; r < m; ++r)
    for (int c = 0; c < m; ++c) {
      const int kr = static_cast<int>(std::ceil(std::hypot(c - cx, r - cy) / a.RayonAiryPx / 0.05));
      const int kt = static_cast<int>(std::ceil(std::hypot(c - c0, r - c0) / a.RayonAiryPx / 0.05));
      if (kr < nbE) er[kr] += reelle(r, c);
      if (kt < nbE) et[kt] += theorique(r, c);
    }
  double cr = 0, ct = 0;
  for (int k = 0; k < nbE; ++k) {
    cr += er[k], ct += et[k];
    a.Energie.push_back({0.05 * k, total > 0 ? cr / total : 0, totalT > 0 ? ct / totalT : 0});
  }
  a.EnergieAiry1 = a.Energie[20].Reelle;
  a.EnergieAiry2 = a.Energie[40].Reelle;
  // The transfer function: lag d pupil samples is the fraction d / 2R of the cut-off.
  const TGrilleReelle ftmR = FTMDe(reelle, m), ftmT = FTMDe(theorique, m);
  const int bins = static_cast<int>(2 * rayon) + 2;
  const std::vector<double> pr = MoyenneRadiale(ftmR, m / 2, m / 2, 1, bins);
  const std::vector<double> pt = MoyenneRadiale(ftmT, m / 2, m / 2, 1, bins);
  for (int k = 0; k < bins; ++k) a.FTM.push_back({k / (2 * rayon), pr[k], pt[k]});
  return a;
}

}  // namespace quelvane
