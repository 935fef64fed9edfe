#include "support/cas_validation.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "analysis/preparation.h"
#include "analysis/reconstruction.h"

namespace quelvane::outils {

namespace {

struct TOptique {
  double DiametreMm, FocaleMm, Obstruction;
};

struct TConditions {
  double PixelMicrons;
  double RayonPx;  // wanted radius of the pupil images, pixels
  int Largeur, Hauteur;
  double SeeingSecondes;
  bool Camera;  // bias, sky with a gradient, 8 % less flux in the extra image, noise
  double Plateau = 20000;
};

TCasValidation Cas(const std::string& nom, const TOptique& o, const TConditions& k,
                   const TTermes& termes, double decalageX, double decalageY) {
  TCasValidation c;
  c.Nom = nom;
  c.Telescope.DiametreMm = o.DiametreMm;
  c.Telescope.FocaleMm = o.FocaleMm;
  c.Telescope.Obstruction = o.Obstruction;
  for (auto [j, v] : termes) c.Telescope.CoefficientsNm[j - 1] = v;
  TCameraSimulee cam;
  cam.PixelMicrons = k.PixelMicrons;
  cam.Largeur = k.Largeur;
  cam.Hauteur = k.Hauteur;
  cam.DefocalisationMm = k.RayonPx * k.PixelMicrons * 1e-3 * o.FocaleMm / (o.DiametreMm / 2);
  cam.SousPixels = 0;
  cam.SeeingPixels = SeeingEnPixels(k.SeeingSecondes, o.FocaleMm, k.PixelMicrons);
  cam.Plateau = k.Plateau;
  cam.Fond = 0;
  if (k.Camera) {
    cam.Biais = 1024;
    cam.Fond = 400;
    cam.PenteFondX = 0.6;
    cam.PenteFondY = -0.4;
    cam.Bruit = true;
    cam.BruitLecture = 3;
  }
  c.Intra = c.Extra = cam;
  c.Intra.DecalageX = decalageX;
  c.Intra.DecalageY = decalageY;
  c.Extra.DecalageX = -0.7 * decalageY + 0.25;
  c.Extra.DecalageY = 0.6 * decalageX - 0.5;
  c.Intra.Graine = 101;
  c.Extra.Graine = 202;
  if (k.Camera) {
    c.Extra.Transmission = 0.92;
    c.Extra.Biais = 1030;
    c.Extra.PenteFondX = -0.3;
  }
  c.Realiste = k.Camera || k.SeeingSecondes > 2;
  return c;
}

const TOptique Newton200f5{200, 1000, 0.25};
const TOptique Newton200f4{200, 800, 0.36};
const TOptique Refracteur150f8{150, 1200, 0};
const TOptique Cassegrain250f10{250, 2500, 0.3};

const TTermes BordSeul = {{5, 120}, {6, -80},  {9, 100}, {10, 60},
                          {14, 80}, {15, -50}, {20, 60}, {21, 40}};
const TTermes Laplacien = {{7, -80},  {8, 40},  {11, 120}, {12, 50},
                           {13, -30}, {16, 40}, {18, 30},  {22, -40}};
const TTermes Melange = {{5, 90},   {6, -40}, {7, -60},  {8, 25},  {9, 70},   {10, -30},
                         {11, 110}, {12, 35}, {13, -20}, {14, 45}, {15, 25},  {16, 30},
                         {17, -20}, {18, 25}, {19, -15}, {20, 30}, {21, -20}, {22, -35}};
const TTermes Fort = {{5, 250}, {9, -200}, {11, 250}, {14, 150}, {7, 120}};

}  // namespace

const TTermes& TermesMelange() { return Melange; }

std::vector<TCasValidation> MatriceValidation(bool complete) {
  std::vector<TCasValidation> m;
  const TConditions propre70{5.2, 70, 256, 256, 1.0, false};
  const TConditions camera70{5.2, 70, 256, 240, 3.0, true};
  m.push_back(Cas("bord seul, f/5, R 70", Newton200f5, propre70, BordSeul, 0.25, -0.5));
  m.push_back(Cas("mélange, f/5, R 70, caméra", Newton200f5, camera70, Melange, 1.75, 0.5));
  m.push_back(Cas("fort, f/4, ε 0.36, R 70", Newton200f4, propre70, Fort, -0.5, 0.75));
  m.push_back(Cas("Z5 seul 30 nm, lunette f/8, R 40", Refracteur150f8,
                  {3.76, 40, 144, 128, 2.0, false}, {{5, 30}}, 0.5, 0.25));
  if (!complete) return m;
  m.push_back(Cas("laplacien, f/5, R 70", Newton200f5, propre70, Laplacien, 0, 0));
  m.push_back(Cas("mélange, f/5, R 70", Newton200f5, propre70, Melange, 0.5, 0.25));
  m.push_back(Cas("bord seul, f/5, R 70, caméra", Newton200f5, camera70, BordSeul, -1.25, 0.75));
  m.push_back(Cas("fort, f/4, ε 0.36, R 70, caméra", Newton200f4, camera70, Fort, 0.75, 1.25));
  m.push_back(Cas("mélange, f/4, ε 0.36, R 100", Newton200f4, {5.2, 100, 340, 320, 1.5, false},
                  Melange, 0.25, 0.5));
  m.push_back(Cas("mélange, f/8, R 40, caméra", Refracteur150f8,
                  {3.76, 40, 150, 136, 4.0, true, 8000}, Melange, -0.25, 0.5));
  m.push_back(Cas("bord seul, f/8, R 40", Refracteur150f8, {3.76, 40, 144, 144, 1.0, false},
                  BordSeul, 0.5, 0));
  m.push_back(Cas("mélange, f/10, ε 0.3, R 100, caméra", Cassegrain250f10,
                  {5.2, 100, 330, 300, 2.5, true}, Melange, 1.5, -0.75));
  m.push_back(Cas("laplacien, f/10, ε 0.3, R 150", Cassegrain250f10,
                  {3.76, 150, 480, 456, 1.5, false}, Laplacien, 0.5, 0.5));
  m.push_back(Cas("bord seul, f/10, ε 0.3, R 150, caméra", Cassegrain250f10,
                  {3.76, 150, 490, 470, 3.5, true}, BordSeul, -0.75, 0.25));
  m.push_back(Cas("Z9 seul 20 nm, f/5, R 70", Newton200f5, propre70, {{9, 20}}, 0.25, 0.25));
  m.push_back(Cas("Z14 seul 250 nm, f/5, R 100", Newton200f5, {5.2, 100, 330, 330, 1.0, false},
                  {{14, 250}}, 0, 0.5));
  m.push_back(Cas("mélange, f/5, R 70, étoile faible", Newton200f5,
                  {5.2, 70, 250, 260, 3.0, true, 600}, Melange, 0.5, -0.25));
  return m;
}

TResultatCas EvaluerCas(const TCasValidation& cas, const TkwValue& prefs) {
  TResultatCas res;
  const TJeuZernike jeu = ConstruireJeuZernike(prefs.NPolyZern, prefs.ModePoly);
  TPupille intra, extra;
  for (auto [im, estIntra] : {std::pair{&intra, true}, std::pair{&extra, false}}) {
    const TCameraSimulee& cam = estIntra ? cas.Intra : cas.Extra;
    im->Allouer(cam.Largeur, cam.Hauteur);
    im->Donnees = SimulerImage(cas.Telescope, cam, SpectreLarge(), estIntra);
    PreparerImage(*im, prefs, !estIntra);
  }
  TParametresTest p;
  p.DistanceFocale = cas.Telescope.FocaleMm * 1e6;
  p.RayonInstrument = cas.Telescope.DiametreMm * 5e5;
  // What the pair says: the mean of the two planes' distances from focus.
  p.Defocalisation = (cas.Intra.DefocalisationMm + cas.Extra.DefocalisationMm) / 2 * 1e6;
  p.ImageIntra = &intra;
  p.ImageExtra = &extra;
  p.ParametresValides = true;
  TSansProgression progression;
  std::unique_ptr<TRoddier> test;
  try {
    test = ReconstruireSimple(p, prefs, jeu, progression);
  } catch (const std::exception& e) {
    res.Erreur = e.what();
    return res;
  }
  TPupille& f = *test->FrontOnde;
  f.MoyenneEcartType();
  res.RMSMesure = f.EcartType;
  res.Passes = test->PassesEffectuees;
  res.RayonVraiPx = RayonImagePixels(cas.Telescope, cas.Intra);
  res.RayonMesurePx = f.RayonPupille;
  res.ObstructionMesuree = f.Obstruction;
  double somme = 0, vrai = 0;
  for (int j = 0; j < NMaxZern; ++j) {
    const double fn = jeu.FacteurNorm[j] != 0 ? jeu.FacteurNorm[j] : 1;
    res.VraisRMS[j] = cas.Telescope.CoefficientsNm[j] / fn;
    res.MesuresRMS[j] = j < jeu.NbTermes ? f.Coefficients[j] / fn : 0;
    if (j >= 4 && j < 22) somme += std::pow(res.MesuresRMS[j] - res.VraisRMS[j], 2);
    if (j >= 4 && j < jeu.NbTermes && f.Selection[j]) vrai += res.VraisRMS[j] * res.VraisRMS[j];
  }
  res.ErreurRMS = std::sqrt(somme);
  res.RMSVrai = std::sqrt(vrai);
  return res;
}

std::string EcartAuxCibles(const TCasValidation& cas, const TResultatCas& r) {
  if (!r.Erreur.empty()) return "refusé : " + r.Erreur;
  std::ostringstream o;
  const double limite = cas.Realiste ? 6 : 3;
  const double rms = cas.Realiste ? 0.10 : 0.05;
  if (r.ErreurRMS > limite) o << "erreur " << r.ErreurRMS << " nm > " << limite << " nm; ";
  if (std::fabs(r.RMSMesure - r.RMSVrai) > rms * r.RMSVrai)
    o << "RMS " << r.RMSMesure << " nm pour " << r.RMSVrai << " nm; ";
  if (!cas.Realiste)
    for (int j = 4; j < 22; ++j) {
      const double e = std::fabs(r.MesuresRMS[j] - r.VraisRMS[j]);
      if (e > std::max(2.0, 0.05 * std::fabs(r.VraisRMS[j])))
        o << "Z" << j + 1 << " " << r.MesuresRMS[j] << " pour " << r.VraisRMS[j] << "; ";
    }
  return o.str();
}

}  // namespace quelvane::outils
