#include "core/fonctionxy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/fft.h"
#include "core/mathematiques.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

// Two-operand operations read the other field over the receiver's size; a smaller one
// would read outside its grid.
void ExigerTaille(const TFctXY& champ, const TFctXY& autre) {
  if (autre.NX < champ.NX || autre.NY < champ.NY || autre.Donnees.Vide() != champ.Donnees.Vide())
    throw std::length_error("champ d'opérande plus petit que le champ receveur");
}

void PreparerMemeTaille(TFctXY& champ, const TFctXY& source) {
  if (champ.NX != source.NX || champ.NY != source.NY || champ.Donnees.Vide()) {
    champ.Complexe = 0;
    champ.Allouer(source.NX, source.NY);
  }
}

}  // namespace

void TFctXY::Allouer(int nx, int ny) {
  NX = std::max(nx, 0);
  NY = std::max(ny, 0);
  AxeX.assign(NX, 0.0);
  AxeY.assign(NY, 0.0);
  Masque.Allouer(1, NY, NX);
  Donnees.Allouer(Complexe == 1 ? 2 : 1, NY, NX);
  RayonPhysique = PasX = PasY = Zoom = Contraste = 1.0;
  MasqueVisible = 0;
}

void TFctXY::Liberer() {
  Donnees.Liberer();
  Masque.Liberer();
  AxeX.clear();
  AxeY.clear();
}

void TFctXY::Copier(const TFctXY& s) {
  if (this == &s) return;
  // A complex source keeps both planes: one plane under Complexe = 1 would break the field.
  Donnees = s.Donnees;
  Masque = s.Masque;
  AxeX = s.AxeX;
  AxeY = s.AxeY;
  NX = s.NX;
  NY = s.NY;
  Complexe = s.Complexe;
  NbEffectif = s.NbEffectif;
  Mini = s.Mini;
  Maxi = s.Maxi;
  Moyenne = s.Moyenne;
  Etendue = s.Etendue;
  EcartType = s.EcartType;
  RayonPhysique = s.RayonPhysique;
  Seuil = s.Seuil;
  SeuilBas = s.SeuilBas;
  SeuilHaut = s.SeuilHaut;
  Contraste = s.Contraste;
  Palette = s.Palette;
  MasqueVisible = s.MasqueVisible;
  Zoom = s.Zoom;
  PasX = s.PasX;
  PasY = s.PasY;
}

void TFctXY::CopierSelonMasque(const TFctXY& s, std::int16_t code) {
  ExigerTaille(*this, s);
  for (int r = 0; r < NY; ++r) {
    const double* source = s.Donnees.Ligne(r);
    const std::int16_t* m = s.Masque.Ligne(r);
    double* d = Donnees.Ligne(r);
    for (int c = 0; c < NX; ++c) d[c] = m[c] == code ? source[c] : d[c];
  }
}

void TFctXY::AffecterSelonMasque(std::int16_t code, bool egal, double valeur) {
  // Bands of rows on the threads for a large field (each sample written alone).
  constexpr int Bandes = 8;
  const bool grand = BalayageAPartager(NX, NY);
  PourChaque(
      Bandes,
      [&](int k) {
        const int fin = NY * (k + 1) / Bandes;
        for (int r = NY * k / Bandes; r < fin; ++r)
          for (int c = 0; c < NX; ++c)
            if ((M(r, c) == code) == egal) V(r, c) = valeur;
      },
      grand ? NombreFils() : 1);
}

namespace {
// Copies and scalings (memory bound) are shared only from a quarter million samples.
bool Grand(int nx, int ny) { return static_cast<long>(nx) * ny >= 262144; }
}  // namespace

void TFctXY::CopierMasque(const TFctXY& s) {
  ExigerTaille(*this, s);
  PourBandes(
      NY, 8,
      [&](int, int debut, int fin) {
        for (int r = debut; r < fin; ++r) std::copy_n(s.Masque.Ligne(r), NX, Masque.Ligne(r));
      },
      Grand(NX, NY));
}

void TFctXY::DefinirAxes(double i1, double j1, double x1, double y1, double i2, double j2,
                         double x2, double y2) {
  const double pentX = i2 != i1 ? (x2 - x1) / (i2 - i1) : 0.0;
  const double pentY = j2 != j1 ? (y2 - y1) / (j2 - j1) : 0.0;
  AxeX.resize(NX);
  AxeY.resize(NY);
  for (int i = 1; i <= NX; ++i) AxeX[i - 1] = x1 + (i - i1) * pentX;
  for (int j = 1; j <= NY; ++j) AxeY[j - 1] = y1 + (j - j1) * pentY;
  PasX = NX >= 2 ? AxeX[1] - AxeX[0] : pentX;
  PasY = NY >= 2 ? AxeY[1] - AxeY[0] : pentY;
}

