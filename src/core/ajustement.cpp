#include "core/ajustement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/mathematiques.h"
#include "core/multiversion.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

// The historical error procedure: the message is dropped.
void ErreurSvd(const char*) {}

}  // namespace

void svdcmp(std::vector<double>& av, int m, int n, std::vector<double>& wv,
            std::vector<double>& vv) {
  if (m <= 0 || n <= 0) return;
  wv.assign(n, 0.0);
  vv.assign(static_cast<std::size_t>(n) * n, 0.0);
  // 1-based accessors, as the algorithm is usually written.
  auto a = [&](int i, int j) -> double& {
    return av[static_cast<std::size_t>(i - 1) * n + (j - 1)];
  };
  auto v = [&](int i, int j) -> double& {
    return vv[static_cast<std::size_t>(i - 1) * n + (j - 1)];
  };
  auto w = [&](int i) -> double& { return wv[i - 1]; };
  std::vector<double> rv1v(n + 1, 0.0);
  auto rv1 = [&](int i) -> double& { return rv1v[i - 1]; };

  int l = 1, nm = 0;
  double g = 0, scale = 0, anorm = 0, s = 0, f = 0, h = 0, c = 0, x = 0, y = 0, z = 0;
  for (int i = 1; i <= n; ++i) {
    l = i + 1;
    rv1(i) = scale * g;
    g = s = scale = 0;
    if (i <= m) {
      for (int k = i; k <= m; ++k) scale += std::fabs(a(k, i));
      if (scale != 0) {
        for (int k = i; k <= m; ++k) {
          a(k, i) /= scale;
          s += a(k, i) * a(k, i);
        }
        f = a(i, i);
        g = -Signe(std::sqrt(s), f);
        h = f * g - s;
        a(i, i) = f - g;
        for (int j = l; j <= n; ++j) {
          s = 0;
          for (int k = i; k <= m; ++k) s += a(k, i) * a(k, j);
          f = s / h;
          for (int k = i; k <= m; ++k) a(k, j) += f * a(k, i);
        }
        for (int k = i; k <= m; ++k) a(k, i) *= scale;
      }
    }
    w(i) = scale * g;
    g = s = scale = 0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; ++k) scale += std::fabs(a(i, k));
      if (scale != 0) {
        for (int k = l; k <= n; ++k) {
          a(i, k) /= scale;
          s += a(i, k) * a(i, k);
        }
        f = a(i, l);
        g = -Signe(std::sqrt(s), f);
        h = f * g - s;
        a(i, l) = f - g;
        for (int k = l; k <= n; ++k) rv1(k) = a(i, k) / h;
        for (int j = l; j <= m; ++j) {
          s = 0;
          for (int k = l; k <= n; ++k) s += a(j, k) * a(i, k);
          for (int k = l; k <= n; ++k) a(j, k) += s * rv1(k);
        }
        for (int k = l; k <= n; ++k) a(i, k) *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(w(i)) + std::fabs(rv1(i)));
  }
  for (int i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0) {
        for (int j = l; j <= n; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
        for (int j = l; j <= n; ++j) {
          s = 0;
          for (int k = l; k <= n; ++k) s += a(i, k) * v(k, j);
          for (int k = l; k <= n; ++k) v(k, j) += s * v(k, i);
        }
      }
      for (int j = l; j <= n; ++j) v(i, j) = v(j, i) = 0;
    }
    v(i, i) = 1;
    g = rv1(i);
    l = i;
  }
  for (int i = std::min(m, n); i >= 1; --i) {
    l = i + 1;
    g = w(i);
    for (int j = l; j <= n; ++j) a(i, j) = 0;
    if (g != 0) {
      g = 1 / g;
      for (int j = l; j <= n; ++j) {
        s = 0;
        for (int k = l; k <= m; ++k) s += a(k, i) * a(k, j);
        f = (s / a(i, i)) * g;
        for (int k = i; k <= m; ++k) a(k, j) += f * a(k, i);
      }
      for (int j = i; j <= m; ++j) a(j, i) *= g;
    } else {
      for (int j = i; j <= m; ++j) a(j, i) = 0;
    }
    ++a(i, i);
  }
  for (int k = n; k >= 1; --k) {
    for (int its = 1; its <= 30; ++its) {
      bool annuler = true;
      for (l = k; l >= 1; --l) {
        nm = l - 1;
        if (std::fabs(rv1(l)) + anorm == anorm) {
          annuler = false;
          break;
        }
        if (std::fabs(w(nm)) + anorm == anorm) break;
      }
      if (annuler) {
        c = 0;
        s = 1;
        for (int i = l; i <= k; ++i) {
          f = s * rv1(i);
          rv1(i) = c * rv1(i);
          if (std::fabs(f) + anorm == anorm) break;
          g = w(i);
          h = Pythagore(f, g);
          w(i) = h;
          h = 1 / h;
          c = g * h;
          s = -f * h;
          for (int j = 1; j <= m; ++j) {
            y = a(j, nm);
            z = a(j, i);
            a(j, nm) = y * c + z * s;
            a(j, i) = z * c - y * s;
          }
        }
      }
      z = w(k);
      if (l == k) {
        if (z < 0) {
          w(k) = -z;
          for (int j = 1; j <= n; ++j) v(j, k) = -v(j, k);
        }
        break;
      }
      if (its == 30) ErreurSvd("no convergence in 30 svdcmp iterations");
      x = w(l);
      nm = k - 1;
      y = w(nm);
      g = rv1(nm);
      h = rv1(k);
      f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2 * h * y);
      g = Pythagore(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + Signe(g, f))) - h)) / x;
      c = s = 1;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1(i);
        y = w(i);
        h = s * g;
        g = c * g;
        z = Pythagore(f, h);
        rv1(j) = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        for (int jj = 1; jj <= n; ++jj) {
          x = v(jj, j);
          z = v(jj, i);
          v(jj, j) = x * c + z * s;
          v(jj, i) = z * c - x * s;
        }
        z = Pythagore(f, h);
        w(j) = z;
        if (z != 0) {
          z = 1 / z;
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        for (int jj = 1; jj <= m; ++jj) {
          y = a(jj, j);
          z = a(jj, i);
          a(jj, j) = y * c + z * s;
          a(jj, i) = z * c - y * s;
        }
      }
      rv1(l) = 0;
      rv1(k) = f;
      w(k) = x;
    }
  }
}

