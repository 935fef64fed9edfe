#include "analysis/reconstruction.h"

#include <cmath>
#include <vector>

#include "analysis/analyse_front.h"
#include "analysis/preparation.h"
#include "core/ajustement.h"
#include "core/mathematiques.h"
#include "core/parallele.h"
#include "files/nombres.h"

namespace quelvane {

std::string TitreProgression(int couleur, int indice, int total) {
  return std::string("Reconstruction du front d'onde ") + NomsCouleurs[couleur & 3] + " (" +
         std::to_string(indice) + "/" + std::to_string(total) + ")";
}

int PasProgression(int passes) {
  const auto etapes = Arrondi(passes * 4.0);
  return etapes > 0 ? static_cast<int>(100 / etapes) : 100;
}

namespace {

// What a reconstruction's wavefronts become before they are shown: the set-up aberrations
// taken out, halved in autocollimation, fitted and stripped of the terms the preferences
// subtract. The fronts share one pupil (a wavefront and its variants): its terms are evaluated
// once for all, and they are fitted together.
void MettreEnForme(const std::vector<TPupille*>& fronts, const TParametresTest& parametres,
                   const TkwValue& prefs, const TJeuZernike& jeu) {
  if (fronts.empty()) return;
  const TTermesEchantillonnes termes(*fronts.front(), jeu);
  const std::pair<double, int> corrections[] = {{parametres.AstigmatismeX, 5},
                                                {parametres.AstigmatismeY, 6},
                                                {parametres.ComaX, 7},
                                                {parametres.ComaY, 8},
                                                {parametres.Sphericite, 11}};
  for (TPupille* front : fronts) {
    for (const auto& [v, terme] : corrections)
      if (v != 0) AjouterTerme(*front, terme, -v, jeu, &termes);
    // In autocollimation the light meets the optics twice.
    if (parametres.Autocollimation) front->Multiplier(0.5);
  }
  if (prefs.AjustAuto) {
    AjusterZernike(fronts, jeu, &termes);
    PourChaque(static_cast<int>(fronts.size()), [&](int k) {
      TPupille& front = *fronts[static_cast<std::size_t>(k)];
      BasculerTermes(front, MasqueSoustraction(front.Selection, prefs.SubTiltFocus, prefs.SubComa),
                     jeu, &termes);
    });
  }
  for (TPupille* front : fronts) {
    front->Palette = prefs.PltFront;
    front->MasqueVisible = 1;
  }
}

// Images of the blocks of frames of an image made of frames.
std::vector<TPupille> Blocs(const TPupille& image, int n) {
  std::vector<TPupille> blocs;
  for (int k = 0; k < n; ++k) {
    TPupille b = image;
    b.Donnees = *image.SousEnsembles[static_cast<std::size_t>(k)];
    b.SousEnsembles.clear();
    blocs.push_back(std::move(b));
  }
  return blocs;
}

// Only the cancel request goes through to the tests run side by side.
class TAnnulationSeule final : public IProgression {
 public:
  explicit TAnnulationSeule(const IProgression& p) : p_(p) {}
  void Demarrer(const std::string&, int) override {}
  void Avancer() override {}
  void Terminer() override {}
  void Masquer() override {}
  bool Annulee() const override { return p_.Annulee(); }

