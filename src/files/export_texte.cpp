#include "files/export_texte.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "files/ecriture.h"
#include "files/nombres.h"

namespace quelvane {

namespace {
constexpr const char* FinLigne = "\r\n";
}

std::string TexteOPD(const TPupille& front) {
  if (front.Lambda == 0)
    throw ErreurEcriture("Le front d'onde n'a pas de longueur d'onde : export OPD impossible");
  auto nombre = [](double v) { return FormaterGeneral(v, 15, '.'); };
  std::string texte = nombre(front.Lambda) + "," + nombre(2e-6 * front.RayonPhysique) + FinLigne;
  const double mm = front.RayonPhysique * 1e-6;
  for (int r = 0; r < front.NY && r < static_cast<int>(front.AxeY.size()); ++r)
    for (int c = 0; c < front.NX && c < static_cast<int>(front.AxeX.size()); ++c) {
      if (front.M(r, c) != 1) continue;
      texte += nombre(front.AxeX[c] * mm) + "," + nombre(front.AxeY[r] * mm) + "," +
               nombre(front.V(r, c) / front.Lambda) + FinLigne;
    }
  return texte;
}

namespace {

// The three numbers of an OPD line, "." as decimal separator.
bool Triplet(const std::string& ligne, double v[3], int attendus) {
  std::size_t debut = 0;
  for (int k = 0; k < attendus; ++k) {
    const std::size_t fin = k + 1 < attendus ? ligne.find(',', debut) : ligne.size();
    if (fin == std::string::npos) return false;
    const auto x = ConvertirReel(ligne.substr(debut, fin - debut));
    if (!x || !std::isfinite(*x)) return false;
    v[k] = *x;
    debut = fin + 1;
  }
  return true;
}

constexpr int CoteOPDMax = 4096;

}  // namespace

TPupille LireOPD(const std::string& texte) {
  std::vector<std::array<double, 3>> points;
  double entete[3] = {0, 0, 0};
  std::size_t debut = 0;
  int numero = 0;
  while (debut < texte.size()) {
    std::size_t fin = texte.find('\n', debut);
    if (fin == std::string::npos) fin = texte.size();
    std::string ligne = texte.substr(debut, fin - debut);
    debut = fin + 1;
    if (!ligne.empty() && ligne.back() == '\r') ligne.pop_back();
    ++numero;
    if (ligne.empty()) continue;
    double v[3];
    if (numero == 1) {
      if (!Triplet(ligne, entete, 2) || !(entete[0] > 0) || !(entete[1] > 0))
        throw ErreurLectureOPD(
            "Export OPD illisible : la première ligne doit donner la longueur "
            "d'onde (nm) et le diamètre (mm)");
      if (!(entete[0] >= 1 && entete[0] <= 1e6) || !(entete[1] >= 1e-3 && entete[1] <= 1e5))
        throw ErreurLectureOPD(
            "Export OPD illisible : longueur d'onde de 1 à 1 000 000 nm et diamètre de "
            "0,001 à 100 000 mm attendus");
      continue;
    }
    if (!Triplet(ligne, v, 3))
      throw ErreurLectureOPD("Export OPD illisible à la ligne " + std::to_string(numero) + " : « " +
                             ligne.substr(0, 60) + " »");
    points.push_back({v[0], v[1], v[2]});
  }
  if (points.size() < 4) throw ErreurLectureOPD("Export OPD sans échantillons");
  // The pixel step: the smallest distance between two distinct abscissae.
  std::vector<double> xs;
  for (const auto& p : points) xs.push_back(p[0]);
  std::sort(xs.begin(), xs.end());
  double pas = 0;
  for (std::size_t i = 1; i < xs.size(); ++i) {
    const double d = xs[i] - xs[i - 1];
    if (d > 1e-9 * (std::fabs(xs[i]) + 1) && (pas == 0 || d < pas)) pas = d;
  }
  if (!(pas > 0)) throw ErreurLectureOPD("Export OPD sans pas d'échantillonnage");
  // Positions are (column − centre)·step: a common fraction of a step, kept as the centre's.
  const double fx = points[0][0] / pas - std::round(points[0][0] / pas);
  const double fy = points[0][1] / pas - std::round(points[0][1] / pas);
  long ixMin = 0, ixMax = 0, iyMin = 0, iyMax = 0;
  for (const auto& p : points) {
    // Positions millions of steps out are no pupil (and must not reach an integer).
    if (!(std::fabs(p[0] / pas) < 1e6 && std::fabs(p[1] / pas) < 1e6))
      throw ErreurLectureOPD("Export OPD illisible : échantillons trop dispersés");
    const long ix = std::lround(p[0] / pas - fx), iy = std::lround(p[1] / pas - fy);
    ixMin = std::min(ixMin, ix), ixMax = std::max(ixMax, ix);
    iyMin = std::min(iyMin, iy), iyMax = std::max(iyMax, iy);
  }
  // The header's diameter and the samples must describe the same pupil, densely sampled: a
  // pupil far larger than its samples (a huge diameter, or samples 1 µm apart over 200 mm) is
  // not an export, and would make every computation on it enormous.
  double rayonEchantillons = 0;
  for (const auto& p : points)
    rayonEchantillons = std::max(rayonEchantillons, std::hypot(p[0], p[1]));
  const double rayonMm = entete[1] / 2;
  if (!(rayonEchantillons <= 1.1 * rayonMm + 2 * pas && rayonEchantillons >= 0.5 * rayonMm))
    throw ErreurLectureOPD("Export OPD incohérent : l'en-tête annonce un diamètre de " +
                           FormaterGeneral(entete[1], 6) + " mm, les échantillons couvrent " +
                           FormaterGeneral(2 * rayonEchantillons, 6) + " mm");
  const double aire = 3.14159265 * (rayonMm / pas) * (rayonMm / pas);
  if (!(static_cast<double>(points.size()) >= 0.1 * aire))
    throw ErreurLectureOPD("Export OPD incohérent : " + std::to_string(points.size()) +
                           " échantillons pour une pupille de " +
                           std::to_string(std::lround(aire)) + " pixels");
  constexpr int marge = 4;
  const long nx = ixMax - ixMin + 1 + 2 * marge, ny = iyMax - iyMin + 1 + 2 * marge;
  if (nx > CoteOPDMax || ny > CoteOPDMax)
    throw ErreurLectureOPD("Export OPD trop grand (" + std::to_string(nx) + " × " +
                           std::to_string(ny) + " échantillons)");
  TPupille f;
  f.Allouer(static_cast<int>(nx), static_cast<int>(ny));
  f.Lambda = entete[0];
  f.RayonPhysique = entete[1] / 2 * 1e6;
  f.RayonPupille = entete[1] / 2 / pas;
  f.CentreX = 1 - ixMin + marge - fx;
  f.CentreY = iyMax + marge + fy + 1;
  for (const auto& p : points) {
    const long c = std::lround(p[0] / pas - fx) - ixMin + marge;
    const long r = iyMax - std::lround(p[1] / pas - fy) + marge;
    f.V(static_cast<int>(r), static_cast<int>(c)) = p[2] * f.Lambda;
    f.M(static_cast<int>(r), static_cast<int>(c)) = 1;
  }
  f.AxesPupille();
  f.CalculerObstruction();
  f.Role = RoleFront;
  f.MasqueVisible = 1;
  SelectionComplete(f.Selection);
  f.OrdresSup = true;
  return f;
}

void ExportOPD(const TPupille& front, const std::string& chemin) {
  EcrireFichierAtomique(chemin, TexteOPD(front));
}

std::string TexteCoefficients(const TCoefZernike& coefficients, int nombre,
                              const TJeuZernike& jeu) {
  TCoefZernike rms = coefficients;
  CoefVersRMS(jeu, rms);
  std::string texte;
  for (int j = 1; j <= nombre && j <= NMaxZern; ++j)
    texte +=
        std::to_string(j) + ";" + NomZernike(j) + ";" + FormaterGeneral(rms[j - 1], 15) + FinLigne;
  return texte;
}

void EnregistrerCoefficients(const TCoefZernike& coefficients, int nombre, const TJeuZernike& jeu,
                             const std::string& chemin) {
  EcrireFichierAtomique(chemin, TexteCoefficients(coefficients, nombre, jeu));
}

}  // namespace quelvane
