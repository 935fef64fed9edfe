#include "analysis/preparation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "analysis/saturation.h"
#include "analysis/statistiques_robustes.h"
#include "core/mathematiques.h"
#include "core/parallele.h"
#include "files/fits.h"
#include "files/nombres.h"

namespace quelvane {

bool PreparerImage(TPupille& image, const TkwValue& prefs, bool extraFocale,
                   std::optional<std::pair<double, double>> pointee, const std::string& nom) {
  if (image.NX < TailleImageMin || image.NY < TailleImageMin) return false;
  image.RayonZone = 0;
  TChampEtoiles champ = TrouverEtoiles(image);
  if (const auto etoile = ChoisirEtoile(champ, pointee))
    DefinirZone(image, *etoile);
  else if (pointee)
    throw ErreurTest(RaisonSansEtoile(champ, nom, true));
  image.SeuilAutomatique(prefs.ExtractDim, prefs.ExtractSeuil);
  image.TrouverPupille();
  image.AxesPupille();
  image.MinMax();
  image.SeuilBas = image.Mini;
  image.SeuilHaut = image.Maxi;
  image.Contraste = 1;
  if (extraFocale) {
    image.Symetrie180();
    image.Role = RoleExtra;
  } else {
    image.Role = RoleIntra;
  }
  // The test looks for its star again on these very samples: found here once for both. Only
  // the turn changed them since the search; a turned image is searched again as it now stands.
  RetenirEtoiles(image, extraFocale ? TrouverEtoiles(image) : std::move(champ));
  return true;
}

void DefinirZone(TPupille& image, const TEtoile& etoile) {
  image.ZoneX = etoile.CentreX;
  image.ZoneY = etoile.CentreY;
  image.RayonZone = RayonLumiere(etoile.Rayon);
}

bool ChoisirEtoileImage(TPupille& image, double colonne, double ligne, const TkwValue& prefs) {
  const auto etoile = ChoisirEtoile(EtoilesDe(image), std::pair{colonne, ligne});
  if (!etoile) return false;
  DefinirZone(image, *etoile);
  image.SeuilAutomatique(prefs.ExtractDim, prefs.ExtractSeuil);
  image.TrouverPupille();
  image.AxesPupille();
  return true;
}

std::shared_ptr<TPupille> CopieImage(const TPupille& source) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(source.NX, source.NY);
  p->CopierPupille(source);
  return p;
}

namespace {

constexpr long EchantillonsFondMin = 256;
constexpr std::size_t EchantillonsFondMax = 100000;  // a full frame is sampled, not copied

std::string Quelle(const std::string& nom) { return "l'image " + nom; }

}  // namespace

TFond MesurerFond(const TPupille& image, double centreX, double centreY, double rayon,
                  const std::string& nom, const TRegionFond& region) {
  const double limite = RayonLumiere(rayon);
  // Within the square of the test's grid, or the whole frame.
  const double demi = region.DemiCote > 0 ? region.DemiCote : image.NX + image.NY;
  auto borne = [](double v, int n) { return static_cast<int>(std::clamp(v, 0.0, n - 1.0)); };
  const int c0 = borne(std::floor(centreX - 1 - demi), image.NX);
  const int c1 = borne(std::ceil(centreX - 1 + demi), image.NX);
  const int l0 = borne(std::floor(centreY - 1 - demi), image.NY);
  const int l1 = borne(std::ceil(centreY - 1 + demi), image.NY);
  const double total = static_cast<double>(c1 - c0 + 1) * (l1 - l0 + 1);
  const int pas = std::max(1, static_cast<int>(std::ceil(std::sqrt(total / EchantillonsFondMax))));
  std::vector<TPointPlan> points;
  points.reserve(static_cast<std::size_t>((l1 - l0) / pas + 1) * ((c1 - c0) / pas + 1));
  for (int r = l0; r <= l1; r += pas)
    for (int c = c0; c <= c1; c += pas) {
      const double x = c + 1 - centreX, y = r + 1 - centreY;
      if (std::fabs(x) > demi || std::fabs(y) > demi) continue;
      if (x * x + y * y <= limite * limite || !std::isfinite(image.V(r, c))) continue;
      if (DansUnDisque(region.Exclus, c + 1, r + 1)) continue;
      points.push_back({x, y, image.V(r, c)});
    }
  if (static_cast<long>(points.size()) < EchantillonsFondMin / (pas * pas) + 16)
    throw ErreurTest("Fond de " + Quelle(nom) +
                     " impossible à mesurer : il n'y a presque rien autour de la pupille "
                     "(la pupille remplit l'image ou touche ses bords).");

  // From the median, the plane through what lies within 3σ of it, σ from the median absolute
  // deviation, a few times over.
  double p[3];
  TFond f;
  PlanRobuste(points, p, f.Echantillons, f.Bruit);
  f.Niveau = p[0];
  f.PenteX = p[1];
  f.PenteY = p[2];
  f.CentreX = centreX;
  f.CentreY = centreY;
  return f;
}

