#include "analysis/transport.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/multiversion.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

constexpr double Pi = std::numbers::pi;
// Normalised radius beyond which an image holds no light of the star (its edge band ends well
// inside it).
constexpr double LoinDuBord = 1.6;

// Gradient (nanometres per pixel, along columns and rows) at the points of a circle of
// normalised radius `rho`, for `n` equally spaced angles from 0.
struct TBord {
  std::vector<double> Colonnes, Lignes;
};

// The gradient of every term at those points: [angle][term] along columns, then along rows.
std::vector<double> GradientsDesTermes(const TJeuZernike& jeu, double eps, double rayonPx,
                                       double rho, int n) {
  const int nt = jeu.NbTermes;
  std::vector<double> g(static_cast<std::size_t>(n) * nt * 2);
  constexpr double h = 1e-4;
  PourBandes(
      n, 4,
      [&](int, int debut, int fin) {
        TValZernike a{}, b{}, c{}, d{};
        for (int i = debut; i < fin; ++i) {
          const double t = 2 * Pi * i / n;
          const double x = rho * std::cos(t), y = rho * std::sin(t);
          CalculZernikeEtendu(jeu, y, x + h, eps, a);
          CalculZernikeEtendu(jeu, y, x - h, eps, b);
          CalculZernikeEtendu(jeu, y + h, x, eps, c);
          CalculZernikeEtendu(jeu, y - h, x, eps, d);
          double* ligne = g.data() + static_cast<std::size_t>(i) * nt * 2;
          for (int j = 0; j < nt; ++j) {
            ligne[j] = (a[j] - b[j]) / (2 * h) / rayonPx;
            ligne[nt + j] = -(c[j] - d[j]) / (2 * h) / rayonPx;  // rows run downward, y upward
          }
        }
      },
      true);
  return g;
}

TBord GradientSurCercle(const TCoefZernike& coef, const std::vector<double>& termes, int nt) {
  const std::size_t n = termes.size() / (2 * nt);
  TBord b;
  b.Colonnes.resize(n);
  b.Lignes.resize(n);
  PourBandes(
      static_cast<int>(n), 4,
      [&](int, int debut, int fin) {
        for (int i = debut; i < fin; ++i) {
          const double* ligne = termes.data() + static_cast<std::size_t>(i) * nt * 2;
          double gc = 0, gr = 0;
          for (int j = 0; j < nt; ++j) gc += coef[j] * ligne[j], gr += coef[j] * ligne[nt + j];
          b.Colonnes[static_cast<std::size_t>(i)] = gc;
          b.Lignes[static_cast<std::size_t>(i)] = gr;
        }
      },
      n >= 512);
  return b;
}

// Where an angle falls among n equally spaced ones: the one before it and the fraction of
// the step beyond it.
void PlaceAngle(double angle, int n, int& i, double& f) {
  double t = angle / (2 * Pi) * n;
  t -= n * std::floor(t / n);
  i = std::min(static_cast<int>(t), n - 1);
  f = t - i;
}

void Interpoler(const TBord& b, int i, double f, double& gc, double& gr) {
  const int n = static_cast<int>(b.Colonnes.size());
  const int j = (i + 1) % n;
  gc = (1 - f) * b.Colonnes[i] + f * b.Colonnes[j];
  gr = (1 - f) * b.Lignes[i] + f * b.Lignes[j];
}

// Rows [i0, i1) of the lower triangle of Σ tᵀt over the points' terms (n each), added into
// `gram` (row-major n × n). Eight points at a time: each element takes their products one after
// the other, as it would point by point, with an eighth of the loads and stores.
QUELVANE_CORPS void CorpsSommerProduits(const float* const* points, std::size_t nb, int i0, int i1,
                                        int n, double* gram) {
  std::size_t k = 0;
  for (; k + 8 <= nb; k += 8) {
    const float* const t = points[k];
    const float *t1 = points[k + 1], *t2 = points[k + 2], *t3 = points[k + 3];
    const float *t4 = points[k + 4], *t5 = points[k + 5], *t6 = points[k + 6], *t7 = points[k + 7];
    for (int i = i0; i < i1; ++i) {
      double* __restrict ligne = gram + static_cast<std::size_t>(i) * n;
      const double a0 = t[i], a1 = t1[i], a2 = t2[i], a3 = t3[i];
      const double a4 = t4[i], a5 = t5[i], a6 = t6[i], a7 = t7[i];
      for (int j = 0; j <= i; ++j) {
        double s = ligne[j];
        s += a0 * t[j];
        s += a1 * t1[j];
        s += a2 * t2[j];
        s += a3 * t3[j];
        s += a4 * t4[j];
        s += a5 * t5[j];
        s += a6 * t6[j];
        s += a7 * t7[j];
        ligne[j] = s;
      }
    }
  }
  for (; k < nb; ++k) {
    const float* t = points[k];
    for (int i = i0; i < i1; ++i) {
      double* __restrict ligne = gram + static_cast<std::size_t>(i) * n;
      const double ti = t[i];
      for (int j = 0; j <= i; ++j) ligne[j] += ti * t[j];
    }
  }
}