namespace {

// Folds `lignes` rows (row-major, nc = P + 1 columns) into the triangle t (row-major P × nc).
QUELVANE_CORPS void CorpsReduction(double* __restrict b, double* __restrict t_,
                                   double* __restrict s, int lignes, int p_, int nc) {
  // Rows stay row-major so that every sweep runs across the columns k > j: the products and
  // updates then vectorise without reordering any sum over the samples.
  for (int j = 0; j < p_; ++j) {
    double normeBloc = 0;
    for (int i = 0; i < lignes; ++i) normeBloc += b[i * nc + j] * b[i * nc + j];
    if (normeBloc == 0) continue;  // nothing left to fold into row j
    double* __restrict tj = t_ + static_cast<std::size_t>(j) * nc;
    const double diag = tj[j];
    const double norme = std::sqrt(diag * diag + normeBloc);
    const double alpha = diag >= 0 ? -norme : norme;
    // Reflector v = (diag − alpha, block column j), H = I − 2vvᵀ/(vᵀv).
    const double v0 = diag - alpha;
    const double vtv = v0 * v0 + normeBloc;
    for (int k = j + 1; k < nc; ++k) s[k] = v0 * tj[k];
    for (int i = 0; i < lignes; ++i) {
      const double* ligne = b + i * nc;
      const double vi = ligne[j];
      for (int k = j + 1; k < nc; ++k) s[k] += vi * ligne[k];
    }
    for (int k = j + 1; k < nc; ++k) {
      s[k] *= 2 / vtv;
      tj[k] -= s[k] * v0;
    }
    for (int i = 0; i < lignes; ++i) {
      double* ligne = b + i * nc;
      const double vi = ligne[j];
      for (int k = j + 1; k < nc; ++k) ligne[k] -= s[k] * vi;
    }
    tj[j] = alpha;
  }
}

// Streaming Householder QR of [A | b]: samples arrive in blocks of rows that are folded
// into the P×(P+1) triangle already reduced, so the design matrix is never stored whole
// and the work stays in cache. The triangle R and Qᵀb have the singular values and the
// least-squares solution of A itself.
class TReductionQR {
 public:
  // P terms and `seconds` right-hand sides.
  explicit TReductionQR(int p, int seconds = 1)
      : p_(p), colonnes_(p + seconds), t_(static_cast<std::size_t>(p) * (p + seconds), 0.0) {
    bloc_.reserve(static_cast<std::size_t>(TailleBloc) * colonnes_);
  }