int TFctXY::ColonneDeX(double x, int defaut) const {
  if (PasX == 0) return defaut;
  return static_cast<int>(Arrondi(x / PasX + CentreX));
}

int TFctXY::LigneDeY(double y, int defaut) const {
  if (PasY == 0) return defaut;
  return static_cast<int>(Arrondi(y / PasY + CentreY));
}

void TFctXY::Multiplier(double facteur) {
  const auto plan = Donnees.Plan(0);
  PourBandes(
      static_cast<int>(plan.size()), 8,
      [&](int, int debut, int fin) {
        for (int i = debut; i < fin; ++i) plan[static_cast<std::size_t>(i)] *= facteur;
      },
      Grand(NX, NY));
}

void TFctXY::CombinaisonLineaire(const TFctXY& a, const TFctXY& b, double ka, double kb) {
  ExigerTaille(*this, a);
  ExigerTaille(*this, b);
  for (int r = 0; r < NY; ++r) {
    const double* la = a.Donnees.Ligne(r);
    const double* lb = b.Donnees.Ligne(r);
    double* l = Donnees.Ligne(r);
    for (int c = 0; c < NX; ++c) l[c] = ka * la[c] + kb * lb[c];
  }
}

void TFctXY::Additionner(const TFctXY& a, const TFctXY& b) {
  ExigerTaille(*this, a);
  ExigerTaille(*this, b);
  for (int r = 0; r < NY; ++r) {
    const double* la = a.Donnees.Ligne(r);
    const double* lb = b.Donnees.Ligne(r);
    double* d = Donnees.Ligne(r);
    for (int c = 0; c < NX; ++c) d[c] = la[c] + lb[c];
  }
}

void TFctXY::Ajouter(const TFctXY& b) {
  ExigerTaille(*this, b);
  for (int r = 0; r < NY; ++r)
    for (int c = 0; c < NX; ++c) V(r, c) += b.V(r, c);
}

void TFctXY::MinMax() {
  const auto plan = Donnees.Plan(0);
  if (plan.empty()) {
    Mini = Maxi = Etendue = 0;
    return;
  }
  const auto [mn, mx] = std::minmax_element(plan.begin(), plan.end());
  Mini = *mn;
  Maxi = *mx;
  Etendue = Maxi - Mini;
}

void TFctXY::MinMaxMasque() {
  Etendue = 0;
  double mn = std::numeric_limits<double>::infinity();
  double mx = -mn;
  for (int r = 0; r < NY; ++r)
    for (int c = 0; c < NX; ++c)
      if (M(r, c) == 1) {
        mn = std::min(mn, V(r, c));
        mx = std::max(mx, V(r, c));
      }
  // An empty mask gives 0 and 0 rather than infinities that would reach the display.
  Mini = mn <= mx ? mn : 0.0;
  Maxi = mn <= mx ? mx : 0.0;
  Etendue = Maxi - Mini;
}

void TFctXY::MoyenneEcartType() {
  // Fixed bands of rows, their sums added in order: the same bits whatever the threads.
  constexpr int Bandes = 8;
  std::array<long, Bandes> nk{};
  std::array<double, Bandes> sk{}, s2k{};
  PourBandes(
      NY, Bandes,
      [&](int k, int debut, int fin) {
        long n = 0;
        double s = 0, s2 = 0;
        for (int r = debut; r < fin; ++r)
          for (int c = 0; c < NX; ++c)
            if (M(r, c) == 1) {
              const double v = V(r, c);
              ++n;
              s += v;
              s2 += v * v;
            }
        nk[static_cast<std::size_t>(k)] = n;
        sk[static_cast<std::size_t>(k)] = s;
        s2k[static_cast<std::size_t>(k)] = s2;
      },
      BalayageAPartager(NX, NY));
  long n = 0;
  double s = 0, s2 = 0;
  for (int k = 0; k < Bandes; ++k) n += nk[k], s += sk[k], s2 += s2k[k];
  NbEffectif = static_cast<std::int32_t>(n);
  if (n == 0) {
    Moyenne = EcartType = 0;
    return;
  }
  Moyenne = s / n;
  const double variance = s2 / n - Moyenne * Moyenne;
  EcartType = variance > 0 ? std::sqrt(variance) : 0.0;
}

