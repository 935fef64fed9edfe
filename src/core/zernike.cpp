#include "core/zernike.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "core/mathematiques.h"

namespace quelvane {

const std::array<const char*, 28> NomsZernike = {
    "Piston",
    "Inclinaison (cos)",
    "Inclinaison (sin)",
    "Défocalisation",
    "Astigmatisme (cos)",
    "Astigmatisme (sin)",
    "Coma (cos)",
    "Coma (sin)",
    "Trefoil (cos)",
    "Trefoil (sin)",
    "Sphéricité",
    "Sec. astig. (cos)",
    "Sec. astig. (sin)",
    "Tetrafoil (cos)",
    "Tetrafoil (sin)",
    "Sec. coma",
    "Sec. coma",
    "Sec. trefoil (cos)",
    "Sec. Trefoil (sin)",
    "Pentafoil (cos)",
    "Pentafoil (sin)",
    "Sec. Spher.",
    "Tert. astig. (cos)",
    "Tert. astig (sin)",
    "Sec. tetrafoil (cos)",
    "Sec. Tetrafoil (sin)",
    "Hexafoil (cos)",
    "Hexafoil (sin)",
};
const std::array<const char*, 6> NomsSeidel = {"Piston",       "Inclinaison", "Défocalisation",
                                               "Astigmatisme", "Coma",        "Sphéricité"};
const std::array<const char*, 4> NomsCouleurs = {"Polychromatique", "Bleu", "Vert", "Rouge"};

namespace {

TJeuZernike jeuPartage;

constexpr int KMax = 8;  // recurrences never go beyond order 8 for 42 terms

// Index (1-based) of the cosine (or only) term of (n, m ≥ 0).
int IndiceTerme(int n, int m) { return n * (n + 1) / 2 + m + (m == 0 ? 1 : 0); }

// Shifted Legendre polynomials Q_0..Q_K at u.
void PolyLegendre(double u, int k, double* q) {
  q[0] = 1.0;
  for (int i = 1; i <= k; ++i) {
    const double precedent = i >= 2 ? q[i - 2] : 0.0;
    q[i] = ((4.0 * (2 * i - 1) * u - 2.0 * (2 * i - 1)) * q[i - 1] - 2.0 * (i - 1) * precedent) /
           (2.0 * i);
  }
}

// What the recurrences need that depends on the obstruction only, not on the point: the
// annular radial polynomial A[k][m] is g[k][m] times a running sum of w[q][m−1]·A[q][m−1].
struct TBaseRadiale {
  int k = -1;
  double epsilon = -1;
  double e = 1;
  double w[KMax + 2][KMax + 2] = {};
  double g[KMax + 2][KMax + 2] = {};
  double f[KMax + 2][KMax + 2] = {};  // √(e / (2(2k+m+1)·N[k][m]))
};

void ConstruireBase(TBaseRadiale& b, int k, double epsilon) {
  b.k = k;
  b.epsilon = epsilon;
  const double e = 1.0 - epsilon * epsilon;
  b.e = e;
  double h[KMax + 2][KMax + 2] = {};
  double nn[KMax + 2][KMax + 2] = {};
  double q[KMax + 2];
  PolyLegendre(-epsilon * epsilon / e, k, q);
  for (int i = 0; i <= k; ++i) {
    nn[i][0] = e / (2.0 * (2 * i + 1));
    h[i][0] = q[i];
  }
  for (int m = 1; m <= k; ++m) {
    double s2 = 0;
    for (int i = 0; i <= k - m; ++i) {
      b.w[i][m - 1] = h[i][m - 1] / nn[i][m - 1];
      s2 += h[i][m - 1] * h[i][m - 1] / nn[i][m - 1];
      const double g = 2.0 * (2 * i + 2 * m - 1) * nn[i][m - 1] / ((i + m) * e * h[i][m - 1]);
      b.g[i][m] = g;
      h[i][m] = g * s2;
      nn[i][m] = -g * h[i + 1][m - 1];
      b.f[i][m] = std::sqrt(e / (2.0 * (2 * i + m + 1) * nn[i][m]));
    }
  }
}

const TBaseRadiale& Base(int k, double epsilon) {
  thread_local TBaseRadiale base;
  if (base.k != k || base.epsilon != epsilon) ConstruireBase(base, k, epsilon);
  return base;
}

}  // namespace

const TJeuZernike& JeuZernike() { return jeuPartage; }

TJeuZernike ConstruireJeuZernike(int nombre, int type) {
  TJeuZernike jeu;
  nombre = std::clamp(nombre, 0, NMaxZern);
  jeu.NbTermes = static_cast<std::uint8_t>(nombre);
  jeu.Type = type == PolyZernike ? PolyZernike : PolyMahajan;
  const int h = static_cast<int>(std::trunc((std::sqrt(8.0 * nombre + 1) - 3) / 2));
  const int d = (h + 1) * (h + 2) / 2;
  jeu.OrdreMax = static_cast<std::uint8_t>(nombre > h + d ? h + 1 : h);
  for (int m = 0; m <= jeu.OrdreMax; ++m)
    for (int n = m; n <= jeu.OrdreMax + 1; n += 2) {
      const int j = IndiceTerme(n, m);
      const double facteur = std::sqrt((n + 1.0) * (m == 0 ? 1 : 2));
      if (j <= NMaxZern) jeu.FacteurNorm[j - 1] = facteur;
      if (m > 0 && j + 1 <= NMaxZern) jeu.FacteurNorm[j] = facteur;
    }
  return jeu;
}

void InitZernike(int nombre, int type) { jeuPartage = ConstruireJeuZernike(nombre, type); }

bool CalculZernike(double y, double x, double obstruction, TValZernike& valeurs) {
  return CalculZernike(jeuPartage, y, x, obstruction, valeurs);
}

bool DansAnneau(const TJeuZernike& jeu, double y, double x, double obstruction) {
  const double r = Pythagore(x, y);
  const double epsilon = jeu.Type == PolyMahajan ? obstruction : 0.0;
  return !(r > 1 || r < epsilon);
}

bool CalculZernike(const TJeuZernike& jeu, double y, double x, double obstruction,
                   TValZernike& valeurs) {
  if (!DansAnneau(jeu, y, x, obstruction)) return false;
  CalculZernikeEtendu(jeu, y, x, obstruction, valeurs);
  return true;
}

void CalculZernikeEtendu(const TJeuZernike& jeu, double y, double x, double obstruction,
                         TValZernike& valeurs) {
  const double r = Pythagore(x, y);
  const double epsilon = jeu.Type == PolyMahajan ? obstruction : 0.0;
  const int k = std::min<int>(jeu.OrdreMax, KMax);
  const TBaseRadiale& b = Base(k, epsilon);

  double a[KMax + 2][KMax + 2];
  double q[KMax + 2];
  PolyLegendre((r * r - epsilon * epsilon) / b.e, k, q);
  for (int i = 0; i <= k; ++i) a[i][0] = q[i];
  for (int m = 1; m <= k; ++m) {
    double somme = 0;
    for (int i = 0; i <= k - m; ++i) {
      somme += b.w[i][m - 1] * a[i][m - 1];
      a[i][m] = b.g[i][m] * somme;
    }
  }
  // r^m cos(mt) and r^m sin(mt) are the parts of (x + iy)^m.
  std::complex<double> zm(1.0, 0.0);
  const std::complex<double> z(x, y);
  for (int m = 0; m <= k; ++m, zm *= z) {
    for (int n = m; n <= k + 1; n += 2) {
      const int i = (n - m) / 2;
      const int j = IndiceTerme(n, m);
      if (j > NMaxZern) continue;
      if (m == 0) {
        valeurs[j - 1] = a[i][0];
        continue;
      }
      const double radial = b.f[i][m] * a[i][m];
      valeurs[j - 1] = radial * zm.real();
      if (j + 1 <= NMaxZern) valeurs[j] = radial * zm.imag();
    }
  }
}

void OrdresZernike(int j, int& n, int& m) {
  n = 0;
  while ((n + 1) * (n + 2) / 2 < j) ++n;
  const int premier = n * (n + 1) / 2 + 1;  // first index of order n
  // Within the order: m = n mod 2 first (one term when 0), then cosine/sine pairs.
  int reste = j - premier;
  int a = n % 2;
  if (a == 0) {
    if (reste == 0) {
      m = 0;
      return;
    }
    reste -= 1;
    a = 2;
  }
  a += 2 * (reste / 2);
  m = reste % 2 == 0 ? a : -a;
}

std::string LibelleZernike(int j) {
  int n, m;
  OrdresZernike(j, n, m);
  char texte[48];
  std::snprintf(texte, sizeof texte, "Z%d (%d,%d)", j, n, m);
  return texte;
}

std::string NomZernike(int j) {
  if (j >= 1 && j <= static_cast<int>(NomsZernike.size())) return NomsZernike[j - 1];
  int n, m;
  OrdresZernike(j, n, m);
  return NomPolynome(n, m);
}

int Factorielle(int k) { return k <= 1 ? 1 : k * Factorielle(k - 1); }

std::string NomPolynome(int n, int m) {
  const int a = std::abs(m);
  const int kk = (n - a) / 2;
  std::string texte;
  for (int s = 0; s <= kk; ++s) {
    int q =
        Factorielle(n - s) / (Factorielle(s) * Factorielle((n + a) / 2 - s) * Factorielle(kk - s));
    if (s % 2 == 1) q = -q;
    if (s > 0) texte += q <= 0 ? "-" : "+";
    const int p = n - 2 * s;
    const int aq = std::abs(q);
    if (aq != 1 && p != 1) texte += std::to_string(aq);
    if (p > 1) texte += "r^" + std::to_string(p);
    if (p == 0) texte += std::to_string(aq);
    if (p == 1) texte += aq < 2 ? "r" : std::to_string(aq) + "r";
  }
  if (a != n && a != 0) {
    texte.insert(texte.begin(), '(');
    texte.push_back(')');
  }
  if (a == 1) texte += m > 0 ? " Cos(t)" : " Sin(t)";
  if (a > 1) texte += (m > 0 ? " Cos(" : " Sin(") + std::to_string(a) + "t)";
  return texte;
}

void CoefVersRMS(const TJeuZernike& jeu, TCoefZernike& c) {
  for (int j = 0; j < jeu.NbTermes; ++j)
    if (jeu.FacteurNorm[j] != 0) c[j] /= jeu.FacteurNorm[j];
}

void CoefDepuisRMS(const TJeuZernike& jeu, TCoefZernike& c) {
  for (int j = 1; j < jeu.NbTermes; ++j) c[j] *= jeu.FacteurNorm[j];
  c[0] = 0;
}

void CoefVersRMS(TCoefZernike& c) { CoefVersRMS(jeuPartage, c); }
void CoefDepuisRMS(TCoefZernike& c) { CoefDepuisRMS(jeuPartage, c); }

void SelectionComplete(TSelZernike& s) { s.fill(true); }
void RazCoefficients(TCoefZernike& c) { c.fill(0.0); }

TSelZernike MasqueSoustraction(const TSelZernike& selection, bool subTiltFocus, bool subComa) {
  TSelZernike s = selection;
  if (subTiltFocus) s[0] = s[1] = s[2] = s[3] = false;
  if (subComa) s[6] = s[7] = s[15] = s[16] = false;
  return s;
}

TSelZernike MasqueSansTilt(const TSelZernike& selection) {
  TSelZernike s = selection;
  s[0] = s[1] = s[2] = false;
  return s;
}

}  // namespace quelvane
