#include "analysis/bord_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/statistiques_robustes.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

constexpr double PasProfil = 0.01;   // normalised radius
constexpr double FinLumiere = 0.03;  // share of the plateau where the light has ended
constexpr double ExterieurMax = 1.3;

double Rayon(const TPupille& s, int r, int c) {
  return std::sqrt(s.AxeX[c] * s.AxeX[c] + s.AxeY[r] * s.AxeY[r]);
}

// [debut, fin): the indices of an axis whose coordinate lies within ±portee (a sample beyond
// is beyond that radius too).
void Plage(const std::vector<double>& axe, int n, double portee, int& debut, int& fin) {
  debut = 0, fin = std::min(n, static_cast<int>(axe.size()));
  while (debut < fin && !(std::abs(axe[debut]) <= portee)) ++debut;
  while (fin > debut && !(std::abs(axe[fin - 1]) <= portee)) --fin;
}

}  // namespace

TBandeBord MesurerBandeBord(const TPupille& a, const TPupille& b, const TPupille& s) {
  TBandeBord bande;
  const int nb = static_cast<int>(ExterieurMax / PasProfil) + 2;
  std::vector<double> somme(nb, 0.0);
  std::vector<int> compte(nb, 0);
  std::vector<double> plateau;
  const double eps = s.Obstruction;
  // Beyond the profile's last step nothing is counted: only the rows and columns within it.
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  Plage(s.AxeY, s.NY, nb * PasProfil + PasProfil, r0, r1);
  Plage(s.AxeX, s.NX, nb * PasProfil + PasProfil, c0, c1);
  if (r0 >= r1 || c0 >= c1) return bande;
  // Each step's light and the plateau's samples by fixed bands of rows on the threads, the
  // bands' shares then added in order: the same bits whatever the threads.
  constexpr int Bandes = 8;
  std::vector<std::vector<double>> plateaux(Bandes), sommes(Bandes, std::vector<double>(nb));
  std::vector<std::vector<int>> comptes(Bandes, std::vector<int>(nb));
  PourChaque(Bandes, [&](int k) {
    std::vector<double>& sk = sommes[static_cast<std::size_t>(k)];
    std::vector<int>& ck = comptes[static_cast<std::size_t>(k)];
    const int fin = r0 + (r1 - r0) * (k + 1) / Bandes;
    for (int r = r0 + (r1 - r0) * k / Bandes; r < fin; ++r)
      for (int c = c0; c < c1; ++c) {
        const double q = Rayon(s, r, c);
        const int pas = static_cast<int>(std::min<double>(q / PasProfil, nb));
        if (pas < nb) sk[pas] += a.V(r, c) + b.V(r, c), ++ck[pas];
        if (s.M(r, c) == 1 && q >= 0.6 && q <= 0.85 && q >= eps + 0.15)
          plateaux[static_cast<std::size_t>(k)].push_back(a.V(r, c) + b.V(r, c));
      }
  });
  for (int k = 0; k < Bandes; ++k)
    for (int i = 0; i < nb; ++i)
      somme[i] += sommes[static_cast<std::size_t>(k)][i],
          compte[i] += comptes[static_cast<std::size_t>(k)][i];
  for (const auto& p : plateaux) plateau.insert(plateau.end(), p.begin(), p.end());
  if (plateau.empty()) return bande;
  bande.Plateau = Mediane(plateau);
  auto niveau = [&](int k) { return compte[k] ? somme[k] / compte[k] : 0.0; };
  const double fin = FinLumiere * bande.Plateau;
  bande.Exterieur = ExterieurMax;
  for (int k = static_cast<int>(1 / PasProfil); k < nb - 1; ++k)
    if (niveau(k) < fin) {
      bande.Exterieur = std::min(ExterieurMax, (k + 1) * PasProfil);
      break;
    }
  if (eps > 0.05)
    for (int k = static_cast<int>(eps / PasProfil); k >= 0; --k)
      if (niveau(k) < fin) {
        bande.Interieur = k * PasProfil;
        break;
      }
  return bande;
}

namespace {

// The outermost normalised radius where the mask still covers a quarter of a circle's pixels.
double Etendue(const TPupille& s) {
  const int nb = static_cast<int>(2 / PasProfil);
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  Plage(s.AxeY, s.NY, nb * PasProfil + PasProfil, r0, r1);
  Plage(s.AxeX, s.NX, nb * PasProfil + PasProfil, c0, c1);
  // Counts by bands of rows on the threads, added after.
  constexpr int Bandes = 8;
  std::vector<std::vector<int>> dedansBande(Bandes, std::vector<int>(nb, 0)),
      totalBande(Bandes, std::vector<int>(nb, 0));
  if (r0 >= r1 || c0 >= c1) return 0;
  PourChaque(Bandes, [&](int b) {
    std::vector<int>& dedans = dedansBande[static_cast<std::size_t>(b)];
    std::vector<int>& total = totalBande[static_cast<std::size_t>(b)];
    // A row's steps first (a loop the compiler vectorises), then the counts.
    std::vector<int> pas(static_cast<std::size_t>(c1 - c0));
    const double* x = s.AxeX.data() + c0;
    const int n = c1 - c0;
    const int fin = r0 + (r1 - r0) * (b + 1) / Bandes;
    for (int r = r0 + (r1 - r0) * b / Bandes; r < fin; ++r) {
      const double y2 = s.AxeY[r] * s.AxeY[r];
      for (int c = 0; c < n; ++c)
        pas[c] = static_cast<int>(std::min(std::sqrt(x[c] * x[c] + y2) / PasProfil, 1.0 * nb));
      const std::int16_t* m = s.Masque.Ligne(r) + c0;
      for (int c = 0; c < n; ++c) {
        const int k = pas[c];
        if (k >= nb) continue;
        ++total[k];
        dedans[k] += m[c] == 1;
      }
    }
  });
  std::vector<int> dedans(nb, 0), total(nb, 0);
  for (int b = 0; b < Bandes; ++b)
    for (int k = 0; k < nb; ++k)
      dedans[k] += dedansBande[static_cast<std::size_t>(b)][k],
          total[k] += totalBande[static_cast<std::size_t>(b)][k];
  for (int k = nb - 1; k >= 0; --k)
    if (total[k] > 0 && 4 * dedans[k] >= total[k]) return (k + 1) * PasProfil;
  return 0;
}

}  // namespace