double TFctXY::EcartQuadratique(const TFctXY& autre) const {
  ExigerTaille(*this, autre);
  // Four partial sums let the loop vectorise.
  double s[4] = {0, 0, 0, 0};
  for (int r = 0; r < NY; ++r) {
    const double* a = Donnees.Ligne(r);
    const double* b = autre.Donnees.Ligne(r);
    const std::int16_t* m = Masque.Ligne(r);
    int c = 0;
    for (; c + 4 <= NX; c += 4)
      for (int k = 0; k < 4; ++k) {
        const double d = m[c + k] == 1 ? a[c + k] - b[c + k] : 0.0;
        s[k] += d * d;
      }
    for (; c < NX; ++c) {
      const double d = m[c] == 1 ? a[c] - b[c] : 0.0;
      s[0] += d * d;
    }
  }
  return std::sqrt((s[0] + s[1]) + (s[2] + s[3]));
}

void TFctXY::Seuiller() {
  PourBandes(
      NY, 8,
      [&](int, int debut, int fin) {
        for (int r = debut; r < fin; ++r) {
          const double* l = Donnees.Ligne(r);
          std::int16_t* m = Masque.Ligne(r);
          for (int c = 0; c < NX; ++c) m[c] = l[c] >= Seuil ? 1 : 0;
        }
      },
      BalayageAPartager(NX, NY));
}

void TFctXY::Decaler(double dx, double dy) {
  if (Donnees.Vide()) return;
  TGrilleReelle nouvelle(1, NY, NX);
  const std::vector<double> zeros(NX, 0.0);
  auto ligneSource = [&](long r) {  // 1-based; outside reads as zeros
    return (r >= 1 && r <= NY) ? Donnees.Ligne(static_cast<int>(r - 1)) : zeros.data();
  };
  auto valeur = [&](const double* ligne, long c) {
    return (c >= 1 && c <= NX) ? ligne[c - 1] : 0.0;
  };
  for (int j = 1; j <= NY; ++j) {
    const double t = j - dy;
    const long r0 = static_cast<long>(std::trunc(t));
    const double fy = t - std::trunc(t);
    const double* haut = ligneSource(r0);
    const double* bas = ligneSource(r0 + 1);
    double* sortie = nouvelle.Ligne(j - 1);
    for (int i = 1; i <= NX; ++i) {
      const double u = i - dx;
      const long c0 = static_cast<long>(std::trunc(u));
      const double fx = u - std::trunc(u);
      const double v = (1 - fx) * (1 - fy) * valeur(haut, c0) + (1 - fx) * fy * valeur(bas, c0) +
                       fx * (1 - fy) * valeur(haut, c0 + 1) + fx * fy * valeur(bas, c0 + 1);
      sortie[i - 1] = ArrondiPair(v);
    }
  }
  Donnees = std::move(nouvelle);
  Complexe = 0;
}

void TFctXY::Symetrie180() {
  auto plan = Donnees.Plan(0);
  std::reverse(plan.begin(), plan.end());
  auto masque = Masque.Plan(0);
  std::reverse(masque.begin(), masque.end());
}

void TFctXY::AgrandirPuissanceDeux() {
  int n = 128;
  while (n < std::max(NX, NY)) n *= 2;
  const int ox = static_cast<int>(Arrondi((n - NX) / 2.0));
  const int oy = static_cast<int>(Arrondi((n - NY) / 2.0));
  TGrilleReelle donnees(1, n, n);
  TGrilleEntiere masque(1, n, n);
  std::vector<double> axeX(n, 0.0), axeY(n, 0.0);
  PourBandes(
      NY, 8,
      [&](int, int debut, int fin) {
        for (int r = debut; r < fin; ++r) {
          std::copy_n(Donnees.Ligne(r), NX, donnees.Ligne(r + oy) + ox);
          std::copy_n(Masque.Ligne(r), NX, masque.Ligne(r + oy) + ox);
        }
      },
      Grand(NX, NY));
  for (int c = 0; c < NX && c < static_cast<int>(AxeX.size()); ++c) axeX[c + ox] = AxeX[c];
  for (int r = 0; r < NY && r < static_cast<int>(AxeY.size()); ++r) axeY[r + oy] = AxeY[r];
  Donnees = std::move(donnees);
  Masque = std::move(masque);
  AxeX = std::move(axeX);
  AxeY = std::move(axeY);
  NX = NY = n;
  Complexe = 0;
}