// Side of the grids of a test: a dozen of them live at once, 32 MB each at 2048².
constexpr int CoteGrilleMax = 2048;

int CoteGrilleTest(double rayon) {
  // The transforms need room around the ring for the solution to continue beyond the pupil.
  const double besoin = std::max(3 * rayon, 2 * RayonLumiere(rayon) + 4);
  int n = 128;
  while (n < besoin && n <= CoteGrilleMax) n *= 2;
  if (n > CoteGrilleMax)
    throw ErreurTest("Pupille trop grande (" + std::to_string(std::lround(rayon)) +
                     " pixels de rayon, " + std::to_string(CoteGrilleMax / 3) +
                     " au plus) : défocalisez moins ou groupez les pixels (binning).");
  return n;
}

namespace {

// The test star in its frame, before the background is measured.
struct TEstimation {
  double CentreX = 0, CentreY = 0, Rayon = 0;  // 1-based, pixels of the frame
  double Demi = 0;              // a first level to cut the pupil at, above the background (ADU)
  std::vector<TDisque> Autres;  // the other stars' light
  double FondBrut = 0;          // ADU: what their light is replaced by when nothing is subtracted
};

// Pixels added around another star's light: its seeing halo and the uncertainty of its size.
double MargeAutresEtoiles(double rayon) { return std::max(3.0, 0.1 * rayon); }

// A `cote` square of the image whose first column and row are (c0, r0), 0-based, with the
// background plane subtracted; outside the frame, 0 (the background once subtracted). The
// light of other stars (outside the test star's own light) takes the background's place.
std::shared_ptr<TPupille> Decouper(const TPupille& image, int c0, int r0, int cote,
                                   const TFond* fond, const TEstimation& etoile,
                                   const TSaturation& saturation, TGrilleReelle& satures) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(cote, cote);
  satures = TGrilleReelle();
  if (saturation.Pixels > 0) satures.Allouer(1, cote, cote);
  p->Role = image.Role;
  p->Seuil = image.Seuil;
  const double lumiere = RayonLumiere(etoile.Rayon);
  for (int r = 0; r < cote; ++r) {
    const int ra = r0 + r;
    if (ra < 0 || ra >= image.NY) continue;
    for (int c = 0; c < cote; ++c) {
      const int ca = c0 + c;
      if (ca < 0 || ca >= image.NX) continue;
      const double v = image.V(ra, ca);
      const double x = ca + 1 - etoile.CentreX, y = ra + 1 - etoile.CentreY;
      const bool dehors = x * x + y * y > lumiere * lumiere;
      if (dehors && DansUnDisque(etoile.Autres, ca + 1, ra + 1))
        p->V(r, c) = fond ? 0 : etoile.FondBrut;
      else
        p->V(r, c) = !std::isfinite(v) ? 0 : fond ? v - fond->Valeur(ca + 1, ra + 1) : v;
      if (saturation.Pixels > 0 && !dehors && v >= saturation.Niveau) satures(r, c) = 1;
    }
  }
  return p;
}

