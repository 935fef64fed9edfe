#include "analysis/poisson_neumann.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <utility>
#include <vector>

#include "core/fft.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

// The support's pixels, with their neighbours inside the support (−1 where none).
struct TSupport {
  int nx = 0, ny = 0;
  std::vector<int> Indices;  // r·nx + c of each unknown
  std::vector<std::array<int, 4>> Voisins;
};

// The rows and columns [r0, r1) × [c0, c1) that hold the code.
struct TBoite {
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  int Largeur() const { return c1 - c0; }
  std::size_t Taille() const { return static_cast<std::size_t>(r1 - r0) * Largeur(); }
};

TBoite Boite(const TGrilleEntiere& m, std::int16_t code) {
  // Each band's box, then their union.
  constexpr int Bandes = 8;
  std::array<TBoite, Bandes> boites;
  PourBandes(
      m.Lignes(), Bandes,
      [&](int k, int debut, int fin) {
        TBoite& b = boites[static_cast<std::size_t>(k)];
        b.r0 = m.Lignes(), b.c0 = m.Colonnes();
        for (int r = debut; r < fin; ++r) {
          const std::int16_t* l = m.Ligne(r);
          int c = 0;
          while (c < m.Colonnes() && l[c] != code) ++c;
          if (c == m.Colonnes()) continue;
          int d = m.Colonnes() - 1;
          while (l[d] != code) --d;
          b.r0 = std::min(b.r0, r), b.r1 = r + 1;
          b.c0 = std::min(b.c0, c), b.c1 = std::max(b.c1, d + 1);
        }
      },
      BalayageAPartager(m.Colonnes(), m.Lignes()));
  TBoite b;
  b.r0 = m.Lignes(), b.c0 = m.Colonnes();
  for (const TBoite& k : boites) {
    if (k.r1 <= k.r0) continue;
    b.r0 = std::min(b.r0, k.r0), b.r1 = std::max(b.r1, k.r1);
    b.c0 = std::min(b.c0, k.c0), b.c1 = std::max(b.c1, k.c1);
  }
  if (b.r1 <= b.r0) b = {};
  return b;
}