 private:
  const IProgression& p_;
};

constexpr int TiragesBruit = 6;

}  // namespace

void ReconstruireTest(TRoddier& t, int couleur, const TPupille& intra, const TPupille& extra,
                      const TParametresTest& parametres, const TkwValue& prefs,
                      const TJeuZernike& jeu, IProgression& progression, int indice, int total,
                      bool incertitudes) {
  t.FocaleNm = parametres.DistanceFocale;
  t.RayonNm = parametres.RayonInstrument;
  t.DefocNm = parametres.Defocalisation;
  t.NbPasses = prefs.NIter;
  TPaireTest paire = PreparerPaire(intra, extra, prefs);
  t.Intra = std::move(paire.Intra);
  t.Extra = std::move(paire.Extra);
  t.Preparation = paire.Preparation;
  t.SaturesIntra = std::move(paire.SaturesIntra);
  t.SaturesExtra = std::move(paire.SaturesExtra);

  // Error bars from the blocks of frames when both images have them, else from the noise
  // measured in the images.
  const int blocs =
      incertitudes
          ? static_cast<int>(std::min(intra.SousEnsembles.size(), extra.SousEnsembles.size()))
          : 0;
  const bool parBlocs = blocs >= 2;
  progression.Demarrer(TitreProgression(couleur, indice, total), PasProgression(t.NbPasses));
  t.Reconstruire(
      {prefs.BreakCondition, prefs.RMSFront, incertitudes && !parBlocs ? TiragesBruit : 0},
      progression);

  TPupille& front = *t.FrontOnde;
  auto variantes = std::make_shared<TVariantesFront>();
  variantes->Fronts.resize(t.FrontsDuBruit.size());
  PourChaque(static_cast<int>(t.FrontsDuBruit.size()), [&](int k) {
    const TPupille& bruit = t.FrontsDuBruit[static_cast<std::size_t>(k)];
    TPupille& v = variantes->Fronts[static_cast<std::size_t>(k)];
    v = front;
    for (int r = 0; r < v.NY; ++r)
      for (int c = 0; c < v.NX; ++c)
        if (v.M(r, c) == 1) v.V(r, c) += bruit.V(r, c);
  });
  std::vector<TPupille*> fronts{&front};
  for (TPupille& v : variantes->Fronts) fronts.push_back(&v);
  MettreEnForme(fronts, parametres, prefs, jeu);
  if (!variantes->Fronts.empty()) {
    variantes->Methode = "bruit mesuré";
    variantes->Comprend = "le bruit des images (photons, lecture, fond)";
  }
  if (parBlocs) {
    // The same test on each block of frames, several at once.
    const std::vector<TPupille> bi = Blocs(intra, blocs), be = Blocs(extra, blocs);
    std::vector<TPupille> fronts(static_cast<std::size_t>(blocs));
    progression.Demarrer("Barres d'erreur : " + std::to_string(blocs) + " blocs d'images",
                         std::max(1, 100 / blocs));
    PourChaque(blocs, [&](int k) {
      TRoddier bloc;
      TAnnulationSeule p(progression);
      ReconstruireTest(bloc, couleur, bi[static_cast<std::size_t>(k)],
                       be[static_cast<std::size_t>(k)], parametres, prefs, jeu, p, indice, total,
                       false);
      fronts[static_cast<std::size_t>(k)] = std::move(*bloc.FrontOnde);
    });
    VerifierAnnulation(progression);
    progression.Terminer();
    variantes->Fronts = std::move(fronts);
    variantes->Facteur = 1 / std::sqrt(static_cast<double>(blocs));
    variantes->Methode = "blocs d'images";
    variantes->Comprend = "le bruit des images et la turbulence d'une image à l'autre";
  }
  if (!variantes->Fronts.empty()) front.Variantes = std::move(variantes);
  progression.Masquer();
}

std::unique_ptr<TRoddier> SignalDeLaPaire(const TPupille& intra, const TPupille& extra,
                                          const TkwValue& prefs) {
  auto test = std::make_unique<TRoddier>();
  TPaireTest paire = PreparerPaire(intra, extra, prefs);
  test->Intra = std::move(paire.Intra);
  test->Extra = std::move(paire.Extra);
  test->Preparation = paire.Preparation;
  test->SaturesIntra = std::move(paire.SaturesIntra);
  test->SaturesExtra = std::move(paire.SaturesExtra);
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
  // The residual is a wavefront of the same light: its Strehl ratio needs the wavelength.
  test->FrontOnde->Lambda = prefs.LambdaRef;
  if (test->FrontResiduel) test->FrontResiduel->Lambda = prefs.LambdaRef;
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
  // A colour without its wavelength would have no Strehl and no focus shift to compare.
  if (!(prefs.LambdaB > 0 && prefs.LambdaV > 0 && prefs.LambdaR > 0))
    throw ErreurTest(
        "Longueurs d'onde des trois couleurs à définir dans les préférences "
        "(bleu " +
        FormaterGeneral(prefs.LambdaB, 6) + " nm, vert " + FormaterGeneral(prefs.LambdaV, 6) +
        " nm, rouge " + FormaterGeneral(prefs.LambdaR, 6) +
        " nm) : 465, 540 et 630 nm par exemple.");
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
  for (int k = 0; k < 3; ++k) {
    tests[k]->FrontOnde->Lambda = lambdas[k];
    if (tests[k]->FrontResiduel) tests[k]->FrontResiduel->Lambda = lambdas[k];
  }
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
