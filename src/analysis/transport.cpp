#include "analysis/transport.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace quelvane {

namespace {

constexpr double Pi = std::numbers::pi;

double Evaluer(const TCoefZernike& coef, const TJeuZernike& jeu, double x, double y, double eps) {
  TValZernike v{};
  CalculZernikeEtendu(jeu, y, x, eps, v);
  double s = 0;
  for (int j = 0; j < jeu.NbTermes; ++j) s += coef[j] * v[j];
  return s;
}

// Gradient (nanometres per pixel, along columns and rows) at the points of a circle of
// normalised radius `rho`, for `n` equally spaced angles from 0.
struct TBord {
  std::vector<double> Colonnes, Lignes;
};

TBord GradientSurCercle(const TCoefZernike& coef, const TJeuZernike& jeu, double eps,
                        double rayonPx, double rho, int n) {
  TBord b;
  b.Colonnes.resize(n);
  b.Lignes.resize(n);
  constexpr double h = 1e-4;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * Pi * i / n;
    const double x = rho * std::cos(t), y = rho * std::sin(t);
    const double gx =
        (Evaluer(coef, jeu, x + h, y, eps) - Evaluer(coef, jeu, x - h, y, eps)) / (2 * h);
    const double gy =
        (Evaluer(coef, jeu, x, y + h, eps) - Evaluer(coef, jeu, x, y - h, eps)) / (2 * h);
    b.Colonnes[i] = gx / rayonPx;
    b.Lignes[i] = -gy / rayonPx;  // rows run downward, y upward
  }
  return b;
}

void Interpoler(const TBord& b, double angle, double& gc, double& gr) {
  const int n = static_cast<int>(b.Colonnes.size());
  double t = angle / (2 * Pi) * n;
  t -= n * std::floor(t / n);
  const int i = std::min(static_cast<int>(t), n - 1);
  const int j = (i + 1) % n;
  const double f = t - i;
  gc = (1 - f) * b.Colonnes[i] + f * b.Colonnes[j];
  gr = (1 - f) * b.Lignes[i] + f * b.Lignes[j];
}

}  // namespace

TFrontModele EchantillonnerModele(const TCoefZernike& coef, const TJeuZernike& jeu,
                                  const TRepere& rep, int nx, int ny) {
  TFrontModele m;
  m.Valeurs.Allouer(1, ny, nx);
  m.GradientColonnes.Allouer(1, ny, nx);
  m.GradientLignes.Allouer(1, ny, nx);
  if (rep.Rayon <= 0 || nx < 3 || ny < 3) return m;
  const double R = rep.Rayon, eps = rep.Obstruction;
  const double cx = rep.CentreX - 1, cy = rep.CentreY - 1;  // 0-based
  auto rayon = [&](int r, int c) { return std::hypot((c - cx) / R, (cy - r) / R); };

  // The polynomials on the ring and two pixels either side of it, for central differences.
  const double marge = 2 / R;
  std::vector<char> evalue(static_cast<std::size_t>(nx) * ny, 0);
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      const double q = rayon(r, c);
      if (q > 1 + marge || q < eps - marge) continue;
      m.Valeurs(r, c) = Evaluer(coef, jeu, (c - cx) / R, (cy - r) / R, eps);
      evalue[static_cast<std::size_t>(r) * nx + c] = 1;
    }

  const int nAngles = std::max(256, static_cast<int>(8 * R));
  const TBord exterieur = GradientSurCercle(coef, jeu, eps, R, 1.0, nAngles);
  const TBord interieur = eps > 0 ? GradientSurCercle(coef, jeu, eps, R, eps, nAngles) : TBord{};
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      const double q = rayon(r, c);
      double& gc = m.GradientColonnes(r, c);
      double& gr = m.GradientLignes(r, c);
      const bool voisins = r > 0 && r < ny - 1 && c > 0 && c < nx - 1;
      if (q <= 1 && q >= eps && voisins) {
        gc = (m.Valeurs(r, c + 1) - m.Valeurs(r, c - 1)) / 2;
        gr = (m.Valeurs(r + 1, c) - m.Valeurs(r - 1, c)) / 2;
      } else if (q > 1 || !voisins) {
        Interpoler(exterieur, std::atan2((cy - r) / R, (c - cx) / R), gc, gr);
      } else {
        Interpoler(interieur, std::atan2((cy - r) / R, (c - cx) / R), gc, gr);
      }
    }
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      const double q = rayon(r, c);
      if (q > 1 || q < eps) m.Valeurs(r, c) = 0;
    }
  return m;
}

TGrilleReelle TransporterImage(const TGrilleReelle& image, const TFrontModele& front, double k) {
  const int ny = image.Lignes(), nx = image.Colonnes();
  TGrilleReelle sortie(1, ny, nx);
  const TGrilleReelle& gc = front.GradientColonnes;
  const TGrilleReelle& gr = front.GradientLignes;
  if (gc.Lignes() != ny || gc.Colonnes() != nx) return sortie;
  for (int r = 1; r < ny - 1; ++r)
    for (int c = 1; c < nx - 1; ++c) {
      const double dc = k * gc(r, c), dr = k * gr(r, c);
      const double x = c + dc, y = r + dr;
      // Compared as doubles first: a wild gradient must not reach an integer conversion.
      if (!(x >= 0 && x < nx - 1 && y >= 0 && y < ny - 1)) continue;
      const double dcc = k * (gc(r, c + 1) - gc(r, c - 1)) / 2;
      const double dcr = k * (gc(r + 1, c) - gc(r - 1, c)) / 2;
      const double drc = k * (gr(r, c + 1) - gr(r, c - 1)) / 2;
      const double drr = k * (gr(r + 1, c) - gr(r - 1, c)) / 2;
      const double jacobien = (1 + dcc) * (1 + drr) - dcr * drc;
      const int c0 = static_cast<int>(x), r0 = static_cast<int>(y);
      const double fx = x - c0, fy = y - r0;
      const double v = (1 - fx) * (1 - fy) * image(r0, c0) + fx * (1 - fy) * image(r0, c0 + 1) +
                       (1 - fx) * fy * image(r0 + 1, c0) + fx * fy * image(r0 + 1, c0 + 1);
      sortie(r, c) = v * jacobien;
    }
  return sortie;
}

}  // namespace quelvane