// Four lanes without fused products: the same roundings as the portable build.
__attribute__((target("avx2"))) void SommerProduitsAvx2(const float* const* points, std::size_t nb,
                                                        int i0, int i1, int n, double* gram) {
  CorpsSommerProduits(points, nb, i0, i1, n, gram);
}
void SommerProduitsBase(const float* const* points, std::size_t nb, int i0, int i1, int n,
                        double* gram) {
  CorpsSommerProduits(points, nb, i0, i1, n, gram);
}

void SommerProduits(const std::vector<const float*>& points, int i0, int i1, int n, double* gram) {
  (ProcesseurAvx2() ? SommerProduitsAvx2 : SommerProduitsBase)(points.data(), points.size(), i0, i1,
                                                               n, gram);
}

// The model at points [k0, k1): each point's terms taken four lanes at a time, the lanes added
// in pairs at the end; the portable build keeps the same lanes, so the same bits.
void ValeursModeleBase(const float* termes, const int* points, const double* coef, int n,
                       std::size_t k0, std::size_t k1, double* valeurs) {
  for (std::size_t k = k0; k < k1; ++k) {
    const float* t = termes + k * static_cast<std::size_t>(n);
    double l[4] = {0, 0, 0, 0};
    for (int j = 0; j < n; ++j) l[j % 4] += coef[j] * t[j];
    valeurs[points[k]] = (l[0] + l[1]) + (l[2] + l[3]);
  }
}
__attribute__((target("avx2"), always_inline)) inline double Lanes(__m256d l) {
  const __m256d h = _mm256_hadd_pd(l, l);  // (l0 + l1, ·, l2 + l3, ·)
  return _mm_cvtsd_f64(_mm_add_sd(_mm256_castpd256_pd128(h), _mm256_extractf128_pd(h, 1)));
}
__attribute__((target("avx2"), always_inline)) inline __m256d Terme(const float* t, int j) {
  return _mm256_cvtps_pd(_mm_loadu_ps(t + j));
}
// The last terms of a point, [plein, n), times their coefficients (0 beyond n).
__attribute__((target("avx2"), always_inline)) inline __m256d Reste(const float* t, int plein,
                                                                    int n, __m256d cfin) {
  alignas(16) float r[4] = {0, 0, 0, 0};
  for (int q = 0; plein + q < n; ++q) r[q] = t[plein + q];
  return _mm256_mul_pd(cfin, _mm256_cvtps_pd(_mm_load_ps(r)));
}
__attribute__((target("avx2"))) void ValeursModeleAvx2(const float* termes, const int* points,
                                                       const double* coef, int n, std::size_t k0,
                                                       std::size_t k1, double* valeurs) {
  const int plein = n / 4 * 4;
  // The last lanes' coefficients, those beyond the terms at 0: their products add +0.
  alignas(32) double fin[4] = {0, 0, 0, 0};
  for (int j = plein; j < n; ++j) fin[j - plein] = coef[j];
  const __m256d cfin = _mm256_load_pd(fin);
  const std::size_t pas = static_cast<std::size_t>(n);
  std::size_t k = k0;
  // Four points side by side: four chains of additions in flight.
  for (; k + 4 <= k1; k += 4) {
    const float* t = termes + k * pas;
    __m256d a = _mm256_setzero_pd(), b = a, c = a, d = a;
    for (int j = 0; j < plein; j += 4) {
      const __m256d cj = _mm256_loadu_pd(coef + j);
      a = _mm256_add_pd(a, _mm256_mul_pd(cj, Terme(t, j)));
      b = _mm256_add_pd(b, _mm256_mul_pd(cj, Terme(t + pas, j)));
      c = _mm256_add_pd(c, _mm256_mul_pd(cj, Terme(t + 2 * pas, j)));
      d = _mm256_add_pd(d, _mm256_mul_pd(cj, Terme(t + 3 * pas, j)));
    }
    if (plein < n) {
      a = _mm256_add_pd(a, Reste(t, plein, n, cfin));
      b = _mm256_add_pd(b, Reste(t + pas, plein, n, cfin));
      c = _mm256_add_pd(c, Reste(t + 2 * pas, plein, n, cfin));
      d = _mm256_add_pd(d, Reste(t + 3 * pas, plein, n, cfin));
    }
    valeurs[points[k]] = Lanes(a);
    valeurs[points[k + 1]] = Lanes(b);
    valeurs[points[k + 2]] = Lanes(c);
    valeurs[points[k + 3]] = Lanes(d);
  }
  for (; k < k1; ++k) {
    const float* t = termes + k * pas;
    __m256d a = _mm256_setzero_pd();
    for (int j = 0; j < plein; j += 4)
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_loadu_pd(coef + j), Terme(t, j)));
    if (plein < n) a = _mm256_add_pd(a, Reste(t, plein, n, cfin));
    valeurs[points[k]] = Lanes(a);
  }
}
void ValeursModele(const float* termes, const int* points, const double* coef, int n,
                   std::size_t k0, std::size_t k1, double* valeurs) {
  (ProcesseurAvx2() ? ValeursModeleAvx2 : ValeursModeleBase)(termes, points, coef, n, k0, k1,
                                                             valeurs);
}