// A sample beyond every one of its eight neighbours by more than the noise allows is a hot
// (or dead) pixel, not light: it takes the median of its neighbours.
void RetirerPixelsIsoles(TPupille& im, double bruit) {
  if (im.NX < 3 || im.NY < 3) return;
  const int nx = im.NX;
  // The rows above and at the sample as they were before any was replaced; the row below is
  // still untouched.
  std::vector<double> dessus(im.Donnees.Ligne(0), im.Donnees.Ligne(0) + nx);
  std::vector<double> courante(static_cast<std::size_t>(nx));
  // The least and greatest of each sample's eight neighbours, a row at a time (this loop
  // vectorises); only the samples beyond that range by more than the least tolerance are
  // looked at again.
  std::vector<double> mn(static_cast<std::size_t>(nx)), mx(mn.size());
  std::array<double, 8> v{};
  const double marge = 6 * bruit;
  for (int r = 1; r < im.NY - 1; ++r) {
    std::copy_n(im.Donnees.Ligne(r), nx, courante.begin());
    const double* h = dessus.data();
    const double* l = courante.data();
    const double* b = im.Donnees.Ligne(r + 1);
    for (int c = 1; c < nx - 1; ++c) {
      const double a = std::min(std::min(h[c - 1], h[c]), std::min(h[c + 1], l[c - 1]));
      const double z = std::min(std::min(l[c + 1], b[c - 1]), std::min(b[c], b[c + 1]));
      const double p = std::max(std::max(h[c - 1], h[c]), std::max(h[c + 1], l[c - 1]));
      const double q = std::max(std::max(l[c + 1], b[c - 1]), std::max(b[c], b[c + 1]));
      mn[c] = std::min(a, z);
      mx[c] = std::max(p, q);
    }
    for (int c = 1; c < nx - 1; ++c) {
      const double x = l[c];
      if (x <= mx[c] + marge && x >= mn[c] - marge) continue;
      v = {h[c - 1], h[c], h[c + 1], l[c - 1], l[c + 1], b[c - 1], b[c], b[c + 1]};
      std::nth_element(v.begin(), v.begin() + 4, v.end());
      const double med = v[4];
      const double tolerance = std::max(marge, 0.5 * std::fabs(med));
      if (x > mx[c] + tolerance || x < mn[c] - tolerance) im.V(r, c) = med;
    }
    dessus.swap(courante);
  }
}

// Squared distance in pixels of sample (r, c) from the pupil centre.
double Distance2(const TPupille& im, int r, int c) {
  const double x = c + 1 - im.CentreX, y = r + 1 - im.CentreY;
  return x * x + y * y;
}

double Flux(const TPupille& im) {
  const double limite = RayonLumiere(im.RayonPupille);
  double s = 0;
  for (int r = 0; r < im.NY; ++r)
    for (int c = 0; c < im.NX; ++c)
      if (Distance2(im, r, c) <= limite * limite) s += im.V(r, c);
  return s;
}

// Level of the illuminated pupil: the median of the mask's samples well inside the edge.
double Plateau(const TPupille& im) {
  std::vector<double> v;
  for (int r = 0; r < im.NY; ++r)
    for (int c = 0; c < im.NX; ++c)
      if (im.M(r, c) == 1 && Distance2(im, r, c) < std::pow(0.85 * im.RayonPupille, 2))
        v.push_back(im.V(r, c));
  return Mediane(std::move(v));
}