  // Row of P values then the data values.
  double* NouvelleLigne() {
    bloc_.resize(bloc_.size() + colonnes_);
    double* l = bloc_.data() + bloc_.size() - colonnes_;
    if (bloc_.size() == static_cast<std::size_t>(TailleBloc) * colonnes_) pleine_ = true;
    return l;
  }
  bool BlocPlein() const { return pleine_; }

  void Reduire() {
    const int lignes = static_cast<int>(bloc_.size() / colonnes_);
    if (lignes > 0) ReduireBloc(lignes);
    bloc_.clear();
    pleine_ = false;
  }

  // Upper triangle (row-major P×P) and Qᵀb.
  double T(int i, int j) const { return t_[static_cast<std::size_t>(i) * colonnes_ + j]; }

  // The triangle of another share of the same problem's samples folded in: [A₁; A₂] and
  // [R₁; R₂] have the same least-squares solution.
  void Absorber(const TReductionQR& autre) {
    Reduire();
    for (int i = 0; i < p_; ++i)
      std::copy_n(autre.t_.data() + static_cast<std::size_t>(i) * colonnes_, colonnes_,
                  NouvelleLigne());
    Reduire();
  }

  static constexpr int TailleBloc = 128;

 private:
  void ReduireBloc(int lignes);

  int p_;
  int colonnes_;
  std::vector<double> t_;  // row-major P×(P+1)
  std::vector<double> bloc_;
  std::vector<double> sommes_;
  bool pleine_ = false;
};

QUELVANE_VARIANTE_AVX2 void ReductionAvx2(double* b, double* t, double* s, int lignes, int p,
                                          int nc) {
  CorpsReduction(b, t, s, lignes, p, nc);
}
void ReductionBase(double* b, double* t, double* s, int lignes, int p, int nc) {
  CorpsReduction(b, t, s, lignes, p, nc);
}

void TReductionQR::ReduireBloc(int lignes) {
  static const auto reduction = ProcesseurAvx2() ? ReductionAvx2 : ReductionBase;
  sommes_.assign(colonnes_, 0.0);
  reduction(bloc_.data(), t_.data(), sommes_.data(), lignes, p_, colonnes_);
}

}  // namespace

TTermesEchantillonnes::TTermesEchantillonnes(const TPupille& p, const TJeuZernike& jeu)
    : nx_(p.NX),
      ny_(p.NY),
      nbTermes_(jeu.NbTermes),
      type_(jeu.Type),
      obstruction_(p.Obstruction),
      axeX_(p.AxeX),
      axeY_(p.AxeY),
      masque_(p.Masque) {
  if (p.Donnees.Vide() || axeX_.size() < static_cast<std::size_t>(nx_) ||
      axeY_.size() < static_cast<std::size_t>(ny_))
    return;
  // Bands of rows on the threads: each finds its samples, then evaluates their terms straight
  // into their place after the bands above; the same samples in the same order whatever the
  // threads.
  constexpr int Bandes = 8;
  std::array<std::vector<int>, Bandes> places;
  PourChaque(Bandes, [&](int b) {
    const int fin = ny_ * (b + 1) / Bandes;
    for (int r = ny_ * b / Bandes; r < fin; ++r)
      for (int c = 0; c < nx_; ++c)
        if (p.M(r, c) == 1 && DansAnneau(jeu, axeY_[r], axeX_[c], obstruction_))
          places[b].push_back(r * nx_ + c);
  });
  std::array<std::size_t, Bandes + 1> debuts{};
  for (int b = 0; b < Bandes; ++b) debuts[b + 1] = debuts[b] + places[b].size();
  places_.resize(debuts[Bandes]);
  valeurs_.resize(debuts[Bandes] * nbTermes_);
  PourChaque(Bandes, [&](int b) {
    TValZernike v{};
    for (std::size_t k = 0; k < places[b].size(); ++k) {
      const int place = places[b][k];
      CalculZernikeEtendu(jeu, axeY_[place / nx_], axeX_[place % nx_], obstruction_, v);
      places_[debuts[b] + k] = place;
      std::copy_n(v.begin(), nbTermes_, valeurs_.begin() + (debuts[b] + k) * nbTermes_);
    }
  });
}

bool TTermesEchantillonnes::Conviennent(const TPupille& p, const TJeuZernike& jeu) const {
  if (p.NX != nx_ || p.NY != ny_ || jeu.NbTermes != nbTermes_ || jeu.Type != type_ ||
      p.Obstruction != obstruction_ || p.AxeX != axeX_ || p.AxeY != axeY_)
    return false;
  if (p.Masque.Lignes() != masque_.Lignes() || p.Masque.Colonnes() != masque_.Colonnes())
    return false;
  const auto a = p.Masque.Plan(0);
  const auto b = masque_.Plan(0);
  return std::equal(a.begin(), a.end(), b.begin());
}