// b += t·v over the n terms of one point, element by element (the same bits on either build).
void AjouterTermesBase(double* b, const float* t, double v, int n) {
  for (int i = 0; i < n; ++i) b[i] += t[i] * v;
}
__attribute__((target("avx2"))) void AjouterTermesAvx2(double* b, const float* t, double v, int n) {
  const __m256d v4 = _mm256_set1_pd(v);
  int i = 0;
  for (; i + 4 <= n; i += 4)
    _mm256_storeu_pd(b + i, _mm256_add_pd(_mm256_loadu_pd(b + i),
                                          _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(t + i)), v4)));
  for (; i < n; ++i) b[i] += t[i] * v;
}
void AjouterTermes(double* b, const float* t, double v, int n) {
  (ProcesseurAvx2() ? AjouterTermesAvx2 : AjouterTermesBase)(b, t, v, n);
}

}  // namespace

TBaseModele::TBaseModele(const TJeuZernike& jeu, const TRepere& rep, int nx, int ny)
    : jeu_(jeu), repere_(rep), nx_(nx), ny_(ny) {
  if (rep.Rayon <= 0 || nx < 3 || ny < 3) {
    zones_.assign(static_cast<std::size_t>(nx) * ny, 1);
    return;
  }
  const std::size_t taille = static_cast<std::size_t>(nx) * ny;
  zones_.resize(taille);
  indicesBord_.resize(taille);
  fractionsBord_.resize(taille);
  const double R = rep.Rayon, eps = rep.Obstruction;
  const int nAngles = std::max(256, static_cast<int>(8 * R));
  const double cx = rep.CentreX - 1, cy = rep.CentreY - 1;  // 0-based
  const double marge = 2 / R;  // for central differences at the ring's edges
  const int n = jeu.NbTermes;
  // Bands of rows, each its own task with its own list of points, joined in order: the same
  // points in the same order whatever the threads. The terms are then evaluated straight into
  // their place, band by band.
  constexpr int Bandes = 8;
  struct TBande {
    std::vector<int> Points;
    std::vector<char> Dedans;
    std::array<int, 4> Boite{0, -1, 0, -1};  // of the zones below 3
  };
  std::vector<TBande> bandes(Bandes);
  PourChaque(Bandes, [&](int b) {
    TBande& bande = bandes[static_cast<std::size_t>(b)];
    const int fin = ny * (b + 1) / Bandes;
    // At most the band's ring: its rows across the ring's width and two pixels more.
    const std::size_t largeur = static_cast<std::size_t>(std::min(nx, 2 * static_cast<int>(R) + 6));
    bande.Points.reserve(static_cast<std::size_t>(fin - ny * b / Bandes) * largeur);
    bande.Dedans.reserve(bande.Points.capacity());
    for (int r = ny * b / Bandes; r < fin; ++r) {
      for (int c = 0; c < nx; ++c) {
        const double x = (c - cx) / R, y = (cy - r) / R;
        const double q = std::sqrt(x * x + y * y);
        const std::size_t i = static_cast<std::size_t>(r) * nx + c;
        const bool voisins = r > 0 && r < ny - 1 && c > 0 && c < nx - 1;
        // Far beyond the edge no light is left to move: the gradient stays 0 there.
        zones_[i] = (q <= 1 && q >= eps && voisins) ? 0
                    : q > LoinDuBord                ? 3
                    : (q > 1 || !voisins)           ? 1
                                                    : 2;
        // Each pixel beyond the edges: where its angle (in single precision) falls among the
        // edge's, once for all passes.
        if (zones_[i] == 1 || zones_[i] == 2)
          PlaceAngle(static_cast<float>(std::atan2(y, x)), nAngles, indicesBord_[i],
                     fractionsBord_[i]);
        if (q > 1 + marge || q < eps - marge) continue;
        bande.Points.push_back(static_cast<int>(i));
        bande.Dedans.push_back(q <= 1 && q >= eps);
      }
      // Where the gradients can be other than 0: the box of the zones below 3.
      const std::uint8_t* z = zones_.data() + static_cast<std::size_t>(r) * nx;
      int c0 = 0, c1 = nx - 1;
      while (c0 < nx && z[c0] == 3) ++c0;
      if (c0 == nx) continue;
      while (z[c1] == 3) --c1;
      auto& boite = bande.Boite;
      if (boite[1] < boite[0]) boite = {r, r, c0, c1};
      boite[1] = r, boite[2] = std::min(boite[2], c0), boite[3] = std::max(boite[3], c1);
    }
  });
  std::array<std::size_t, Bandes + 1> debuts{};
  for (int b = 0; b < Bandes; ++b) {
    const TBande& bande = bandes[static_cast<std::size_t>(b)];
    debuts[b + 1] = debuts[b] + bande.Points.size();
    const auto& k = bande.Boite;
    if (k[1] < k[0]) continue;
    if (boite_[1] < boite_[0]) boite_ = k;
    boite_ = {std::min(boite_[0], k[0]), std::max(boite_[1], k[1]), std::min(boite_[2], k[2]),
              std::max(boite_[3], k[3])};
  }
  points_.resize(debuts[Bandes]);
  dansAnneau_.resize(debuts[Bandes]);
  PourChaque(Bandes, [&](int b) {
    const TBande& bande = bandes[static_cast<std::size_t>(b)];
    std::copy(bande.Points.begin(), bande.Points.end(), points_.begin() + debuts[b]);
    std::copy(bande.Dedans.begin(), bande.Dedans.end(), dansAnneau_.begin() + debuts[b]);
  });
  termes_.resize(points_.size() * n);
  PourChaque(Bandes, [&](int b) {
    TValZernike v{};
    for (std::size_t k = debuts[b]; k < debuts[b + 1]; ++k) {
      const int r = points_[k] / nx, c = points_[k] % nx;
      CalculZernikeEtendu(jeu, (cy - r) / R, (c - cx) / R, eps, v);
      std::copy_n(v.begin(), n, termes_.begin() + static_cast<std::ptrdiff_t>(k * n));
    }
  });
  bordExterieur_ = GradientsDesTermes(jeu, eps, R, 1.0, nAngles);
  if (eps > 0) bordInterieur_ = GradientsDesTermes(jeu, eps, R, eps, nAngles);
  // The normal matrix of the whole ring, once: a pass's mask only takes a few pixels off it.
  // Each element summed over the points in their order: the same sums whatever the threads.
  // The points are swept once per group of rows (not once per row), the group's rows of the
  // matrix staying in the cache; groups of about equal share of the triangle.
  gram_.assign(static_cast<std::size_t>(n) * n, 0.0);
  constexpr int Groupes = 4;
  std::array<int, Groupes + 1> premieres{};
  for (int g = 1; g <= Groupes; ++g)
    premieres[g] = static_cast<int>(std::lround(n * std::sqrt(static_cast<double>(g) / Groupes)));
  std::vector<const float*> anneau;
  anneau.reserve(points_.size());
  for (std::size_t k = 0; k < points_.size(); ++k)
    if (dansAnneau_[k]) anneau.push_back(termes_.data() + k * n);
  PourChaque(Groupes, [&](int g) {
    SommerProduits(anneau, premieres[g], premieres[g + 1], n, gram_.data());
  });
}