// The illumination of the geometric pupil is its flux over its area (light is only moved
// around by diffraction, seeing and the aberrations), and a diffracted edge crosses a quarter
// of it where the geometric shadow lies. A plateau read inside the image would carry the
// diffraction ripples near the edge and set the edge a few per cent too far in. Starting from
// the pupil found so far, a few rounds bring the threshold and the pupil into agreement.
void SeuillerSurIllumination(TPupille& im, int pourcentSeuil) {
  for (int tour = 0; tour < 4 && im.RayonPupille > 0; ++tour) {
    im.AxesPupille();
    im.CalculerObstruction();
    const double e = std::min(im.Obstruction, 0.9);
    const double aire = std::numbers::pi * im.RayonPupille * im.RayonPupille * (1 - e * e);
    const double illumination = Flux(im) / aire;
    if (!(illumination > 0)) return;
    im.Seuil = pourcentSeuil / 100.0 * illumination;
    im.Seuiller();
    im.TrouverPupille();
  }
}

void ExigerPupille(const TPupille& im, const std::string& nom) {
  if (im.RayonPupille <= 0)
    throw ErreurTest("Aucune pupille trouvée dans " + Quelle(nom) + " au seuil d'extraction.");
  if (im.RayonPupille < RayonPupilleMin)
    throw ErreurTest("La pupille de " + Quelle(nom) + " est trop petite (" +
                     std::to_string(static_cast<int>(std::lround(im.RayonPupille))) +
                     " pixels de rayon) : défocalisez davantage.");
}

// The test star (the one the user chose, else the brightest complete one), where it lies before
// anything is known of the background, and the other stars' light.
TEstimation EstimerPupille(const TPupille& image, const std::string& nom) {
  const TChampEtoiles champ = EtoilesDe(image);
  std::optional<std::pair<double, double>> pres;
  if (image.RayonZone > 0) pres = std::pair{image.ZoneX, image.ZoneY};
  const auto etoile = ChoisirEtoile(champ, pres);
  if (!etoile) throw ErreurTest(RaisonSansEtoile(champ, nom, pres.has_value()));
  TEstimation e;
  e.CentreX = etoile->CentreX;
  e.CentreY = etoile->CentreY;
  e.Rayon = etoile->Rayon;
  // Half the mean illumination of its disc.
  e.Demi = 0.5 * etoile->Flux / (std::numbers::pi * e.Rayon * e.Rayon);
  e.Autres = AutresEtoiles(champ, *etoile, MargeAutresEtoiles(e.Rayon));
  e.FondBrut = champ.Fond;
  return e;
}

// Share of a pupil's area beyond which a clipped image is refused.
constexpr double PartSatureeMax = 0.25;

struct TImagePreparee {
  std::shared_ptr<TPupille> Image;
  TFond Fond;
  int Colonne = 0, Ligne = 0;
  TSaturation Saturation;
  TGrilleReelle Satures;  // 1 where the cut's sample was clipped; empty when none was
};

TSaturation SaturationDe(const TPupille& image, const TEstimation& e, const TFond* fond) {
  return MesurerSaturation(image, e.CentreX, e.CentreY, RayonLumiere(e.Rayon),
                           PleineEchelleFITS(image.Infos), fond ? fond->Niveau : e.FondBrut,
                           fond ? fond->Bruit : 0);
}