void TFctXY::Extraire(int x0, int y0, int nl, int nc) {
  nl = std::max(nl, 0);
  nc = std::max(nc, 0);
  TGrilleReelle donnees(1, nl, nc);
  TGrilleEntiere masque(1, nl, nc);
  std::vector<double> axeX(nc, 0.0), axeY(nl, 0.0);
  for (int r = 0; r < nl; ++r) {
    const long ra = static_cast<long>(r) + y0;
    if (ra < 0 || ra >= NY) continue;
    for (int c = 0; c < nc; ++c) {
      const long ca = static_cast<long>(c) + x0;
      if (ca < 0 || ca >= NX) continue;
      donnees(r, c) = V(static_cast<int>(ra), static_cast<int>(ca));
      masque(r, c) = M(static_cast<int>(ra), static_cast<int>(ca));
    }
  }
  for (int c = 0; c < nc; ++c) {
    const long ca = static_cast<long>(c) + x0;
    if (ca >= 0 && ca < static_cast<long>(AxeX.size())) axeX[c] = AxeX[ca];
  }
  for (int r = 0; r < nl; ++r) {
    const long ra = static_cast<long>(r) + y0;
    if (ra >= 0 && ra < static_cast<long>(AxeY.size())) axeY[r] = AxeY[ra];
  }
  Donnees = std::move(donnees);
  Masque = std::move(masque);
  AxeX = std::move(axeX);
  AxeY = std::move(axeY);
  NX = nc;
  NY = nl;
  Complexe = 0;
}

void TFctXY::DeriveeX(const TFctXY& s) {
  PreparerMemeTaille(*this, s);
  PasX = s.PasX;
  PasY = s.PasY;
  AxeX = s.AxeX;
  AxeY = s.AxeY;
  Masque = s.Masque;
  const double inverse = 1 / (2 * PasX);
  for (int r = 0; r < NY; ++r) {
    const double* l = s.Donnees.Ligne(r);
    double* d = Donnees.Ligne(r);
    for (int c = 1; c < NX - 1; ++c) d[c] = (l[c + 1] - l[c - 1]) * inverse;
    d[0] = 0;
    if (NX > 1) d[NX - 1] = 0;
  }
}

void TFctXY::DeriveeY(const TFctXY& s) {
  PreparerMemeTaille(*this, s);
  PasX = s.PasX;
  PasY = s.PasY;
  AxeX = s.AxeX;
  AxeY = s.AxeY;
  Masque = s.Masque;
  const double inverse = 1 / (2 * PasY);
  for (int r = 0; r < NY; ++r) {
    double* d = Donnees.Ligne(r);
    if (r == 0 || r == NY - 1) {
      std::fill_n(d, NX, 0.0);
      continue;
    }
    const double* haut = s.Donnees.Ligne(r - 1);
    const double* bas = s.Donnees.Ligne(r + 1);
    for (int c = 0; c < NX; ++c) d[c] = (bas[c] - haut[c]) * inverse;
  }
}

namespace {

// One-sided where a neighbour leaves the pupil, so the edge carries no false slope.
double GradientMasque(double avant, double ici, double apres, bool gauche, bool droite,
                      double pas) {
  if (gauche && droite) return (apres - avant) / (2 * pas);
  if (droite) return (apres - ici) / pas;
  if (gauche) return (ici - avant) / pas;
  return 0.0;
}

}  // namespace

void TFctXY::GradientX(const TFctXY& s) {
  PreparerMemeTaille(*this, s);
  PasX = s.PasX;
  PasY = s.PasY;
  if (NX < 3) return;
  for (int r = 0; r < NY; ++r)
    for (int c = 1; c < NX - 1; ++c)
      V(r, c) = s.M(r, c) != 1 ? 0.0
                               : GradientMasque(s.V(r, c - 1), s.V(r, c), s.V(r, c + 1),
                                                s.M(r, c - 1) == 1, s.M(r, c + 1) == 1, PasX);
}