TFrontModele TBaseModele::Echantillonner(const TCoefZernike& coef) const {
  TFrontModele m;
  m.Valeurs.Allouer(1, ny_, nx_);
  if (repere_.Rayon <= 0 || nx_ < 3 || ny_ < 3) {
    m.GradientColonnes.Allouer(1, ny_, nx_);
    m.GradientLignes.Allouer(1, ny_, nx_);
    return m;
  }
  // Every sample of the gradients is written below.
  m.GradientColonnes.AllouerSansInit(1, ny_, nx_);
  m.GradientLignes.AllouerSansInit(1, ny_, nx_);
  const int n = jeu_.NbTermes;
  auto valeurs = m.Valeurs.Plan(0);
  constexpr int Blocs = 8;
  const std::size_t nPoints = points_.size();
  PourChaque(Blocs, [&](int b) {
    ValeursModele(termes_.data(), points_.data(), coef.data(), n, nPoints * b / Blocs,
                  nPoints * (b + 1) / Blocs, valeurs.data());
  });
  const TBord exterieur = GradientSurCercle(coef, bordExterieur_, n);
  const TBord interieur = GradientSurCercle(coef, bordInterieur_, n);
  auto& gc = m.GradientColonnes;
  auto& gr = m.GradientLignes;
  // Bands of rows, each its own task: every sample is written by one of them. Beyond the box
  // of the zones below 3 the gradients are 0.
  constexpr int Bandes = 8;
  PourChaque(Bandes, [&](int b) {
    const int fin = ny_ * (b + 1) / Bandes;
    for (int r = ny_ * b / Bandes; r < fin; ++r) {
      const bool dansBoite = r >= boite_[0] && r <= boite_[1];
      const int c0 = dansBoite ? boite_[2] : nx_, c1 = dansBoite ? boite_[3] + 1 : nx_;
      std::fill_n(gc.Ligne(r), c0, 0.0);
      std::fill_n(gr.Ligne(r), c0, 0.0);
      std::fill_n(gc.Ligne(r) + c1, nx_ - c1, 0.0);
      std::fill_n(gr.Ligne(r) + c1, nx_ - c1, 0.0);
      for (int c = c0; c < c1; ++c) {
        const std::size_t i = static_cast<std::size_t>(r) * nx_ + c;
        switch (zones_[i]) {
          case 0:
            gc(r, c) = (m.Valeurs(r, c + 1) - m.Valeurs(r, c - 1)) / 2;
            gr(r, c) = (m.Valeurs(r + 1, c) - m.Valeurs(r - 1, c)) / 2;
            break;
          case 1:
            Interpoler(exterieur, indicesBord_[i], fractionsBord_[i], gc(r, c), gr(r, c));
            break;
          case 2:
            Interpoler(interieur, indicesBord_[i], fractionsBord_[i], gc(r, c), gr(r, c));
            break;
          default: gc(r, c) = gr(r, c) = 0;
        }
      }
    }
  });
  PourBandes(
      static_cast<int>(nPoints), Blocs,
      [&](int, int debut, int fin) {
        for (int k = debut; k < fin; ++k)
          if (!dansAnneau_[static_cast<std::size_t>(k)])
            valeurs[static_cast<std::size_t>(points_[static_cast<std::size_t>(k)])] = 0;
      },
      nPoints >= 8192);
  m.Boite = boite_;
  return m;
}

