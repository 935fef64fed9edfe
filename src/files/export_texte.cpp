#include "files/export_texte.h"

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