// Background measured around the pupil found so far, then again around the pupil found on
// the subtracted image, which hot pixels and the bias no longer disturb.
TImagePreparee Preparer(const TPupille& image, TEstimation estimation, int cote, bool corriger,
                        int pourcentSeuil, int extractDim, const std::string& nom) {
  TImagePreparee p;
  double cx = estimation.CentreX, cy = estimation.CentreY, rayon = estimation.Rayon;
  // A threshold the user chose by hand is kept (above the background); the automatic one is
  // taken again on the subtracted image, as a share of the pupil's plateau.
  const bool seuilManuel = std::fabs(image.Seuil - image.SeuilDesBlocs(extractDim, pourcentSeuil)) >
                           1e-9 * (std::fabs(image.Seuil) + 1);
  for (int tour = 0; tour < 2; ++tour) {
    p.Colonne = static_cast<int>(std::lround(cx - 1 - cote / 2.0));
    p.Ligne = static_cast<int>(std::lround(cy - 1 - cote / 2.0));
    if (!corriger) {
      p.Saturation = SaturationDe(image, estimation, nullptr);
      p.Image =
          Decouper(image, p.Colonne, p.Ligne, cote, nullptr, estimation, p.Saturation, p.Satures);
      p.Image->Seuiller();
      p.Image->TrouverPupille();
      ExigerPupille(*p.Image, nom);
      return p;
    }
    estimation.CentreX = cx, estimation.CentreY = cy, estimation.Rayon = rayon;
    p.Fond = MesurerFond(image, cx, cy, rayon, nom, {estimation.Autres, cote / 2.0});
    p.Saturation = SaturationDe(image, estimation, &p.Fond);
    p.Image =
        Decouper(image, p.Colonne, p.Ligne, cote, &p.Fond, estimation, p.Saturation, p.Satures);
    RetirerPixelsIsoles(*p.Image, p.Fond.Bruit);
    TPupille& im = *p.Image;
    // By hand: the same level above the background; otherwise a first mask at half height.
    im.Seuil = seuilManuel ? image.Seuil - p.Fond.Niveau : estimation.Demi;
    im.Seuiller();
    im.TrouverPupille();
    if (!seuilManuel && tour == 1) SeuillerSurIllumination(im, pourcentSeuil);
    ExigerPupille(im, nom);
    cx = im.CentreX + p.Colonne;
    cy = im.CentreY + p.Ligne;
    rayon = im.RayonPupille;
  }
  // The whole disc must be in the frame: a cut pupil has lost part of its edge signal.
  if (cx - rayon < 0 || cy - rayon < 0 || cx + rayon > image.NX + 1 || cy + rayon > image.NY + 1)
    throw ErreurTest("La pupille de " + Quelle(nom) +
                     " touche le bord de l'image : elle doit y être entière.");
  return p;
}

}  // namespace

std::vector<std::string> AvertissementsPreparation(const TPreparationPaire& p) {
  std::vector<std::string> a;
  auto paire = [](long i, long e) {
    std::string t;
    if (i > 0) t += "intra " + std::to_string(i);
    if (e > 0) t += std::string(t.empty() ? "" : ", ") + "extra " + std::to_string(e);
    return t;
  };
  if (p.PixelsSaturesIntra > 0 || p.PixelsSaturesExtra > 0)
    a.push_back("Pixels saturés (" + paire(p.PixelsSaturesIntra, p.PixelsSaturesExtra) +
                ") : gardés hors du signal ; le front y est interpolé. Réduisez la pose.");
  if (p.ManquantsIntra > 0 || p.ManquantsExtra > 0)
    a.push_back("Echantillons manquants dans le fichier (" +
                paire(p.ManquantsIntra, p.ManquantsExtra) +
                ") : remplacés par la moyenne de leurs voisins.");
  return a;
}