TCoefZernike TBaseModele::Ajuster(const TGrilleReelle& w, const TGrilleEntiere& masque) const {
  // Normal equations: the annular terms are orthogonal over the ring, so they are well
  // conditioned; Cholesky, with the terms the pupil cannot tell apart left at 0.
  const int n = jeu_.NbTermes;
  std::vector<double> g = gram_, b(n, 0.0);
  // The points cut into four fixed blocks, each swept by one task with its own sums, added in
  // block order: the same bits whatever the threads, and each point read once.
  constexpr int Blocs = 4;
  struct TPart {
    TCoefZernike b{};
    std::vector<double> g;  // the products of the points off the mask, when there are some
  };
  std::array<TPart, Blocs> parts;
  const std::size_t nPoints = points_.size();
  PourChaque(Blocs, [&](int bloc) {
    TPart& part = parts[static_cast<std::size_t>(bloc)];
    const std::size_t fin = nPoints * (bloc + 1) / Blocs;
    std::vector<const float*> hors;
    for (std::size_t k = nPoints * bloc / Blocs; k < fin; ++k) {
      if (!dansAnneau_[k]) continue;
      const float* t = termes_.data() + k * n;
      if (masque.Plan(0)[points_[k]] != 1) {
        hors.push_back(t);
        continue;
      }
      AjouterTermes(part.b.data(), t, w.Plan(0)[points_[k]], n);
    }
    if (hors.empty()) return;
    part.g.assign(static_cast<std::size_t>(n) * n, 0.0);
    SommerProduits(hors, 0, n, n, part.g.data());
  });
  for (const TPart& part : parts) {
    for (int i = 0; i < n; ++i) b[i] += part.b[i];
    if (!part.g.empty())  // those points' products come off the normal matrix
      for (std::size_t i = 0; i < g.size(); ++i) g[i] -= part.g[i];
  }
  TCoefZernike coef{};
  std::vector<char> actif(n, 1);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < i; ++k)
      if (actif[k])
        g[static_cast<std::size_t>(i) * n + i] -=
            std::pow(g[static_cast<std::size_t>(i) * n + k], 2);
    const double d = g[static_cast<std::size_t>(i) * n + i];
    if (!(d > 1e-9)) {
      actif[i] = 0;
      continue;
    }
    const double racine = std::sqrt(d);
    g[static_cast<std::size_t>(i) * n + i] = racine;
    for (int j = i + 1; j < n; ++j) {
      double s = g[static_cast<std::size_t>(j) * n + i];
      for (int k = 0; k < i; ++k)
        if (actif[k])
          s -= g[static_cast<std::size_t>(j) * n + k] * g[static_cast<std::size_t>(i) * n + k];
      g[static_cast<std::size_t>(j) * n + i] = s / racine;
    }
  }
  std::vector<double> y(n, 0.0);
  for (int i = 0; i < n; ++i) {
    if (!actif[i]) continue;
    double s = b[i];
    for (int k = 0; k < i; ++k)
      if (actif[k]) s -= g[static_cast<std::size_t>(i) * n + k] * y[k];
    y[i] = s / g[static_cast<std::size_t>(i) * n + i];
  }
  for (int i = n - 1; i >= 0; --i) {
    if (!actif[i]) continue;
    double s = y[i];
    for (int k = i + 1; k < n; ++k)
      if (actif[k]) s -= g[static_cast<std::size_t>(k) * n + i] * coef[k];
    coef[i] = s / g[static_cast<std::size_t>(i) * n + i];
  }
  return coef;
}

