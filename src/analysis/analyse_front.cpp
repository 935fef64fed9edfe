#include "analysis/analyse_front.h"

#include <cmath>
#include <numbers>

#include "files/nombres.h"

namespace quelvane {

namespace {

// Calls f(r, c, values) for every sample inside the ring (and, when `masque`, of mask 1).
template <class F>
void PourChaqueEchantillon(TPupille& front, const TJeuZernike& jeu, bool masque, F&& f) {
  TValZernike v{};
  const int nx = std::min<int>(front.NX, static_cast<int>(front.AxeX.size()));
  const int ny = std::min<int>(front.NY, static_cast<int>(front.AxeY.size()));
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      if (masque && front.M(r, c) != 1) continue;
      const bool dedans = CalculZernike(jeu, front.AxeY[r], front.AxeX[c], front.Obstruction, v);
      f(r, c, dedans, v);
    }
}

}  // namespace

void SynthetiserFront(TPupille& front, const TJeuZernike& jeu) {
  front.Role = RoleFront;
  PourChaqueEchantillon(front, jeu, false, [&](int r, int c, bool dedans, const TValZernike& v) {
    if (!dedans) {
      front.V(r, c) = 0;
      front.M(r, c) = 0;
      return;
    }
    double s = 0;
    for (int j = 0; j < jeu.NbTermes; ++j)
      if (front.Selection[j]) s += front.Coefficients[j] * v[j];
    front.V(r, c) = s;
    front.M(r, c) = 1;
  });
}

void BasculerTermes(TPupille& front, const TSelZernike& nouvelle, const TJeuZernike& jeu) {
  TCoefZernike delta{};
  bool change = false;
  for (int j = 0; j < jeu.NbTermes; ++j) {
    delta[j] = (static_cast<int>(nouvelle[j]) - static_cast<int>(front.Selection[j])) *
               front.Coefficients[j];
    change = change || delta[j] != 0;
  }
  if (change)
    PourChaqueEchantillon(front, jeu, true, [&](int r, int c, bool dedans, const TValZernike& v) {
      if (!dedans) return;
      double s = 0;
      for (int j = 0; j < jeu.NbTermes; ++j) s += delta[j] * v[j];
      front.V(r, c) += s;
    });
  front.Selection = nouvelle;
}

void AjouterTerme(TPupille& front, int j, double a, const TJeuZernike& jeu) {
  if (j < 1 || j > NMaxZern) return;
  // A term beyond the fitted count is still evaluated (a set-up correction of Z11 with fewer
  // fitted terms must still reach the values).
  const TJeuZernike etendu = j <= jeu.NbTermes ? jeu : ConstruireJeuZernike(j, jeu.Type);
  PourChaqueEchantillon(front, etendu, true, [&](int r, int c, bool dedans, const TValZernike& v) {
    if (dedans) front.V(r, c) += a * v[j - 1];
  });
  front.Coefficients[j - 1] += a;
}

void CalculerStrehl(TPupille& front) {
  if (front.Lambda != 0) {
    const double phase = 2 * std::numbers::pi * front.EcartType / front.Lambda;
    front.StrehlRMS = std::exp(-phase * phase);
  }
  const double e2 = front.Obstruction * front.Obstruction;
  front.StrehlMax = (1 - e2) * (1 - e2);
  front.Strehl = front.StrehlMax * front.StrehlRMS;
}

std::string FractionLambda(double x, double lambdaRef, int decimales) {
  const double k = x != 0 ? lambdaRef / x : 0;
  if (k > 1) return "Lambda/" + FormaterFixe(k, decimales);
  if (k != 0) return FormaterFixe(1 / k, decimales) + " lambda";
  return "0 lambda";
}

}  // namespace quelvane
