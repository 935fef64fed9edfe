#include "support/simulateur_etoile.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "core/fft.h"

namespace quelvane::outils {

TSpectreSimule SpectreLarge() { return {{480, 1}, {520, 1}, {560, 1}, {600, 1}, {640, 1}}; }

double RayonImagePixels(const TTelescopeSimule& t, const TCameraSimulee& c) {
  return c.DefocalisationMm * (t.DiametreMm / 2) / t.FocaleMm / (c.PixelMicrons * 1e-3);
}

double SeeingEnPixels(double fwhmSecondes, double focaleMm, double pixelMicrons) {
  const double radians = fwhmSecondes / 206264.806;
  const double fwhmPixels = radians * focaleMm * 1000 / pixelMicrons;
  return fwhmPixels / (2 * std::sqrt(2 * std::log(2.0)));
}

namespace {

constexpr double Pi = std::numbers::pi;

// Intensity in Fourier samples (N × N, zero frequency at N/2) of one wavelength.
TGrilleReelle IntensiteMonochromatique(const TTelescopeSimule& t, const TCameraSimulee& c,
                                       double lambdaNm, bool intra, int n, double pasImageNm,
                                       const TJeuZernike& jeu, const TEcranPhase* ecran) {
  const double f = t.FocaleMm * 1e6, l = c.DefocalisationMm * 1e6, rho = t.DiametreMm * 5e5;
  const double z = intra ? f - l : f + l;
  // Fourier sample of the image plane = λz/(N·Δξ): the pupil step that gives the wanted one.
  const double pasPupille = lambdaNm * z / (n * pasImageNm);
  const double k = 2 * Pi / lambdaNm;
  const double quadratique = (intra ? 1.0 : -1.0) * l / (2 * f * z);  // (1/z − 1/f)/2
  const double eps = t.Obstruction;
  TGrilleReelle champ(2, n, n);
  constexpr int Sur = 3;  // sub-samples per pupil sample on the edges
  for (int r = 0; r < n; ++r)
    for (int col = 0; col < n; ++col) {
      const double x = (col - n / 2) * pasPupille, y = (n / 2 - r) * pasPupille;
      const double rr = std::hypot(x, y) / rho;
      const double marge = 1.5 * pasPupille / rho;
      if (rr > 1 + marge || rr < eps - marge) continue;
      // Transmission: the fraction of the sample inside the ring (soft, alias-free edges).
      double transmission = 1;
      if (rr > 1 - marge || rr < eps + marge) {
        int dedans = 0;
        for (int sy = 0; sy < Sur; ++sy)
          for (int sx = 0; sx < Sur; ++sx) {
            const double ex = x + ((sx + 0.5) / Sur - 0.5) * pasPupille;
            const double ey = y + ((sy + 0.5) / Sur - 0.5) * pasPupille;
            const double q = std::hypot(ex, ey) / rho;
            dedans += (q <= 1 && q >= eps) ? 1 : 0;
          }
        transmission = static_cast<double>(dedans) / (Sur * Sur);
        if (transmission == 0) continue;
      }
      // Wavefront inside the ring, continued at the edge value just outside it.
      const double echelle = std::clamp(rr, std::max(eps, 1e-9), 1.0) / std::max(rr, 1e-12);
      TValZernike v{};
      CalculZernike(jeu, y / rho * echelle, x / rho * echelle, eps, v);
      double w = 0;
      for (int j = 0; j < jeu.NbTermes; ++j) w += t.CoefficientsNm[j] * v[j];
      if (ecran) w += ecran->Valeur(x * 1e-6, y * 1e-6);
      const double phase = k * (-w + quadratique * (x * x + y * y));
      champ(0, r, col) = transmission * std::cos(phase);
      champ(1, r, col) = transmission * std::sin(phase);
    }
  int h = n, largeur = n;
  const TGrilleReelle spectre = FFT2DComplexe(champ, h, largeur);
  return SpectrePuissance(spectre, n, n);
}

void FlouGaussien(TGrilleReelle& im, double sigma) {
  if (sigma <= 0) return;
  const int rayon = static_cast<int>(std::ceil(3.5 * sigma));
  std::vector<double> noyau(2 * rayon + 1);
  double somme = 0;
  for (int i = -rayon; i <= rayon; ++i)
    somme += noyau[i + rayon] = std::exp(-0.5 * i * i / (sigma * sigma));
  for (double& x : noyau) x /= somme;
  const int h = im.Lignes(), w = im.Colonnes();
  TGrilleReelle tmp(1, h, w);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      double s = 0;
      for (int i = -rayon; i <= rayon; ++i)
        s += noyau[i + rayon] * im(r, std::clamp(c + i, 0, w - 1));
      tmp(r, c) = s;
    }
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      double s = 0;
      for (int i = -rayon; i <= rayon; ++i)
        s += noyau[i + rayon] * tmp(std::clamp(r + i, 0, h - 1), c);
      im(r, c) = s;
    }
}

}  // namespace