TFrontModele EchantillonnerModele(const TCoefZernike& coef, const TJeuZernike& jeu,
                                  const TRepere& rep, int nx, int ny) {
  return TBaseModele(jeu, rep, nx, ny).Echantillonner(coef);
}

namespace {

// One sample moved: the image read where its ray comes from (bilinear), times the Jacobian.
QUELVANE_CORPS double Transporter(const TGrilleReelle& image, const double* gch, const double* gcl,
                                  const double* gcb, const double* grh, const double* grl,
                                  const double* grb, int r, int c, double k) {
  const int ny = image.Lignes(), nx = image.Colonnes();
  const double dc = k * gcl[c], dr = k * grl[c];
  const double x = c + dc, y = r + dr;
  // Compared as doubles first: a wild gradient must not reach an integer conversion.
  if (!(x >= 0 && x < nx - 1 && y >= 0 && y < ny - 1)) return 0;
  const double dcc = k * (gcl[c + 1] - gcl[c - 1]) / 2;
  const double dcr = k * (gcb[c] - gch[c]) / 2;
  const double drc = k * (grl[c + 1] - grl[c - 1]) / 2;
  const double drr = k * (grb[c] - grh[c]) / 2;
  const double jacobien = (1 + dcc) * (1 + drr) - dcr * drc;
  if (!std::isfinite(jacobien)) return 0;
  const int cx = static_cast<int>(x), ry = static_cast<int>(y);
  const double fx = x - cx, fy = y - ry;
  const double* haut = image.Ligne(ry) + cx;
  const double* bas = image.Ligne(ry + 1) + cx;
  const double v = (1 - fx) * (1 - fy) * haut[0] + fx * (1 - fy) * haut[1] +
                   (1 - fx) * fy * bas[0] + fx * fy * bas[1];
  return v * jacobien;
}

// k·(a − b)/2 on four lanes.
__attribute__((target("avx2"), always_inline)) inline __m256d DemiDifference(__m256d k,
                                                                             const double* a,
                                                                             const double* b) {
  return _mm256_div_pd(_mm256_mul_pd(k, _mm256_sub_pd(_mm256_loadu_pd(a), _mm256_loadu_pd(b))),
                       _mm256_set1_pd(2));
}

// p[place[l]] and p[place[l] + 1] of four lanes l.
__attribute__((target("avx2"), always_inline)) inline void Voisins(const double* p,
                                                                   const int* place,
                                                                   __m256d& gauche,
                                                                   __m256d& droite) {
  const __m256d a = _mm256_set_m128d(_mm_loadu_pd(p + place[2]), _mm_loadu_pd(p + place[0]));
  const __m256d b = _mm256_set_m128d(_mm_loadu_pd(p + place[3]), _mm_loadu_pd(p + place[1]));
  gauche = _mm256_unpacklo_pd(a, b);
  droite = _mm256_unpackhi_pd(a, b);
}

// Columns [c0, c1] of row r, four at a time: the same operations in the same order as one by
// one (no fused products).
__attribute__((target("avx2"))) void TransporterLigneAvx2(const TGrilleReelle& image,
                                                          const double* gch, const double* gcl,
                                                          const double* gcb, const double* grh,
                                                          const double* grl, const double* grb,
                                                          int r, int c0, int c1, double k,
                                                          double* cible) {
  const int ny = image.Lignes(), nx = image.Colonnes();
  const __m256d vk = _mm256_set1_pd(k), un = _mm256_set1_pd(1);
  const __m256d zero = _mm256_setzero_pd(), infini = _mm256_set1_pd(HUGE_VAL);
  const __m256d xmax = _mm256_set1_pd(nx - 1), ymax = _mm256_set1_pd(ny - 1);
  const __m256d vr = _mm256_set1_pd(r), pasColonnes = _mm256_set_pd(3, 2, 1, 0);
  const __m256d signe = _mm256_set1_pd(-0.0);
  const double* base = image.Ligne(0);
  int c = c0;
  for (; c + 3 <= c1; c += 4) {
    const __m256d g = _mm256_loadu_pd(gcl + c), h = _mm256_loadu_pd(grl + c);
    const __m256d dc = _mm256_mul_pd(vk, g), dr = _mm256_mul_pd(vk, h);
    const __m256d x = _mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(c), pasColonnes), dc);
    const __m256d y = _mm256_add_pd(vr, dr);
    __m256d dedans =
        _mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_GE_OQ), _mm256_cmp_pd(x, xmax, _CMP_LT_OQ));
    dedans = _mm256_and_pd(dedans, _mm256_cmp_pd(y, zero, _CMP_GE_OQ));
    dedans = _mm256_and_pd(dedans, _mm256_cmp_pd(y, ymax, _CMP_LT_OQ));
    const __m256d dcc = DemiDifference(vk, gcl + c + 1, gcl + c - 1);
    const __m256d dcr = DemiDifference(vk, gcb + c, gch + c);
    const __m256d drc = DemiDifference(vk, grl + c + 1, grl + c - 1);
    const __m256d drr = DemiDifference(vk, grb + c, grh + c);
    const __m256d jacobien = _mm256_sub_pd(
        _mm256_mul_pd(_mm256_add_pd(un, dcc), _mm256_add_pd(un, drr)), _mm256_mul_pd(dcr, drc));
    // Finite: |j| < ∞ (false for NaN).
    dedans =
        _mm256_and_pd(dedans, _mm256_cmp_pd(_mm256_andnot_pd(signe, jacobien), infini, _CMP_LT_OQ));
    if (_mm256_movemask_pd(dedans) == 0) {
      _mm256_storeu_pd(cible + c, zero);
      continue;
    }
    // Lanes outside read samples 0 and 1 of the first two rows (never used).
    const __m256d xs = _mm256_and_pd(x, dedans), ys = _mm256_and_pd(y, dedans);
    const __m128i cx = _mm256_cvttpd_epi32(xs), ry = _mm256_cvttpd_epi32(ys);
    const __m256d fx = _mm256_sub_pd(xs, _mm256_cvtepi32_pd(cx));
    const __m256d fy = _mm256_sub_pd(ys, _mm256_cvtepi32_pd(ry));
    const __m128i i = _mm_add_epi32(_mm_mullo_epi32(ry, _mm_set1_epi32(nx)), cx);
    // Each lane's two neighbours on a row are side by side: one 16-byte load per row and
    // lane, regrouped (gathers are slower than this on some processors).
    alignas(16) int place[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(place), i);
    __m256d h0, h1, b0, b1;
    Voisins(base, place, h0, h1);
    Voisins(base + nx, place, b0, b1);
    const __m256d ufx = _mm256_sub_pd(un, fx), ufy = _mm256_sub_pd(un, fy);
    __m256d v = _mm256_mul_pd(_mm256_mul_pd(ufx, ufy), h0);
    v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(fx, ufy), h1));
    v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(ufx, fy), b0));
    v = _mm256_add_pd(v, _mm256_mul_pd(_mm256_mul_pd(fx, fy), b1));
    _mm256_storeu_pd(cible + c, _mm256_and_pd(_mm256_mul_pd(v, jacobien), dedans));
  }
  for (; c <= c1; ++c) cible[c] = Transporter(image, gch, gcl, gcb, grh, grl, grb, r, c, k);
}

}  // namespace

