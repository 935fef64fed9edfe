#include "analysis/preparation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "core/mathematiques.h"
#include "files/nombres.h"

namespace quelvane {

bool PreparerImage(TPupille& image, const TkwValue& prefs, bool extraFocale) {
  if (image.NX < TailleImageMin || image.NY < TailleImageMin) return false;
  image.SeuilAutomatique(prefs.ExtractDim, prefs.ExtractSeuil);
  image.TrouverPupille();
  image.AxesPupille();
  image.MinMax();
  image.SeuilBas = image.Mini;
  image.SeuilHaut = image.Maxi;
  image.Contraste = 1;
  if (extraFocale) {
    // The centre found above is not mirrored: the reconstruction finds it again.
    image.Symetrie180();
    image.Role = RoleExtra;
  } else {
    image.Role = RoleIntra;
  }
  return true;
}

std::shared_ptr<TPupille> CopieImage(const TPupille& source) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(source.NX, source.NY);
  p->CopierPupille(source);
  return p;
}

namespace {

// Beyond this distance from the pupil centre (pixels) an image holds only background: the
// edge's light, spread by diffraction and seeing, stays well inside it.
double RayonLumiere(double rayon) { return 1.3 * rayon + 4; }

constexpr long EchantillonsFondMin = 256;
constexpr std::size_t EchantillonsFondMax = 100000;  // a full frame is sampled, not copied

double Mediane(std::vector<double> v) {
  if (v.empty()) return 0;
  const auto milieu = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), milieu, v.end());
  return *milieu;
}

struct TPoint {
  double x, y, v;  // column and row from the centre, value
};

// Least-squares plane through the kept points; false when they do not fix one.
bool Plan(const std::vector<TPoint>& points, const std::vector<char>& garde, double p[3]) {
  double a[3][4] = {};
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!garde[i]) continue;
    const double u[3] = {1, points[i].x, points[i].y};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) a[r][c] += u[r] * u[c];
      a[r][3] += u[r] * points[i].v;
    }
  }
  // Gauss–Jordan with partial pivoting on the 3 × 3 normal equations.
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (std::fabs(a[pivot][c]) < 1e-9 * (std::fabs(a[0][0]) + 1)) return false;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < 3; ++r) {
      if (r == c) continue;
      const double k = a[r][c] / a[c][c];
      for (int k2 = c; k2 < 4; ++k2) a[r][k2] -= k * a[c][k2];
    }
  }
  for (int r = 0; r < 3; ++r) p[r] = a[r][3] / a[r][r];
  return true;
}

std::string Quelle(const std::string& nom) { return "l'image " + nom; }

}  // namespace

TFond MesurerFond(const TPupille& image, double centreX, double centreY, double rayon,
                  const std::string& nom) {
  const double limite = RayonLumiere(rayon);
  const double total = static_cast<double>(image.NX) * image.NY;
  const int pas = std::max(1, static_cast<int>(std::ceil(std::sqrt(total / EchantillonsFondMax))));
  std::vector<TPoint> points;
  for (int r = 0; r < image.NY; r += pas)
    for (int c = 0; c < image.NX; c += pas) {
      const double x = c + 1 - centreX, y = r + 1 - centreY;
      if (x * x + y * y > limite * limite && std::isfinite(image.V(r, c)))
        points.push_back({x, y, image.V(r, c)});
    }
  if (static_cast<long>(points.size()) < EchantillonsFondMin / (pas * pas) + 16)
    throw ErreurTest("Fond de " + Quelle(nom) +
                     " impossible à mesurer : il n'y a presque rien autour de la pupille "
                     "(la pupille remplit l'image ou touche ses bords).");

  // Start from the median, then fit the plane to what lies within 3σ of it, σ from the
  // median absolute deviation, a few times over.
  double p[3] = {0, 0, 0};
  {
    std::vector<double> v(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) v[i] = points[i].v;
    p[0] = Mediane(std::move(v));
  }
  std::vector<char> garde(points.size(), 1);
  std::vector<double> ecarts(points.size());
  double sigma = 0;
  for (int iteration = 0; iteration < 5; ++iteration) {
    for (std::size_t i = 0; i < points.size(); ++i)
      ecarts[i] = std::fabs(points[i].v - (p[0] + p[1] * points[i].x + p[2] * points[i].y));
    sigma = 1.4826 * Mediane(ecarts);
    const double seuil = 3 * std::max(sigma, 1e-12 * (std::fabs(p[0]) + 1));
    long gardes = 0;
    for (std::size_t i = 0; i < points.size(); ++i) gardes += garde[i] = ecarts[i] <= seuil;
    if (gardes < 16 || !Plan(points, garde, p)) break;
  }
  TFond f;
  f.Niveau = p[0];
  f.PenteX = p[1];
  f.PenteY = p[2];
  f.CentreX = centreX;
  f.CentreY = centreY;
  f.Echantillons = static_cast<long>(std::count(garde.begin(), garde.end(), 1));
  double s2 = 0;
  for (std::size_t i = 0; i < points.size(); ++i)
    if (garde[i]) {
      const double e = points[i].v - (p[0] + p[1] * points[i].x + p[2] * points[i].y);
      s2 += e * e;
    }
  f.Bruit = f.Echantillons > 0 ? std::sqrt(s2 / f.Echantillons) : 0;
  return f;
}