TPaireTest PreparerPaire(const TPupille& intra, const TPupille& extra, const TkwValue& prefs) {
  const bool corriger = prefs.CorrectionFond;
  // Without the correction the pupil is the one the user sees (threshold as set); with it,
  // one found whatever the bias, the sky and hot pixels.
  auto estimer = [&](const TPupille& im, const std::string& nom) {
    if (corriger) return EstimerPupille(im, nom);
    ExigerPupille(im, nom);
    TEstimation e;
    e.CentreX = im.CentreX, e.CentreY = im.CentreY, e.Rayon = im.RayonPupille;
    const TChampEtoiles champ = EtoilesDe(im);
    if (const auto etoile = ChoisirEtoile(champ, std::pair{im.CentreX, im.CentreY}))
      e.Autres = AutresEtoiles(champ, *etoile, MargeAutresEtoiles(e.Rayon));
    e.FondBrut = champ.Fond;
    return e;
  };
  // The two sides are independent until the grid they share: one task each (an error is
  // the intra side's first, as if done in turn).
  const TPupille* images[2] = {&intra, &extra};
  const char* noms[2] = {"intra-focale", "extra-focale"};
  TEstimation estimations[2];
  PourChaque(2, [&](int k) { estimations[k] = estimer(*images[k], noms[k]); });
  const TEstimation &ei = estimations[0], &ee = estimations[1];
  const int cote = CoteGrilleTest(std::max(ei.Rayon, ee.Rayon));
  std::optional<TImagePreparee> preparees[2];
  PourChaque(2, [&](int k) {
    preparees[k].emplace(Preparer(*images[k], estimations[k], cote, corriger, prefs.ExtractSeuil,
                                  prefs.ExtractDim, noms[k]));
  });
  TImagePreparee i = std::move(*preparees[0]);
  TImagePreparee e = std::move(*preparees[1]);
  TPaireTest paire;
  TPreparationPaire& prep = paire.Preparation;
  prep.FondCorrige = corriger;
  prep.Cote = cote;
  prep.ColonneIntra = i.Colonne, prep.LigneIntra = i.Ligne;
  prep.ColonneExtra = e.Colonne, prep.LigneExtra = e.Ligne;
  prep.ManquantsIntra = intra.Infos.Manquants;
  prep.ManquantsExtra = extra.Infos.Manquants;
  prep.PixelsSaturesIntra = i.Saturation.Pixels;
  prep.PixelsSaturesExtra = e.Saturation.Pixels;
  // A pupil clipped over a large part has no signal left to speak of.
  for (const TImagePreparee* p : {&i, &e}) {
    const TPupille& im = *p->Image;
    const double aire = std::numbers::pi * im.RayonPupille * im.RayonPupille;
    const double part = aire > 0 ? static_cast<double>(p->Saturation.Pixels) / aire : 0;
    if (part > PartSatureeMax)
      throw ErreurTest(std::string("L'image ") + (p == &i ? "intra-focale" : "extra-focale") +
                       " est saturée sur " + std::to_string(std::lround(100 * part)) +
                       " % de sa pupille : réduisez la pose ou le gain.");
  }
  paire.SaturesIntra = std::move(i.Satures);
  paire.SaturesExtra = std::move(e.Satures);
  if (corriger) {
    prep.FondIntra = i.Fond;
    prep.FondExtra = e.Fond;
    // Each image's plateau and flux on its own task.
    double plateaux[2], flux[2];
    PourChaque(2, [&](int k) {
      const TPupille& im = *(k == 0 ? i : e).Image;
      plateaux[k] = Plateau(im);
      flux[k] = Flux(im);
    });
    for (const TImagePreparee* p : {&i, &e}) {
      const double plateau = plateaux[p == &i ? 0 : 1];
      if (!(plateau > 5 * p->Fond.Bruit) || !(plateau > 0))
        throw ErreurTest(std::string("La pupille de l'image ") +
                         (p == &i ? "intra-focale" : "extra-focale") +
                         " disparaît une fois le fond soustrait : l'étoile est trop faible "
                         "devant le bruit du fond.");
    }
    const double fi = flux[0], fe = flux[1];
    prep.RapportFlux = fi > 0 ? fe / fi : 0;
    if (!(prep.RapportFlux >= 0.2 && prep.RapportFlux <= 5))
      throw ErreurTest("Les flux des deux images sont trop différents (rapport extra/intra " +
                       FormaterFixe(prep.RapportFlux, 2) +
                       ") : ce ne sont pas deux images de la même étoile dans les mêmes "
                       "conditions.");
    TPupille& ex = *e.Image;
    ex.Multiplier(1 / prep.RapportFlux);
    ex.Seuil /= prep.RapportFlux;
    ex.Seuiller();
    ex.TrouverPupille();
  }
  for (TPupille* im : {i.Image.get(), e.Image.get()}) im->AxesPupille();
  paire.Intra = std::move(i.Image);
  paire.Extra = std::move(e.Image);
  return paire;
}

}  // namespace quelvane