bool TRepli::Pour(const TPupille& s) const {
  if (Rayon != s.RayonPupille || AxeX != s.AxeX || AxeY != s.AxeY) return false;
  if (Masque.Lignes() != s.Masque.Lignes() || Masque.Colonnes() != s.Masque.Colonnes())
    return false;
  const auto a = Masque.Plan(0), b = s.Masque.Plan(0);
  return std::equal(a.begin(), a.end(), b.begin());
}

TRepli PreparerRepli(const TPupille& s) {
  TRepli g;
  g.Masque = s.Masque;
  g.AxeX = s.AxeX, g.AxeY = s.AxeY, g.Rayon = s.RayonPupille;
  if (s.RayonPupille <= 0 || s.AxeX.size() < static_cast<std::size_t>(s.NX) ||
      s.AxeY.size() < static_cast<std::size_t>(s.NY))
    return g;
  const double R = s.RayonPupille;
  const double largeur = Etendue(s) - 1;
  if (largeur <= 1.5 / R) return g;
  const double epaisseur = 1.5 / R;  // the outermost pixels of the pupil
  const int secteurs = std::max(16, static_cast<int>(2 * std::numbers::pi * R / 3));
  auto secteur = [&](int r, int c) {
    double t = std::atan2(s.AxeY[r], s.AxeX[c]) / (2 * std::numbers::pi);
    t -= std::floor(t);
    return std::min(secteurs - 1, static_cast<int>(t * secteurs));
  };
  // Only rows and columns that reach the band: the rest of the grid has nothing to fold.
  const double portee = 1 + largeur;
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
  Plage(s.AxeY, s.NY, portee, r0, r1);
  Plage(s.AxeX, s.NX, portee, c0, c1);
  if (r0 >= r1 || c0 >= c1) return g;
  // Each sample's place, by bands of rows on the threads: the band beyond the edge (its
  // sector), the edge itself (its sector), or neither (−1). Arc tangents only there.
  const int largeurBoite = c1 - c0;
  g.Places.assign(static_cast<std::size_t>(r1 - r0) * largeurBoite, -1);
  g.AuBord.assign(g.Places.size(), 0);
  constexpr int Bandes = 8;
  PourChaque(Bandes, [&](int b) {
    const int fin = r0 + (r1 - r0) * (b + 1) / Bandes;
    for (int r = r0 + (r1 - r0) * b / Bandes; r < fin; ++r)
      for (int c = c0; c < c1; ++c) {
        if (s.M(r, c) != 1) continue;
        const double q = Rayon(s, r, c);
        const bool dehors = q > 1 && q <= 1 + largeur, bord = q <= 1 && q > 1 - epaisseur;
        if (!dehors && !bord) continue;
        const std::size_t i = static_cast<std::size_t>(r - r0) * largeurBoite + (c - c0);
        g.Places[i] = secteur(r, c);
        g.AuBord[i] = bord;
      }
  });
  g.R0 = r0, g.R1 = r1, g.C0 = c0, g.C1 = c1, g.Secteurs = secteurs;
  return g;
}

void Replier(const TRepli& g, TPupille& s, std::int16_t codeAnneau) {
  if (g.Vide()) return;
  const int r0 = g.R0, r1 = g.R1, c0 = g.C0, c1 = g.C1, largeurBoite = c1 - c0;
  // The sums in the samples' order, on one thread: the same bits whatever the threads.
  std::vector<double> exces(g.Secteurs, 0.0);
  std::vector<int> bordure(g.Secteurs, 0);
  for (int r = r0; r < r1; ++r) {
    const int* places = g.Places.data() + static_cast<std::size_t>(r - r0) * largeurBoite;
    const char* auBord = g.AuBord.data() + static_cast<std::size_t>(r - r0) * largeurBoite;
    const double* v = s.Donnees.Ligne(r) + c0;
    for (int c = 0; c < largeurBoite; ++c) {
      if (places[c] < 0) continue;
      if (auBord[c])
        ++bordure[places[c]];
      else
        exces[places[c]] += v[c];
    }
  }
  constexpr int Bandes = 8;
  PourChaque(Bandes, [&](int b) {
    const int fin = r0 + (r1 - r0) * (b + 1) / Bandes;
    for (int r = r0 + (r1 - r0) * b / Bandes; r < fin; ++r)
      for (int c = c0; c < c1; ++c) {
        const std::size_t i = static_cast<std::size_t>(r - r0) * largeurBoite + (c - c0);
        const int k = g.Places[i];
        if (k < 0) continue;
        if (!g.AuBord[i]) {
          s.V(r, c) = 0;
          s.M(r, c) = codeAnneau;
        } else if (bordure[k] > 0) {
          s.V(r, c) += exces[k] / bordure[k];
        }
      }
  });
}

void ReplierBandes(TPupille& s, std::int16_t codeAnneau) {
  Replier(PreparerRepli(s), s, codeAnneau);
}

}  // namespace quelvane
