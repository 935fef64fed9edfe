#include "analysis/analyse_front.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "files/nombres.h"

namespace quelvane {

namespace {

// Calls f(r, c, values) for every sample inside the ring (and, when `masque`, of mask 1).
template <class F>
void PourChaqueEchantillon(TPupille& front, const TJeuZernike& jeu, bool masque, F&& f,
                           const TTermesEchantillonnes* termes = nullptr) {
  // The terms evaluated already, when they are this front's: the samples of mask 1 inside
  // the ring, the only ones called with `dedans`.
  if (masque && termes && termes->Conviennent(front, jeu)) {
    TValZernike v{};
    for (std::size_t k = 0; k < termes->Nombre(); ++k) {
      std::copy_n(termes->Valeurs(k), termes->NbTermes(), v.begin());
      f(termes->Place(k) / front.NX, termes->Place(k) % front.NX, true, v);
    }
    return;
  }
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

void BasculerTermes(TPupille& front, const TSelZernike& nouvelle, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes) {
  TCoefZernike delta{};
  bool change = false;
  for (int j = 0; j < jeu.NbTermes; ++j) {
    delta[j] = (static_cast<int>(nouvelle[j]) - static_cast<int>(front.Selection[j])) *
               front.Coefficients[j];
    change = change || delta[j] != 0;
  }
  if (change)
    PourChaqueEchantillon(
        front, jeu, true,
        [&](int r, int c, bool dedans, const TValZernike& v) {
          if (!dedans) return;
          double s = 0;
          for (int j = 0; j < jeu.NbTermes; ++j) s += delta[j] * v[j];
          front.V(r, c) += s;
        },
        termes);
  front.Selection = nouvelle;
}

void AjouterTerme(TPupille& front, int j, double a, const TJeuZernike& jeu,
                  const TTermesEchantillonnes* termes) {
  if (j < 1 || j > NMaxZern) return;
  // A term beyond the fitted count is still evaluated (a set-up correction of Z11 with fewer
  // fitted terms must still reach the values).
  const TJeuZernike etendu = j <= jeu.NbTermes ? jeu : ConstruireJeuZernike(j, jeu.Type);
  PourChaqueEchantillon(
      front, etendu, true,
      [&](int r, int c, bool dedans, const TValZernike& v) {
        if (dedans) front.V(r, c) += a * v[j - 1];
      },
      j <= jeu.NbTermes ? termes : nullptr);
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

std::string TermesSoustraits(const TSelZernike& selection, const TJeuZernike& jeu) {
  std::vector<std::string> noms;
  for (int j = 2; j <= jeu.NbTermes; ++j) {
    if (selection[j - 1]) continue;
    std::string n = NomZernike(j);
    if (const auto p = n.find(" ("); p != std::string::npos) n.resize(p);
    // "Défocalisation" → "défocalisation": the list reads as a sentence.
    if (!n.empty() && n[0] >= 'A' && n[0] <= 'Z') n[0] = static_cast<char>(n[0] - 'A' + 'a');
    if (std::find(noms.begin(), noms.end(), n) == noms.end()) noms.push_back(n);
  }
  if (noms.empty()) return "aucun";
  std::string t = noms.front();
  for (std::size_t i = 1; i < noms.size(); ++i) t += ", " + noms[i];
  return t;
}

TIncertitudes Incertitudes(const TPupille& front, const TJeuZernike& jeu) {
  TIncertitudes u;
  if (!front.Variantes || front.Variantes->Fronts.size() < 2) return u;
  const TVariantesFront& v = *front.Variantes;
  const auto n = static_cast<double>(v.Fronts.size());
  std::vector<std::array<double, 4>> figures;
  TCoefZernike somme{}, somme2{};
  for (const TPupille& f : v.Fronts) {
    TPupille p = f;
    BasculerTermes(p, front.Selection, jeu);
    if (!front.OrdresSup) SynthetiserFront(p, jeu);
    p.Lambda = front.Lambda;
    p.MoyenneEcartType();
    p.MinMaxMasque();
    CalculerStrehl(p);
    figures.push_back({p.EcartType, p.Etendue, p.Strehl, p.StrehlRMS});
    for (int j = 0; j < NMaxZern; ++j)
      somme[j] += f.Coefficients[j], somme2[j] += f.Coefficients[j] * f.Coefficients[j];
  }
  auto ecart = [&](double s, double s2) {
    return v.Facteur * std::sqrt(std::max(0.0, (s2 - s * s / n) / (n - 1)));
  };
  for (int j = 0; j < NMaxZern; ++j) u.Coefficients[j] = ecart(somme[j], somme2[j]);
  double f[4] = {}, f2[4] = {};
  for (const auto& x : figures)
    for (int i = 0; i < 4; ++i) f[i] += x[i], f2[i] += x[i] * x[i];
  u.RMS = ecart(f[0], f2[0]);
  u.PTV = ecart(f[1], f2[1]);
  u.Strehl = ecart(f[2], f2[2]);
  u.StrehlRMS = ecart(f[3], f2[3]);
  u.Connues = true;
  u.Echantillons = static_cast<int>(v.Fronts.size());
  u.Methode = v.Methode;
  u.Comprend = v.Comprend;
  return u;
}

std::string FractionLambda(double x, double lambdaRef, int decimales) {
  const double k = x != 0 ? lambdaRef / x : 0;
  if (k > 1) return "Lambda/" + FormaterFixe(k, decimales);
  if (k != 0) return FormaterFixe(1 / k, decimales) + " lambda";
  return "0 lambda";
}

}  // namespace quelvane