// The largest 4-connected region of the code within its box: a Neumann problem is solved
// region by region, and the specks a mask holds beside the pupil (the bright spot behind an
// obstruction, a stray pixel) carry nothing of the wavefront. Runs of each row joined to the
// runs of the row above they share a column with (union–find, the earliest run the root); of
// regions of equal size, the first in raster order.
std::vector<char> PlusGrandeRegion(const TGrilleEntiere& m, std::int16_t code, const TBoite& b) {
  const int w = b.Largeur();
  struct TSegment {
    int Ligne, Debut, Fin;  // box coordinates, [Debut, Fin)
  };
  std::vector<TSegment> segments;
  std::vector<int> parent;
  auto racine = [&](int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  std::size_t debutPrecedente = 0, finPrecedente = 0;
  for (int r = b.r0; r < b.r1; ++r) {
    const std::int16_t* l = m.Ligne(r) + b.c0;
    const std::size_t debutLigne = segments.size();
    std::size_t k = debutPrecedente;
    for (int c = 0; c < w;) {
      if (l[c] != code) {
        ++c;
        continue;
      }
      const int debut = c;
      while (c < w && l[c] == code) ++c;
      const int i = static_cast<int>(segments.size());
      segments.push_back({r - b.r0, debut, c});
      parent.push_back(i);
      while (k < finPrecedente && segments[k].Fin <= debut) ++k;
      for (std::size_t j = k; j < finPrecedente && segments[j].Debut < c; ++j) {
        const int x = racine(i), y = racine(static_cast<int>(j));
        if (x != y) parent[std::max(x, y)] = std::min(x, y);
      }
    }
    debutPrecedente = debutLigne;
    finPrecedente = segments.size();
  }
  std::vector<long> taille(segments.size(), 0);
  for (std::size_t i = 0; i < segments.size(); ++i)
    taille[static_cast<std::size_t>(racine(static_cast<int>(i)))] +=
        segments[i].Fin - segments[i].Debut;
  int meilleure = -1;
  for (std::size_t i = 0; i < segments.size(); ++i)
    if (meilleure < 0 || taille[i] > taille[static_cast<std::size_t>(meilleure)])
      meilleure = static_cast<int>(i);
  std::vector<char> garde(b.Taille(), 0);
  for (std::size_t i = 0; i < segments.size(); ++i)
    if (racine(static_cast<int>(i)) == meilleure)
      std::fill_n(
          garde.begin() + static_cast<std::ptrdiff_t>(segments[i].Ligne) * w + segments[i].Debut,
          segments[i].Fin - segments[i].Debut, 1);
  return garde;
}

TSupport Construire(const TGrilleEntiere& m, std::int16_t code) {
  TSupport s;
  s.nx = m.Colonnes();
  s.ny = m.Lignes();
  const TBoite b = Boite(m, code);
  const std::vector<char> garde = PlusGrandeRegion(m, code, b);
  const int w = b.Largeur();
  const int h = b.r1 - b.r0;
  const int fils = b.Taille() >= 16384 ? NombreFils() : 1;
  // Unknowns numbered in raster order: each band of rows counts its own, then numbers them
  // from the total of the bands above.
  constexpr int Bandes = 8;
  std::array<int, Bandes + 1> premiers{};
  PourChaque(
      Bandes,
      [&](int k) {
        const auto debut = garde.begin() + static_cast<std::ptrdiff_t>(h * k / Bandes) * w;
        const auto fin = garde.begin() + static_cast<std::ptrdiff_t>(h * (k + 1) / Bandes) * w;
        premiers[static_cast<std::size_t>(k) + 1] = static_cast<int>(std::count(debut, fin, 1));
      },
      fils);
  for (int k = 0; k < Bandes; ++k) premiers[k + 1] += premiers[k];
  std::vector<int> numero(b.Taille(), -1);
  s.Indices.resize(static_cast<std::size_t>(premiers[Bandes]));
  PourChaque(
      Bandes,
      [&](int k) {
        int n = premiers[static_cast<std::size_t>(k)];
        for (int r = h * k / Bandes; r < h * (k + 1) / Bandes; ++r)
          for (int c = 0; c < w; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * w + c;
            if (!garde[i]) continue;
            numero[i] = n;
            s.Indices[static_cast<std::size_t>(n++)] = (r + b.r0) * s.nx + (c + b.c0);
          }
      },
      fils);
  s.Voisins.resize(s.Indices.size());
  // Bands of the box on the threads: each unknown's neighbours are its own entry.
  PourChaque(
      8,
      [&](int k) {
        for (int r = h * k / 8; r < h * (k + 1) / 8; ++r) {
          const int* l = numero.data() + static_cast<std::size_t>(r) * w;
          for (int c = 0; c < w; ++c) {
            if (l[c] < 0) continue;
            s.Voisins[static_cast<std::size_t>(l[c])] = {
                c > 0 ? l[c - 1] : -1, c + 1 < w ? l[c + 1] : -1, r > 0 ? l[c - w] : -1,
                r + 1 < h ? l[c + w] : -1};
          }
        }
      },
      fils);
  return s;
}

// The unknowns cut into a fixed number of blocks, whatever the threads: each block's share
// of a sum is summed alone, and the shares are added in block order, so the sums (and the
// solution) are the same to the last bit on any number of threads.
constexpr int Blocs = 8;

class TBlocs {
 public:
  explicit TBlocs(std::size_t n) : n_(n) {}
  std::size_t Debut(int k) const { return n_ * static_cast<std::size_t>(k) / Blocs; }
  std::size_t Fin(int k) const { return Debut(k + 1); }
  // f(debut, fin) on every block; its returned shares added in order. Small vectors stay on
  // one thread (same blocks, same sums).
  template <class F>
  double Sommer(F&& f) const {
    std::array<double, Blocs> parts{};
    PourChaque(
        Blocs, [&](int k) { parts[static_cast<std::size_t>(k)] = f(Debut(k), Fin(k)); },
        n_ >= 8192 ? NombreFils() : 1);
    double somme = 0;
    for (double p : parts) somme += p;
    return somme;
  }

 private:
  std::size_t n_;
};

// Σ a·b over [debut, fin), four running sums.
double Scalaire(const double* a, const double* b, std::size_t debut, std::size_t fin) {
  double s[4] = {0, 0, 0, 0};
  std::size_t i = debut;
  for (; i + 4 <= fin; i += 4)
    for (int k = 0; k < 4; ++k) s[k] += a[i + k] * b[i + k];
  for (; i < fin; ++i) s[0] += a[i] * b[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

double Somme(const double* a, std::size_t debut, std::size_t fin) {
  double s = 0;
  for (std::size_t i = debut; i < fin; ++i) s += a[i];
  return s;
}

// The solver's vectors: every element is written before it is read, on the threads.
using TVecteur = std::vector<double, TAllocateurGrille<double>>;

void RetirerMoyenne(TVecteur& x, const TBlocs& blocs) {
  if (x.empty()) return;
  const double m = blocs.Sommer([&](std::size_t d, std::size_t f) {
    return Somme(x.data(), d, f);
  }) / static_cast<double>(x.size());
  blocs.Sommer([&](std::size_t d, std::size_t f) {
    for (std::size_t i = d; i < f; ++i) x[i] -= m;
    return 0.0;
  });
}

// The whole periodic grid's inverse Laplacian, whose eigenvalues for the five-point stencil
// are 4 − 2cos(2πk/N) − 2cos(2πl/N): one filter per grid side, built once.
std::shared_ptr<const TFiltreFrequentiel> InverseLaplacien(int n) {
  static std::mutex verrou;
  static std::map<int, std::shared_ptr<const TFiltreFrequentiel>> filtres;
  const std::lock_guard<std::mutex> garde(verrou);
  auto& f = filtres[n];
  if (f) return f;
  // The eigenvalue is a sum of one term per axis: n cosines, not n².
  std::vector<double> axe(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) axe[k] = 2 - 2 * std::cos(2 * std::numbers::pi * (k - n / 2) / n);
  std::vector<double> inverses(static_cast<std::size_t>(n) * n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double l = axe[c] + axe[r];
      inverses[static_cast<std::size_t>(r) * n + c] = l > 1e-12 ? 1 / l : 0.0;
    }
  f = std::make_shared<const TFiltreFrequentiel>(n, inverses);
  return f;
}

// z := (−Δ periodic)⁻¹ r on the support. Only the support's rows hold anything, and only its
// columns are read back.
class TPreconditionneur {
 public:
  explicit TPreconditionneur(const TSupport& s)
      : filtre_(InverseLaplacien(TailleFFT(s.ny, s.nx))), n_(filtre_->Cote()) {
    r0_ = c0_ = n_;
    places_.resize(s.Indices.size());
    // Blocks of unknowns on the threads, each with its own box, then their union.
    constexpr int Blocs = 8;
    std::array<std::array<int, 4>, Blocs> boites;
    PourBandes(
        static_cast<int>(s.Indices.size()), Blocs,
        [&](int k, int debut, int fin) {
          std::array<int, 4> b{n_, 0, n_, 0};
          for (int i = debut; i < fin; ++i) {
            const int r = s.Indices[static_cast<std::size_t>(i)] / s.nx;
            const int c = s.Indices[static_cast<std::size_t>(i)] - r * s.nx;
            places_[static_cast<std::size_t>(i)] = static_cast<std::size_t>(r) * n_ + c;
            b = {std::min(b[0], r), std::max(b[1], r + 1), std::min(b[2], c),
                 std::max(b[3], c + 1)};
          }
          boites[static_cast<std::size_t>(k)] = b;
        },
        s.Indices.size() >= 8192);
    for (const auto& b : boites)
      r0_ = std::min(r0_, b[0]), r1_ = std::max(r1_, b[1]), c0_ = std::min(c0_, b[2]),
      c1_ = std::max(c1_, b[3]);
  }
  // A solve's own grids: only the support's samples are ever written into the input. Several
  // solves may share the preconditioner, each with its grids.
  struct TGrilles {
    TFiltreFrequentiel::TPlan Entree, Sortie;
    TFiltreFrequentiel::TTravail Travail;
  };
  TGrilles Grilles() const {
    const std::size_t taille = static_cast<std::size_t>(n_) * n_;
    // The output is written before it is read: left as it comes.
    TGrilles g;
    g.Entree.resize(taille);
    EffacerMemoireGrille(g.Entree.data(), taille * sizeof(float));
    g.Sortie.resize(taille);
    g.Travail = filtre_->Travail();
    return g;
  }
  // z := M r; returns r·z.
  double Appliquer(const TVecteur& r, TVecteur& z, TGrilles& g, const TBlocs& blocs) const {
    blocs.Sommer([&](std::size_t d, std::size_t f) {
      for (std::size_t i = d; i < f; ++i) g.Entree[places_[i]] = static_cast<float>(r[i]);
      return 0.0;
    });
    filtre_->Appliquer(g.Entree.data(), g.Sortie.data(), r0_, r1_, c0_, c1_, g.Travail);
    const double somme = blocs.Sommer([&](std::size_t d, std::size_t f) {
      double s = 0;
      for (std::size_t i = d; i < f; ++i) s += z[i] = g.Sortie[places_[i]];
      return s;
    });
    const double m = somme / static_cast<double>(z.size());
    return blocs.Sommer([&](std::size_t d, std::size_t f) {
      for (std::size_t i = d; i < f; ++i) z[i] -= m;
      return Scalaire(r.data(), z.data(), d, f);
    });
  }

 private:
  std::shared_ptr<const TFiltreFrequentiel> filtre_;
  int n_;
  int r0_ = 0, r1_ = 0, c0_ = 0, c1_ = 0;  // the support's rows and columns
  std::vector<std::size_t> places_;        // where each unknown lies in the transform's grid
};

}  // namespace

struct TPoissonNeumann::TDonnees {
  TGrilleEntiere Masque;
  std::int16_t Code = 1;
  TSupport Support;
  std::unique_ptr<TPreconditionneur> Preconditionneur;
};

TPoissonNeumann::TPoissonNeumann(const TGrilleEntiere& masque, std::int16_t code)
    : d_(std::make_unique<TDonnees>()) {
  d_->Masque = masque;
  d_->Code = code;
  d_->Support = Construire(masque, code);
  if (d_->Support.Indices.size() >= 4)
    d_->Preconditionneur = std::make_unique<TPreconditionneur>(d_->Support);
}

TPoissonNeumann::~TPoissonNeumann() = default;

bool TPoissonNeumann::PourMasque(const TGrilleEntiere& masque) const {
  if (masque.Lignes() != d_->Masque.Lignes() || masque.Colonnes() != d_->Masque.Colonnes())
    return false;
  const auto a = masque.Plan(0);
  const auto b = std::as_const(d_->Masque).Plan(0);
  return std::equal(a.begin(), a.end(), b.begin());
}

TSolutionPoisson TPoissonNeumann::Resoudre(const TGrilleReelle& signal, int iterationsMax,
                                           double tolerance,
                                           const std::function<void()>& apresIteration) const {
  TSolutionPoisson sol;
  const TSupport& s = d_->Support;
  sol.W.Allouer(1, s.ny, s.nx);
  const std::size_t n = s.Indices.size();
  if (n < 4) return sol;
  // −L W = −S: the five-point Laplacian of W in pixels is S.
  const TBlocs blocs(n);
  TVecteur b(n), x(n), r(n), z(n), p(n), q(n);
  const auto source = signal.Plan(0);
  blocs.Sommer([&](std::size_t d, std::size_t f) {
    for (std::size_t i = d; i < f; ++i) b[i] = -source[static_cast<std::size_t>(s.Indices[i])];
    std::fill(x.begin() + d, x.begin() + f, 0.0);
    return 0.0;
  });
  RetirerMoyenne(b, blocs);
  const double nb = std::sqrt(blocs.Sommer([&](std::size_t d, std::size_t f) {
    std::copy(b.begin() + d, b.begin() + f, r.begin() + d);
    return Scalaire(b.data(), b.data(), d, f);
  }));
  if (nb == 0) return sol;
  const TPreconditionneur& m = *d_->Preconditionneur;
  TPreconditionneur::TGrilles grille = m.Grilles();
  double rz = m.Appliquer(r, z, grille, blocs);
  blocs.Sommer([&](std::size_t d, std::size_t f) {
    std::copy(z.begin() + d, z.begin() + f, p.begin() + d);
    return 0.0;
  });
  for (int k = 1; k <= iterationsMax; ++k) {
    // q := −L p, and p·q.
    const double pq = blocs.Sommer([&](std::size_t d, std::size_t f) {
      for (std::size_t i = d; i < f; ++i) {
        double v = 0;
        for (int j : s.Voisins[i])
          if (j >= 0) v += p[i] - p[j];
        q[i] = v;
      }
      return Scalaire(p.data(), q.data(), d, f);
    });
    if (!(pq > 0)) break;
    const double alpha = rz / pq;
    const double rr = blocs.Sommer([&](std::size_t d, std::size_t f) {
      for (std::size_t i = d; i < f; ++i) x[i] += alpha * p[i], r[i] -= alpha * q[i];
      return Scalaire(r.data(), r.data(), d, f);
    });
    sol.Iterations = k;
    sol.ResiduRelatif = std::sqrt(rr) / nb;
    if (apresIteration) apresIteration();
    if (sol.ResiduRelatif < tolerance) break;
    const double rz2 = m.Appliquer(r, z, grille, blocs);
    const double beta = rz2 / rz;
    rz = rz2;
    blocs.Sommer([&](std::size_t d, std::size_t f) {
      for (std::size_t i = d; i < f; ++i) p[i] = z[i] + beta * p[i];
      return 0.0;
    });
  }
  RetirerMoyenne(x, blocs);
  const auto w = sol.W.Plan(0);
  blocs.Sommer([&](std::size_t d, std::size_t f) {
    for (std::size_t i = d; i < f; ++i) w[static_cast<std::size_t>(s.Indices[i])] = x[i];
    return 0.0;
  });
  return sol;
}

TSolutionPoisson ResoudrePoissonNeumann(const TGrilleReelle& signal, const TGrilleEntiere& masque,
                                        std::int16_t code, int iterationsMax, double tolerance,
                                        const std::function<void()>& apresIteration) {
  TPoissonNeumann solveur(masque, code);
  return solveur.Resoudre(signal, iterationsMax, tolerance, apresIteration);
}

}  // namespace quelvane