TGrilleReelle TransporterImage(const TGrilleReelle& image, const TFrontModele& front, double k) {
  const int ny = image.Lignes(), nx = image.Colonnes();
  const TGrilleReelle& gc = front.GradientColonnes;
  const TGrilleReelle& gr = front.GradientLignes;
  if (gc.Lignes() != ny || gc.Colonnes() != nx || nx < 3 || ny < 3) return TGrilleReelle(1, ny, nx);
  // Every sample is written below (0 on the frame's edge and where no ray comes from).
  TGrilleReelle sortie;
  sortie.AllouerSansInit(1, ny, nx);
  // Where the gradient and its neighbours are 0 the sample stays where it is, exactly: only the
  // box around the light is computed, the rest copied.
  int r0 = ny, r1 = -1, c0 = nx, c1 = -1;
  if (front.Boite) {
    const auto& b = *front.Boite;
    if (b[1] >= b[0]) r0 = b[0], r1 = b[1], c0 = b[2], c1 = b[3];
  } else {
    for (int r = 0; r < ny; ++r) {
      const double* a = gc.Ligne(r);
      const double* b = gr.Ligne(r);
      for (int c = 0; c < nx; ++c)
        if (a[c] != 0 || b[c] != 0) {
          r0 = std::min(r0, r), r1 = std::max(r1, r);
          c0 = std::min(c0, c), c1 = std::max(c1, c);
        }
    }
  }
  r0 = std::max(1, r0 - 1), r1 = std::min(ny - 2, r1 + 1);
  c0 = std::max(1, c0 - 1), c1 = std::min(nx - 2, c1 + 1);
  for (int r = 0; r < ny; ++r) {
    double* cible = sortie.Ligne(r);
    if (r == 0 || r == ny - 1) {
      std::fill_n(cible, nx, 0.0);
      continue;
    }
    const double* source = image.Ligne(r);
    cible[0] = cible[nx - 1] = 0;
    if (r < r0 || r > r1 || c1 < c0) {
      std::copy(source + 1, source + nx - 1, cible + 1);
    } else {
      std::copy(source + 1, source + c0, cible + 1);
      std::copy(source + c1 + 1, source + nx - 1, cible + c1 + 1);
    }
  }
  const bool avx2 = ProcesseurAvx2();
  for (int r = r0; r <= r1 && c0 <= c1; ++r) {
    const double *gch = gc.Ligne(r - 1), *gcl = gc.Ligne(r), *gcb = gc.Ligne(r + 1);
    const double *grh = gr.Ligne(r - 1), *grl = gr.Ligne(r), *grb = gr.Ligne(r + 1);
    double* cible = sortie.Ligne(r);
    if (avx2) {
      TransporterLigneAvx2(image, gch, gcl, gcb, grh, grl, grb, r, c0, c1, k, cible);
    } else {
      for (int c = c0; c <= c1; ++c)
        cible[c] = Transporter(image, gch, gcl, gcb, grh, grl, grb, r, c, k);
    }
  }
  return sortie;
}

}  // namespace quelvane