TGrilleReelle IntensiteEtoile(const TTelescopeSimule& t, const TCameraSimulee& c,
                              const TSpectreSimule& spectre, bool intra, const TEcranPhase* ecran) {
  // Automatic: enough Fourier samples per pixel that the pupil fits in the pupil-plane grid
  // at the shortest wavelength (its extent is m·λ·z/pixel), with a quarter to spare.
  double lambdaMin = 1e9;
  for (const auto& raie : spectre) lambdaMin = std::min(lambdaMin, raie.first);
  const int m = c.SousPixels > 0
                    ? c.SousPixels
                    : std::clamp(static_cast<int>(std::ceil(1.25 * t.DiametreMm * c.PixelMicrons *
                                                            1e3 / (lambdaMin * t.FocaleMm))),
                                 2, 6);
  int n = 64;
  while (n < m * std::max(c.Largeur, c.Hauteur)) n *= 2;
  const double pasImageNm = c.PixelMicrons * 1000 / m;
  int nbTermes = 0;
  for (int j = 0; j < NMaxZern; ++j)
    if (t.CoefficientsNm[j] != 0) nbTermes = j + 1;
  const TJeuZernike jeu = ConstruireJeuZernike(nbTermes, t.TypePolynome);

  TGrilleReelle fin(1, n, n);
  double poidsTotal = 0;
  for (const auto& [lambda, poids] : spectre) poidsTotal += poids;
  for (const auto& [lambda, poids] : spectre) {
    const TGrilleReelle i =
        IntensiteMonochromatique(t, c, lambda, intra, n, pasImageNm, jeu, ecran);
    double somme = 0;
    for (double v : i.Plan(0)) somme += v;
    if (somme <= 0) continue;
    const auto source = i.Plan(0);
    auto cible = fin.Plan(0);
    for (std::size_t k = 0; k < source.size(); ++k)
      cible[k] += source[k] / somme * poids / poidsTotal;
  }

  // Camera pixels: m × m Fourier samples each, the star offset by whole Fourier samples.
  TGrilleReelle image(1, c.Hauteur, c.Largeur);
  const int ox = n / 2 - (c.Largeur * m) / 2 - static_cast<int>(std::lround(c.DecalageX * m));
  const int oy = n / 2 - (c.Hauteur * m) / 2 + static_cast<int>(std::lround(c.DecalageY * m));
  for (int r = 0; r < c.Hauteur; ++r)
    for (int col = 0; col < c.Largeur; ++col) {
      double s = 0;
      for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b) {
          const int fr = oy + r * m + a, fc = ox + col * m + b;
          if (fr >= 0 && fr < n && fc >= 0 && fc < n) s += fin(fr, fc);
        }
      image(r, col) = s;
    }
  FlouGaussien(image, c.SeeingPixels);
  return image;
}

void Exposer(TGrilleReelle& image, const TTelescopeSimule& t, const TCameraSimulee& c) {
  const double rayon = RayonImagePixels(t, c);
  const double aire = Pi * rayon * rayon * (1 - t.Obstruction * t.Obstruction);
  std::mt19937_64 alea(c.Graine);
  std::normal_distribution<double> gauss;
  const double cx = (c.Largeur - 1) / 2.0, cy = (c.Hauteur - 1) / 2.0;
  for (int r = 0; r < c.Hauteur; ++r)
    for (int col = 0; col < c.Largeur; ++col) {
      double& v = image(r, col);
      const double ciel = c.Fond + c.PenteFondX * (col - cx) + c.PenteFondY * (cy - r);
      double electrons = ciel + v * c.Plateau * c.Transmission * aire;
      if (c.Bruit)
        electrons +=
            gauss(alea) * std::sqrt(std::max(electrons, 0.0) + c.BruitLecture * c.BruitLecture);
      v = c.Biais + electrons;
    }
}

TGrilleReelle SimulerImage(const TTelescopeSimule& t, const TCameraSimulee& c,
                           const TSpectreSimule& spectre, bool intra) {
  TGrilleReelle image = IntensiteEtoile(t, c, spectre, intra);
  Exposer(image, t, c);
  return image;
}

double TEcranPhase::Valeur(double xMm, double yMm) const {
  const double u = xMm / PasMm, v = -yMm / PasMm;  // column right, row down
  const double fu = std::floor(u), fv = std::floor(v);
  const double a = u - fu, b = v - fv;
  auto p = [&](long i) { return static_cast<int>(((i % N) + N) % N); };
  const int c0 = p(static_cast<long>(fu)), c1 = p(static_cast<long>(fu) + 1);
  const int r0 = p(static_cast<long>(fv)), r1 = p(static_cast<long>(fv) + 1);
  return (1 - a) * (1 - b) * OPD(r0, c0) + a * (1 - b) * OPD(r0, c1) + (1 - a) * b * OPD(r1, c0) +
         a * b * OPD(r1, c1);
}

TEcranPhase EcranVonKarman(double diametreMm, double r0Mm, double echelleExterneM,
                           std::uint64_t graine) {
  TEcranPhase e;
  e.N = 256;
  e.PasMm = diametreMm / 100;  // the pupil 100 samples across, the square 2.56 diameters
  const int n = e.N;
  const double cote = n * e.PasMm * 1e-3;  // metres
  const double df = 1 / cote;              // cycles per metre
  const double r0 = r0Mm * 1e-3, l0 = echelleExterneM;
  std::mt19937_64 alea(graine);
  std::normal_distribution<double> gauss;
  // Phase power spectrum (rad² m²) at 500 nm: 0.023 r0^(−5/3) (f² + 1/L0²)^(−11/6).
  TGrilleReelle spectre(2, n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const int fx = c - n / 2, fy = r - n / 2;
      if (fx == 0 && fy == 0) continue;
      const double f2 = (fx * fx + fy * fy) * df * df;
      const double psd = 0.023 * std::pow(r0, -5.0 / 3) * std::pow(f2 + 1 / (l0 * l0), -11.0 / 6);
      const double amplitude = std::sqrt(psd) * df;
      spectre(0, r, c) = amplitude * gauss(alea);
      spectre(1, r, c) = amplitude * gauss(alea);
    }
  // The program's inverse transform (zero frequency at N/2, no normalisation): the real part
  // is a screen with that spectrum.
  FFT2DInverse(spectre, n);
  e.OPD.Allouer(1, n, n);
  const double versNm = 500.0 / (2 * Pi);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) e.OPD(r, c) = spectre(0, r, c) * versNm;
  return e;
}

}  // namespace quelvane::outils