void AjusterZernike(TPupille& pupille, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes) {
  AjusterZernike(std::vector<TPupille*>{&pupille}, jeu, termes);
}

void AjusterZernike(const std::vector<TPupille*>& fronts, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes) {
  if (fronts.empty()) return;
  for (TPupille* f : fronts) RazCoefficients(f->Coefficients);
  TPupille& pupille = *fronts.front();
  std::vector<int> choisis;
  for (int j = 0; j < jeu.NbTermes; ++j)
    if (pupille.Selection[j]) choisis.push_back(j);
  const int p = static_cast<int>(choisis.size());
  const int k = static_cast<int>(fronts.size());
  if (p == 0 || pupille.Donnees.Vide() ||
      pupille.AxeX.size() < static_cast<std::size_t>(pupille.NX) ||
      pupille.AxeY.size() < static_cast<std::size_t>(pupille.NY))
    return;
  if (termes && !termes->Conviennent(pupille, jeu)) termes = nullptr;

  // Fixed shares of the samples, each reduced on its own thread, their triangles then folded
  // in order: the same bits whatever the threads.
  constexpr int Parts = 4;
  std::vector<TReductionQR> qrs(Parts, TReductionQR(p, k));
  std::array<long, Parts> comptes{};
  PourChaque(Parts, [&](int part) {
    TReductionQR& qr = qrs[static_cast<std::size_t>(part)];
    long& m = comptes[static_cast<std::size_t>(part)];
    auto ajouter = [&](int place, const double* valeurs) {
      double* ligne = qr.NouvelleLigne();
      for (int i = 0; i < p; ++i) ligne[i] = valeurs[choisis[i]];
      for (int s = 0; s < k; ++s) ligne[p + s] = fronts[s]->Donnees.Plan(0)[place];
      ++m;
      if (qr.BlocPlein()) qr.Reduire();
    };
    if (termes) {
      const std::size_t n = termes->Nombre();
      for (std::size_t i = n * part / Parts; i < n * (part + 1) / Parts; ++i)
        ajouter(termes->Place(i), termes->Valeurs(i));
    } else {
      TValZernike valeurs{};
      for (int r = pupille.NY * part / Parts; r < pupille.NY * (part + 1) / Parts; ++r)
        for (int c = 0; c < pupille.NX; ++c) {
          if (pupille.M(r, c) != 1) continue;
          if (!CalculZernike(jeu, pupille.AxeY[r], pupille.AxeX[c], pupille.Obstruction, valeurs))
            continue;
          ajouter(r * pupille.NX + c, valeurs.data());
        }
    }
    qr.Reduire();
  });
  TReductionQR& qr = qrs.front();
  for (int part = 1; part < Parts; ++part) qr.Absorber(qrs[static_cast<std::size_t>(part)]);
  long m = 0;
  for (long c : comptes) m += c;
  if (m == 0) return;

  std::vector<double> u(static_cast<std::size_t>(p) * p), w, v;
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) u[static_cast<std::size_t>(i) * p + j] = j >= i ? qr.T(i, j) : 0.0;
  svdcmp(u, p, p, w, v);

  // A rank-deficient pupil (fewer samples than terms) leaves singular values at rounding
  // level; dividing by them would give enormous coefficients, so they count as zero.
  const double wmax = w.empty() ? 0.0 : *std::max_element(w.begin(), w.end());
  const double plancher = wmax * 1e-13;
  for (int s = 0; s < k; ++s) {
    std::vector<double> qtb(p);
    for (int i = 0; i < p; ++i) qtb[i] = qr.T(i, p + s);
    std::vector<double> projection(p, 0.0);
    for (int i = 0; i < p; ++i) {
      if (w[i] == 0 || w[i] <= plancher) continue;
      double somme = 0;
      for (int j = 0; j < p; ++j) somme += u[static_cast<std::size_t>(j) * p + i] * qtb[j];
      projection[i] = somme / w[i];
    }
    for (int j = 0; j < p; ++j) {
      double x = 0;
      for (int i = 0; i < p; ++i) x += v[static_cast<std::size_t>(j) * p + i] * projection[i];
      fronts[s]->Coefficients[choisis[j]] = x;
    }
  }
}

void AjusterZernike(TPupille& pupille) { AjusterZernike(pupille, JeuZernike()); }

}  // namespace quelvane
