#include "support/cas_series.h"

#include <cmath>

#include "analysis/analyse_front.h"
#include "analysis/empilement.h"
#include "analysis/preparation.h"
#include "analysis/reconstruction.h"
#include "support/cas_validation.h"

namespace quelvane::outils {

namespace {

struct TOptique {
  double DiametreMm, FocaleMm, Obstruction, PixelMicrons;
  double RayonPx;  // of the pupil images
  int Cote;        // of the frames
};

const TOptique Newton200f5{200, 1000, 0.25, 5.2, 45, 160};
const TOptique Newton200f4{200, 800, 0.36, 5.2, 45, 160};
const TOptique Refracteur150f8{150, 1200, 0, 3.76, 40, 144};

struct TConditions {
  double R0Mm;
  int Images;
  double Plateau = 3000;  // ADU, one frame
  double Agitation = 1.5;
};

TCasSerie Cas(const std::string& nom, const TOptique& o, const TConditions& k,
              const TTermes& termes, std::uint64_t graine) {
  TCasSerie c;
  c.Nom = nom;
  TSerieSimulee s;
  s.Telescope.DiametreMm = o.DiametreMm;
  s.Telescope.FocaleMm = o.FocaleMm;
  s.Telescope.Obstruction = o.Obstruction;
  for (auto [j, v] : termes) s.Telescope.CoefficientsNm[j - 1] = v;
  TCameraSimulee& cam = s.Camera;
  cam.PixelMicrons = o.PixelMicrons;
  cam.Largeur = cam.Hauteur = o.Cote;
  cam.DefocalisationMm = o.RayonPx * o.PixelMicrons * 1e-3 * o.FocaleMm / (o.DiametreMm / 2);
  cam.SousPixels = 0;
  cam.Plateau = k.Plateau;
  cam.Fond = 100;
  cam.Biais = 256;
  cam.Bruit = true;
  cam.BruitLecture = 3;
  s.Images = k.Images;
  s.Atmosphere.R0Mm = k.R0Mm;
  s.Atmosphere.AgitationPixels = k.Agitation;
  c.Intra = c.Extra = s;
  c.Intra.Intra = true;
  c.Extra.Intra = false;
  c.Intra.Graine = graine;
  c.Extra.Graine = graine + 1;
  return c;
}

}  // namespace

std::vector<TCasSerie> MatriceSeries(bool complete) {
  std::vector<TCasSerie> m;
  // The poorer the seeing, the more frames a user records: the atmosphere falls as their root.
  m.push_back(Cas("r0 100 mm, 60 images", Newton200f5, {100, 60}, TermesMelange(), 10));
  m.push_back(Cas("r0 150 mm, 40 images", Newton200f5, {150, 40}, TermesMelange(), 11));
  m.push_back(Cas("r0 120 mm, 48 images", Newton200f5, {120, 48}, TermesMelange(), 12));
  if (!complete) return m;
  m.push_back(Cas("r0 70 mm, 200 images", Newton200f5, {70, 200}, TermesMelange(), 13));
  m.push_back(Cas("r0 100 mm, 150 images, étoile faible", Newton200f5, {100, 150, 700},
                  TermesMelange(), 14));
  m.push_back(Cas("r0 100 mm, 100 images, forte agitation", Newton200f5, {100, 100, 3000, 5},
                  TermesMelange(), 15));
  m.push_back(
      Cas("f/4, ε 0.36, r0 120 mm, 80 images", Newton200f4, {120, 80}, TermesMelange(), 16));
  m.push_back(
      Cas("lunette f/8, r0 100 mm, 100 images", Refracteur150f8, {100, 100}, TermesMelange(), 17));
  TCasSerie mosaique =
      Cas("mosaïque de Bayer, r0 120 mm, 80 images", Newton200f5, {120, 80}, TermesMelange(), 18);
  mosaique.Intra.Mosaique = mosaique.Extra.Mosaique = true;
  m.push_back(mosaique);
  TCasSerie champ = Cas("autre étoile et rayons cosmiques, r0 120 mm, 80 images", Newton200f5,
                        {120, 80}, TermesMelange(), 19);
  for (TSerieSimulee* s : {&champ.Intra, &champ.Extra}) {
    s->Camera.Largeur = 300;
    s->Camera.DecalageX = -60;
    s->RayonsCosmiques = 3;
  }
  champ.Intra.AutresEtoiles = {{126, 20, 0.6}};
  champ.Extra.AutresEtoiles = {{126, -20, 0.6}};
  m.push_back(champ);
  return m;
}

TResultatSerie EvaluerSerie(const TCasSerie& cas, const TkwValue& prefs) {
  TResultatSerie r;
  const TSerieSimuleeEnMemoire mi(cas.Intra), me(cas.Extra);
  TSansProgression p;
  const TJeuZernike jeu = ConstruireJeuZernike(prefs.NPolyZern, prefs.ModePoly);
  std::unique_ptr<TRoddier> test;
  try {
    TOptionsEmpilement o;
    o.PourcentGarde = prefs.PartEmpilement;
    const TEmpilement ei = Empiler(mi, o, p, "intra-focale");
    const TEmpilement ee = Empiler(me, o, p, "extra-focale");
    r.Lues = ei.Lues;
    r.GardeesIntra = ei.Gardees;
    r.GardeesExtra = ee.Gardees;
    const std::shared_ptr<TPupille> a = ImageEmpilee(ei), b = ImageEmpilee(ee);
    PreparerImage(*a, prefs, false);
    PreparerImage(*b, prefs, true);
    TParametresTest param;
    param.DistanceFocale = cas.Intra.Telescope.FocaleMm * 1e6;
    param.RayonInstrument = cas.Intra.Telescope.DiametreMm * 5e5;
    param.Defocalisation = cas.Intra.Camera.DefocalisationMm * 1e6;
    param.ImageIntra = a.get();
    param.ImageExtra = b.get();
    test = ReconstruireSimple(param, prefs, jeu, p);
  } catch (const std::exception& e) {
    r.Erreur = e.what();
    return r;
  }
  TPupille& f = *test->FrontOnde;
  f.MoyenneEcartType();
  r.RMSMesure = f.EcartType;
  const TIncertitudes u = Incertitudes(f, jeu);
  r.Methode = u.Methode;
  r.MesuresRMS = f.Coefficients;
  r.EcartsRMS = u.Coefficients;
  r.VraisRMS = cas.Intra.Telescope.CoefficientsNm;
  CoefVersRMS(jeu, r.MesuresRMS);
  CoefVersRMS(jeu, r.EcartsRMS);
  CoefVersRMS(jeu, r.VraisRMS);
  double vrai = 0;
  for (int j = 4; j < 22; ++j) {
    const double e = r.MesuresRMS[j] - r.VraisRMS[j];
    r.ErreurRMS += e * e;
    r.DansUnSigma += std::fabs(e) <= r.EcartsRMS[j];
    if (f.Selection[j]) vrai += r.VraisRMS[j] * r.VraisRMS[j];
  }
  r.ErreurRMS = std::sqrt(r.ErreurRMS);
  r.RMSVrai = std::sqrt(vrai);
  return r;
}

}  // namespace quelvane::outils