namespace {

// Side of the grids of a test: a dozen of them live at once, 32 MB each at 2048².
constexpr int CoteGrilleMax = 2048;

int CoteGrille(double rayon) {
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

// A `cote` square of the image whose first column and row are (c0, r0), 0-based, with the
// background plane subtracted; outside the frame, 0 (the background once subtracted).
std::shared_ptr<TPupille> Decouper(const TPupille& image, int c0, int r0, int cote,
                                   const TFond* fond) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(cote, cote);
  p->Role = image.Role;
  p->Seuil = image.Seuil;
  for (int r = 0; r < cote; ++r) {
    const int ra = r0 + r;
    if (ra < 0 || ra >= image.NY) continue;
    for (int c = 0; c < cote; ++c) {
      const int ca = c0 + c;
      if (ca < 0 || ca >= image.NX) continue;
      const double v = image.V(ra, ca);
      p->V(r, c) = !std::isfinite(v) ? 0 : fond ? v - fond->Valeur(ca + 1, ra + 1) : v;
    }
  }
  return p;
}

// A sample beyond every one of its eight neighbours by more than the noise allows is a hot
// (or dead) pixel, not light: it takes the median of its neighbours.
void RetirerPixelsIsoles(TPupille& im, double bruit) {
  TGrilleReelle source = im.Donnees;
  std::array<double, 8> v{};
  for (int r = 1; r < im.NY - 1; ++r)
    for (int c = 1; c < im.NX - 1; ++c) {
      int k = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          if (dr != 0 || dc != 0) v[k++] = source(r + dr, c + dc);
      const auto [mn, mx] = std::minmax_element(v.begin(), v.end());
      const double x = source(r, c);
      if (x <= *mx && x >= *mn) continue;
      std::nth_element(v.begin(), v.begin() + 4, v.end());
      const double med = v[4];
      const double tolerance = std::max(6 * bruit, 0.5 * std::fabs(med));
      if (x > *mx + tolerance || x < *mn - tolerance) im.V(r, c) = med;
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

// Where the star lies before anything is known of the background: on a copy binned to at most
// 256 pixels a side and cleaned by a 3 × 3 median (hot pixels, noise), the disc above half
// way from the frame border's level to the brightest level.
struct TEstimation {
  double CentreX = 0, CentreY = 0, Rayon = 0;  // 1-based, pixels of the frame
  double Demi = 0;  // the level it was cut at, above the background (ADU)
};

TEstimation EstimerPupille(const TPupille& image, const std::string& nom) {
  const int b = std::max(1, (std::max(image.NX, image.NY) + 255) / 256);
  const int nx = (image.NX + b - 1) / b, ny = (image.NY + b - 1) / b;
  TGrilleReelle bin(1, ny, nx);
  TGrilleEntiere compte(1, ny, nx);
  for (int r = 0; r < image.NY; ++r)
    for (int c = 0; c < image.NX; ++c)
      if (const double v = image.V(r, c); std::isfinite(v))
        bin(r / b, c / b) += v, ++compte(r / b, c / b);
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c)
      if (compte(r, c) > 0) bin(r, c) /= compte(r, c);
  TGrilleReelle lisse(1, ny, nx);
  std::array<double, 9> v{};
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      int k = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          v[k++] = bin(std::clamp(r + dr, 0, ny - 1), std::clamp(c + dc, 0, nx - 1));
      std::nth_element(v.begin(), v.begin() + 4, v.end());
      lisse(r, c) = v[4];
    }
  // The frame's border, where the star is not, gives a plane for the background (bias, sky
  // and its gradient) and, from differences of neighbours, the noise.
  const int bande = std::max(1, std::min(nx, ny) / 32);
  std::vector<TPoint> bord;
  std::vector<double> differences;
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c)
      if (r < bande || r >= ny - bande || c < bande || c >= nx - bande) {
        bord.push_back({c - nx / 2.0, r - ny / 2.0, lisse(r, c)});
        if (c + 1 < nx) differences.push_back(std::fabs(bin(r, c + 1) - bin(r, c)));
      }
  double plan[3] = {0, 0, 0};
  {
    std::vector<double> v(bord.size());
    for (std::size_t i = 0; i < bord.size(); ++i) v[i] = bord[i].v;
    plan[0] = Mediane(v);
    if (!Plan(bord, std::vector<char>(bord.size(), 1), plan)) plan[1] = plan[2] = 0;
  }
  const double bruit = 1.4826 * Mediane(differences) / std::sqrt(2.0);
  double pic = -std::numeric_limits<double>::infinity();
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      lisse(r, c) -= plan[0] + plan[1] * (c - nx / 2.0) + plan[2] * (r - ny / 2.0);
      pic = std::max(pic, lisse(r, c));
    }
  const double fond = 0;
  if (!(pic - fond > 10 * bruit) || !(pic > fond))
    throw ErreurTest("Aucune pupille dans " + Quelle(nom) +
                     " : rien ne s'y détache du fond (image uniforme, vide ou seulement du "
                     "bruit).");
  TEstimation e;
  TPupille masque;
  masque.Allouer(nx, ny);
  const double seuil = (fond + pic) / 2;
  e.Demi = seuil - fond;
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) masque.M(r, c) = lisse(r, c) >= seuil ? 1 : 0;
  masque.TrouverPupille();
  e.CentreX = (masque.CentreX - 0.5) * b + 0.5;
  e.CentreY = (masque.CentreY - 0.5) * b + 0.5;
  e.Rayon = masque.RayonPupille * b;
  return e;
}

