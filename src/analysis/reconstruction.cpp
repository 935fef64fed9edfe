#include "analysis/reconstruction.h"

#include <cmath>

#include "analysis/analyse_front.h"
#include "analysis/preparation.h"
#include "core/ajustement.h"
#include "core/mathematiques.h"

namespace quelvane {

std::string TitreProgression(int couleur, int indice, int total) {
  return std::string("Reconstruction du front d'onde ") + NomsCouleurs[couleur & 3] + " (" +
         std::to_string(indice) + "/" + std::to_string(total) + ")";
}

int PasProgression(int passes) {
  const auto etapes = Arrondi(passes * 4.0);
  return etapes > 0 ? static_cast<int>(100 / etapes) : 100;
}

void ReconstruireTest(TRoddier& t, int couleur, const TPupille& intra, const TPupille& extra,
                      const TParametresTest& parametres, const TkwValue& prefs,
                      const TJeuZernike& jeu, IProgression& progression, int indice, int total) {
  t.FocaleNm = parametres.DistanceFocale;
  t.RayonNm = parametres.RayonInstrument;
  t.DefocNm = parametres.Defocalisation;
  t.NbPasses = prefs.NIter;
  TPaireTest paire = PreparerPaire(intra, extra, prefs);
  t.Intra = std::move(paire.Intra);
  t.Extra = std::move(paire.Extra);
  t.Preparation = paire.Preparation;

  progression.Demarrer(TitreProgression(couleur, indice, total), PasProgression(t.NbPasses));
  t.Reconstruire({prefs.BreakCondition, prefs.RMSFront}, progression);

  TPupille& front = *t.FrontOnde;
  const std::pair<double, int> corrections[] = {{parametres.AstigmatismeX, 5},
                                                {parametres.AstigmatismeY, 6},
                                                {parametres.ComaX, 7},
                                                {parametres.ComaY, 8},
                                                {parametres.Sphericite, 11}};
  for (const auto& [v, terme] : corrections)
    if (v != 0) AjouterTerme(front, terme, -v, jeu);
  // In autocollimation the light meets the optics twice.
  if (parametres.Autocollimation) front.Multiplier(0.5);
  if (prefs.AjustAuto) {
    AjusterZernike(front, jeu);
    BasculerTermes(front, MasqueSoustraction(front.Selection, prefs.SubTiltFocus, prefs.SubComa),
                   jeu);
  }
  progression.Masquer();
  front.Palette = prefs.PltFront;
  front.MasqueVisible = 1;
}

std::unique_ptr<TRoddier> SignalDeLaPaire(const TPupille& intra, const TPupille& extra,
                                          const TkwValue& prefs) {
  auto test = std::make_unique<TRoddier>();
  TPaireTest paire = PreparerPaire(intra, extra, prefs);
  test->Intra = std::move(paire.Intra);
  test->Extra = std::move(paire.Extra);
  test->Preparation = paire.Preparation;
  test->Signal = std::make_shared<TPupille>();
  test->Signal->Allouer(test->Intra->NX, test->Intra->NY);
  test->CalculerSignal();
  return test;
}

std::unique_ptr<TRoddier> ReconstruireSimple(const TParametresTest& parametres,
                                             const TkwValue& prefs, const TJeuZernike& jeu,
                                             IProgression& progression) {
  if (!parametres.ImageIntra || !parametres.ImageExtra)
    throw ErreurTest("Vous devez ouvrir les images et/ou saisir les paramètres");
  auto test = std::make_unique<TRoddier>();
  ReconstruireTest(*test, 0, *parametres.ImageIntra, *parametres.ImageExtra, parametres, prefs, jeu,
                   progression);
  test->FrontOnde->Lambda = prefs.LambdaRef;
  test->FrontOnde->Role = RoleFront;
  test->FrontOnde->Couleur = 0;
  return test;
}

std::array<std::unique_ptr<TRoddier>, 3> ReconstruireTroisCouleurs(
    const TParametresTest& parametres, const TkwValue& prefs, const TJeuZernike& jeu,
    IProgression& progression) {
  const TPupille* paires[3][2] = {{parametres.IntraBleu, parametres.ExtraBleu},
                                  {parametres.IntraVert, parametres.ExtraVert},
                                  {parametres.IntraRouge, parametres.ExtraRouge}};
  for (const auto& p : paires)
    if (!p[0] || !p[1]) throw ErreurTest("La liste des images est incomplète.");
  TkwValue reglages = prefs;
  reglages.AjustAuto = true;
  reglages.SubTiltFocus = false;
  std::array<std::unique_ptr<TRoddier>, 3> tests;
  const double lambdas[3] = {prefs.LambdaB, prefs.LambdaV, prefs.LambdaR};
  for (int k = 0; k < 3; ++k) {
    tests[k] = std::make_unique<TRoddier>();
    ReconstruireTest(*tests[k], k + 1, *paires[k][0], *paires[k][1], parametres, reglages, jeu,
                     progression, k + 1, 3);
  }
  for (int k = 0; k < 3; ++k) tests[k]->FrontOnde->Lambda = lambdas[k];
  const double f4 = prefs.OriginFoc <= 2 ? tests[prefs.OriginFoc]->FrontOnde->Coefficients[3] : 0;
  for (int k = 2; k >= 0; --k) {
    TPupille& front = *tests[k]->FrontOnde;
    BasculerTermes(front, MasqueSansTilt(front.Selection), jeu);
    AjouterTerme(front, 4, -f4, jeu);
  }
  for (int k = 0; k < 3; ++k) {
    tests[k]->FrontOnde->Role = RoleFront;
    tests[k]->FrontOnde->Couleur = static_cast<std::uint8_t>(k + 1);
  }
  return tests;
}

}  // namespace quelvane
