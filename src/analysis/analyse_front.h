#pragma once
// Zernike analysis of a wavefront (nanometres over the normalised pupil) and its figures of
// merit. The term set is passed in; the windows pass the shared one.

#include <string>

#include "core/ajustement.h"
#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

// Role 3; inside the ring: Σ selected coefficients × terms, mask 1; elsewhere 0, mask 0.
void SynthetiserFront(TPupille& front, const TJeuZernike& jeu);
// Adds (S′ − Selection)·coefficient·term inside the ring and the mask, then Selection := S′.
void BasculerTermes(TPupille& front, const TSelZernike& nouvelle, const TJeuZernike& jeu,
                    const TTermesEchantillonnes* termes = nullptr);
// Adds a·Z_j (j from 1) inside the ring and the mask, and a to coefficient j.
void AjouterTerme(TPupille& front, int j, double a, const TJeuZernike& jeu,
                  const TTermesEchantillonnes* termes = nullptr);
// From EcartType (brought up to date by the caller), Lambda and Obstruction.
void CalculerStrehl(TPupille& front);
// The terms taken out of the figures (unselected, piston aside), cos/sin pairs named once:
// "inclinaison, défocalisation, coma"; "aucun" when every term counts.
std::string TermesSoustraits(const TSelZernike& selection, const TJeuZernike& jeu);
// Standard errors of a wavefront's figures, from its variants (TVariantesFront).
struct TIncertitudes {
  bool Connues = false;
  TCoefZernike Coefficients{};  // un-normalised nanometres, as the coefficients
  double RMS = 0, PTV = 0;      // nanometres, of the wavefront as shown
  double Strehl = 0, StrehlRMS = 0;
  int Echantillons = 0;  // variants they come from
  std::string Methode, Comprend;
};
// What every ± leaves out, whatever its method.
constexpr const char* IncertitudesExclues =
    "les erreurs systématiques (diamètre, focale, défocalisation ou pixel inexacts, "
    "aberrations du montage, défauts de la méthode)";
// For the wavefront as shown: its selection of terms, with or without the higher orders.
TIncertitudes Incertitudes(const TPupille& front, const TJeuZernike& jeu);

// "Lambda/8", "1.25 lambda", "0 lambda": x nanometres as a fraction of lambdaRef.
std::string FractionLambda(double x, double lambdaRef, int decimales);

}  // namespace quelvane