struct TImagePreparee {
  std::shared_ptr<TPupille> Image;
  TFond Fond;
  int Colonne = 0, Ligne = 0;
};

// Background measured around the pupil found so far, then again around the pupil found on
// the subtracted image, which hot pixels and the bias no longer disturb.
TImagePreparee Preparer(const TPupille& image, const TEstimation& estimation, int cote,
                        bool corriger, int pourcentSeuil, int extractDim, const std::string& nom) {
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
      p.Image = Decouper(image, p.Colonne, p.Ligne, cote, nullptr);
      p.Image->Seuiller();
      p.Image->TrouverPupille();
      ExigerPupille(*p.Image, nom);
      return p;
    }
    p.Fond = MesurerFond(image, cx, cy, rayon, nom);
    p.Image = Decouper(image, p.Colonne, p.Ligne, cote, &p.Fond);
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

TPaireTest PreparerPaire(const TPupille& intra, const TPupille& extra, const TkwValue& prefs) {
  const bool corriger = prefs.CorrectionFond;
  // Without the correction the pupil is the one the user sees (threshold as set); with it,
  // one found whatever the bias, the sky and hot pixels.
  auto estimer = [&](const TPupille& im, const std::string& nom) {
    if (corriger) return EstimerPupille(im, nom);
    ExigerPupille(im, nom);
    return TEstimation{im.CentreX, im.CentreY, im.RayonPupille, 0};
  };
  const TEstimation ei = estimer(intra, "intra-focale"), ee = estimer(extra, "extra-focale");
  const int cote = CoteGrille(std::max(ei.Rayon, ee.Rayon));
  TImagePreparee i =
      Preparer(intra, ei, cote, corriger, prefs.ExtractSeuil, prefs.ExtractDim, "intra-focale");
  TImagePreparee e =
      Preparer(extra, ee, cote, corriger, prefs.ExtractSeuil, prefs.ExtractDim, "extra-focale");
  TPaireTest paire;
  TPreparationPaire& prep = paire.Preparation;
  prep.FondCorrige = corriger;
  prep.Cote = cote;
  prep.ColonneIntra = i.Colonne, prep.LigneIntra = i.Ligne;
  prep.ColonneExtra = e.Colonne, prep.LigneExtra = e.Ligne;
  if (corriger) {
    prep.FondIntra = i.Fond;
    prep.FondExtra = e.Fond;
    for (const TImagePreparee* p : {&i, &e}) {
      const TPupille& im = *p->Image;
      const double plateau = Plateau(im);
      if (!(plateau > 5 * p->Fond.Bruit) || !(plateau > 0))
        throw ErreurTest(std::string("La pupille de l'image ") +
                         (p == &i ? "intra-focale" : "extra-focale") +
                         " disparaît une fois le fond soustrait : l'étoile est trop faible "
                         "devant le bruit du fond.");
    }
    const double fi = Flux(*i.Image), fe = Flux(*e.Image);
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