void TFctXY::GradientY(const TFctXY& s) {
  PreparerMemeTaille(*this, s);
  PasX = s.PasX;
  PasY = s.PasY;
  if (NY < 3) return;
  for (int r = 1; r < NY - 1; ++r)
    for (int c = 0; c < NX; ++c)
      V(r, c) = s.M(r, c) != 1 ? 0.0
                               : GradientMasque(s.V(r - 1, c), s.V(r, c), s.V(r + 1, c),
                                                s.M(r - 1, c) == 1, s.M(r + 1, c) == 1, PasY);
}

void TFctXY::DeriveeDirectionnelle(const TFctXY& s, double angle) {
  PreparerMemeTaille(*this, s);
  TFctXY gx, gy;
  gx.Allouer(NX, NY);
  gy.Allouer(NX, NY);
  gx.GradientX(s);
  gy.GradientY(s);
  const double ca = std::cos(angle), sa = std::sin(angle);
  CombinaisonLineaire(gx, gy, ca, sa);
  Masque = s.Masque;
}

bool TFctXY::InterpolerBilineaire(double x, double y, double& valeur) const {
  if (!(x >= 1 && x < NX && y >= 1 && y < NY)) return false;
  const int c = static_cast<int>(std::trunc(x));
  const int r = static_cast<int>(std::trunc(y));
  const double fx = x - c, fy = y - r;
  // 1-based (r, c) is element (r-1, c-1).
  valeur = (1 - fx) * (1 - fy) * V(r - 1, c - 1) + (1 - fx) * fy * V(r, c - 1) + fx * fy * V(r, c) +
           fx * (1 - fy) * V(r - 1, c);
  if (MasqueVisible == 0) return true;
  return M(static_cast<int>(Arrondi(y)) - 1, static_cast<int>(Arrondi(x)) - 1) == 1;
}

void TFctXY::ReinitialiserApresFFT(int n, double pasX, double pasY) {
  NX = NY = n;
  AxeX.assign(n, 0.0);
  AxeY.assign(n, 0.0);
  Masque.Allouer(1, n, n);
  RayonPhysique = Zoom = 1.0;
  MasqueVisible = 0;
  PasX = pasX;
  PasY = pasY;
}

void TFctXY::FFTDirecte(const TFctXY& s) {
  if (s.Donnees.Vide()) return;
  int h = s.NY, w = s.NX;
  TGrilleReelle spectre = s.Complexe == 1 ? FFT2DComplexe(s.Donnees, h, w) : FFT2D(s.Donnees, h, w);
  const double pasX = s.PasX, pasY = s.PasY;
  Donnees = std::move(spectre);
  Complexe = 1;
  ReinitialiserApresFFT(w, pasX, pasY);
}

void TFctXY::FFTInverse(TFctXY& s) {
  if (s.Complexe != 1 || s.Donnees.Vide()) return;
  TGrilleReelle grille = std::move(s.Donnees);
  s.Donnees.Liberer();
  FFT2DInverse(grille, grille.Lignes());
  Donnees = std::move(grille);
  Complexe = 0;
  ReinitialiserApresFFT(Donnees.Lignes(), s.PasX, s.PasY);
}

void TFctXY::FiltrePoisson() {
  if (Complexe != 1 || Donnees.Plans() < 2) return;
  const int ci = static_cast<int>(Arrondi(NX / 2.0)) + 1;
  const int cj = static_cast<int>(Arrondi(NY / 2.0)) + 1;
  const double k = std::fabs(PasX * PasY);
  // 1/(distance² to the zero frequency), kept for the size of the last call: a
  // reconstruction filters the same size twenty times a pass.
  thread_local std::vector<double> inverses;
  thread_local int pourNX = 0, pourNY = 0;
  if (pourNX != NX || pourNY != NY) {
    inverses.resize(static_cast<std::size_t>(NX) * NY);
    for (int r = 1; r <= NY; ++r)
      for (int c = 1; c <= NX; ++c) {
        const double d2 =
            static_cast<double>(c - ci) * (c - ci) + static_cast<double>(r - cj) * (r - cj);
        inverses[static_cast<std::size_t>(r - 1) * NX + (c - 1)] = d2 == 0 ? 0.0 : 1 / d2;
      }
    pourNX = NX;
    pourNY = NY;
  }
  for (int r = 0; r < NY; ++r) {
    double* re = Donnees.Ligne(0, r);
    double* im = Donnees.Ligne(1, r);
    const double* inv = inverses.data() + static_cast<std::size_t>(r) * NX;
    for (int c = 0; c < NX; ++c) {
      re[c] *= k * inv[c];
      im[c] *= k * inv[c];
    }
  }
}

}  // namespace quelvane
