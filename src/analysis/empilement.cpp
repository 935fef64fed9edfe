#include "analysis/empilement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "analysis/erreur_test.h"
#include "analysis/etoiles.h"
#include "analysis/preparation.h"
#include "analysis/saturation.h"
#include "analysis/statistiques_robustes.h"
#include "core/parallele.h"
#include "files/nombres.h"
#include "files/utf8.h"

namespace quelvane {

namespace {

constexpr int ImagesReference = 16;  // frames whose median is the reference of the outliers
constexpr double SeuilAberrant = 5;  // standard deviations from that median
constexpr int ImagesParLot = 8;      // frames summed in order into one partial sum
constexpr int MargeFenetre = 16;     // pixels around the test's grid in the stacked image

// ---------------------------------------------------------------- cubic resampling

// Keys' cubic convolution (a = −0.5): reproduces polynomials up to the second degree, so that
// a background plane subtracted after resampling is the plane before it.
std::array<double, 4> PoidsCubiques(double f) {
  auto w = [](double t) {
    t = std::fabs(t);
    if (t <= 1) return (1.5 * t - 2.5) * t * t + 1;
    if (t < 2) return ((-0.5 * t + 2.5) * t - 4) * t + 2;
    return 0.0;
  };
  return {w(f + 1), w(f), w(1 - f), w(2 - f)};
}

// sortie(r, c) = the source at (x0 + c, y0 + r), 0-based fractional sample coordinates; NaN
// outside the source or where a missing sample takes part.
void Echantillonner(const TGrilleReelle& source, double x0, double y0, int lignes, int colonnes,
                    TGrilleReelle& sortie) {
  const int ny = source.Lignes(), nx = source.Colonnes();
  const double fx0 = std::floor(x0), fy0 = std::floor(y0);
  const auto wx = PoidsCubiques(x0 - fx0), wy = PoidsCubiques(y0 - fy0);
  const long ix = static_cast<long>(fx0), iy = static_cast<long>(fy0);
  sortie.AllouerSansInit(1, lignes, colonnes);
  TGrilleReelle h(1, lignes + 3, colonnes);
  const double nan = std::nan("");
  for (int r = 0; r < lignes + 3; ++r) {
    const long rs = iy + r - 1;
    double* lh = h.Ligne(r);
    if (rs < 0 || rs >= ny) {
      std::fill(lh, lh + colonnes, nan);
      continue;
    }
    const double* l = source.Ligne(static_cast<int>(rs));
    for (int c = 0; c < colonnes; ++c) {
      const long cs = ix + c - 1;
      if (cs < 0 || cs + 3 >= nx) {
        lh[c] = nan;
        continue;
      }
      lh[c] = wx[0] * l[cs] + wx[1] * l[cs + 1] + wx[2] * l[cs + 2] + wx[3] * l[cs + 3];
    }
  }
  for (int r = 0; r < lignes; ++r) {
    double* o = sortie.Ligne(r);
    const double *a = h.Ligne(r), *b = h.Ligne(r + 1), *c = h.Ligne(r + 2), *d = h.Ligne(r + 3);
    for (int k = 0; k < colonnes; ++k)
      o[k] = wy[0] * a[k] + wy[1] * b[k] + wy[2] * c[k] + wy[3] * d[k];
  }
}

// ---------------------------------------------------------------- one frame's star

struct TMesure {
  bool Valide = false;
  double X = 0, Y = 0, Rayon = 0, Flux = 0, LargeurBord = 0;
  int Satures = 0;
  double Fond[3] = {0, 0, 0};  // plane about (X0, Y0): a + b·(x − X0) + c·(y − Y0)
  double X0 = 0, Y0 = 0;
  double BruitFond = 0;
  double FondEn(double x, double y) const {
    return Fond[0] + Fond[1] * (x - X0) + Fond[2] * (y - Y0);
  }
};

// Background (a plane through a ring beyond the light, other stars left out), flux and centre
// of the light, saturated samples, and the width of the pupil's edge on the profile averaged
// around the centre.
TMesure MesurerEtoile(const TFctXY& im, const TEtoile& e, const std::vector<TDisque>& autres,
                      double pleineEchelle) {
  TMesure m;
  const double lumiere = RayonLumiere(e.Rayon);
  const double exterieur = lumiere + std::max(8.0, 0.5 * e.Rayon);
  auto borne = [](double v, int n) { return static_cast<int>(std::clamp(v, 0.0, n - 1.0)); };
  const int c0 = borne(std::floor(e.CentreX - 1 - exterieur), im.NX);
  const int c1 = borne(std::ceil(e.CentreX - 1 + exterieur), im.NX);
  const int l0 = borne(std::floor(e.CentreY - 1 - exterieur), im.NY);
  const int l1 = borne(std::ceil(e.CentreY - 1 + exterieur), im.NY);
  const double aire = 3.14159 * (exterieur * exterieur - lumiere * lumiere);
  const int pas = std::max(1, static_cast<int>(std::sqrt(aire / 1500)));
  std::vector<TPointPlan> anneau;
  for (int r = l0; r <= l1; r += pas)
    for (int c = c0; c <= c1; c += pas) {
      const double x = c + 1 - e.CentreX, y = r + 1 - e.CentreY, d2 = x * x + y * y;
      const double v = im.V(r, c);
      if (d2 > lumiere * lumiere && d2 <= exterieur * exterieur && std::isfinite(v) &&
          !DansUnDisque(autres, c + 1, r + 1))
        anneau.push_back({x, y, v});
    }
  long gardes = 0;
  if (anneau.size() < 32) return m;
  PlanRobuste(anneau, m.Fond, gardes, m.BruitFond, 1500);
  m.X0 = e.CentreX, m.Y0 = e.CentreY;
  if (gardes < 16) return m;
  double flux = 0, sx = 0, sy = 0;
  for (int r = l0; r <= l1; ++r)
    for (int c = c0; c <= c1; ++c) {
      const double x = c + 1 - e.CentreX, y = r + 1 - e.CentreY;
      const double v = im.V(r, c);
      if (x * x + y * y > lumiere * lumiere || !std::isfinite(v)) continue;
      const double w = v - m.FondEn(c + 1, r + 1);
      flux += w, sx += w * (c + 1), sy += w * (r + 1);
    }
  if (!(flux > 0)) return m;
  m.Satures = static_cast<int>(
      MesurerSaturation(im, e.CentreX, e.CentreY, lumiere, pleineEchelle, m.Fond[0], m.BruitFond)
          .Pixels);
  m.Flux = flux;
  m.X = sx / flux;
  m.Y = sy / flux;
  m.Rayon = e.Rayon;

  // Profile in rings of half a pixel about the centre of the light.
  const int anneaux = static_cast<int>(1.5 * e.Rayon / 0.5) + 2;
  std::vector<double> somme(static_cast<std::size_t>(anneaux)), compte(somme.size());
  for (int r = l0; r <= l1; ++r)
    for (int c = c0; c <= c1; ++c) {
      const double d = std::hypot(c + 1 - m.X, r + 1 - m.Y);
      const int k = static_cast<int>(d / 0.5);
      const double v = im.V(r, c);
      if (k >= anneaux || !std::isfinite(v)) continue;
      somme[static_cast<std::size_t>(k)] += v - m.FondEn(c + 1, r + 1);
      compte[static_cast<std::size_t>(k)] += 1;
    }
  // The plateau's level and the level just beyond the light, both from the profile: the edge's
  // width then owes nothing to the background's plane (another star near the ring moves it).
  auto moyenne = [&](double de, double a) {
    double s = 0, n = 0;
    for (int k = 0; k < anneaux; ++k) {
      const double rk = (k + 0.5) * 0.5;
      if (rk >= de * e.Rayon && rk <= a * e.Rayon && compte[static_cast<std::size_t>(k)] > 0)
        s += somme[static_cast<std::size_t>(k)] / compte[static_cast<std::size_t>(k)], ++n;
    }
    return n > 0 ? s / n : std::nan("");
  };
  const double dehors = moyenne(1.3, 1.5);
  double plateau = moyenne(0.55, 0.85) - (std::isfinite(dehors) ? dehors : 0);
  m.Valide = true;
  if (!(plateau > 0)) {
    m.LargeurBord = e.Rayon;  // no plateau to measure an edge against: the least sharp
    return m;
  }
  if (std::isfinite(dehors))
    for (int k = 0; k < anneaux; ++k)
      somme[static_cast<std::size_t>(k)] -= dehors * compte[static_cast<std::size_t>(k)];
  double r75 = -1, r25 = -1;
  double precedent = plateau, rPrecedent = 0.85 * e.Rayon;
  for (int k = 0; k < anneaux; ++k) {
    const double rk = (k + 0.5) * 0.5;
    if (rk < 0.85 * e.Rayon || compte[static_cast<std::size_t>(k)] == 0) continue;
    const double v = somme[static_cast<std::size_t>(k)] / compte[static_cast<std::size_t>(k)];
    auto croise = [&](double niveau) {
      return precedent == v
                 ? rk
                 : rPrecedent + (precedent - niveau) / (precedent - v) * (rk - rPrecedent);
    };
    if (r75 < 0 && v < 0.75 * plateau) r75 = croise(0.75 * plateau);
    if (r25 < 0 && v < 0.25 * plateau) {
      r25 = croise(0.25 * plateau);
      break;
    }
    precedent = v, rPrecedent = rk;
  }
  if (r75 < 0) r75 = 0.85 * e.Rayon;
  if (r25 < 0) r25 = 1.5 * e.Rayon;
  m.LargeurBord = std::max(0.5, r25 - r75);
  return m;
}

// ---------------------------------------------------------------- the frames' stars

struct TImageLue {
  std::string Erreur;
  std::vector<TEtoile> Etoiles;
  std::vector<std::pair<int, TMesure>> Mesures;  // (index in Etoiles, measure)
};

TFctXY ChampDe(TGrilleReelle&& g) {
  TFctXY f;
  f.NY = g.Lignes();
  f.NX = g.Colonnes();
  f.Donnees = std::move(g);
  return f;
}

const TEtoile* PlusProche(const std::vector<TEtoile>& etoiles, double x, double y, double rayon,
                          bool entieres) {
  const TEtoile* meilleure = nullptr;
  double d = 0;
  for (const TEtoile& e : etoiles) {
    if (!e.Defocalisee || (entieres && !e.Entiere)) continue;
    const double de = std::hypot(e.CentreX - x, e.CentreY - y);
    if (de > rayon) continue;
    if (!meilleure || de < d) meilleure = &e, d = de;
  }
  return meilleure;
}

// Reads frame k, finds its stars and measures the candidates for the test star: the brightest
// complete one and the one nearest the point given.
TImageLue LireImage(const TSerieImages& serie, int k, const TOptionsEmpilement& o,
                    double pleineEchelle, std::optional<int> seulement = {},
                    const TEtoile* cible = nullptr) {
  TImageLue lue;
  TGrilleReelle g;
  try {
    serie.Lire(k, g);
  } catch (const ErreurSerie& e) {
    lue.Erreur = e.what();
    return lue;
  }
  const TFctXY im = ChampDe(std::move(g));
  const TChampEtoiles champ = TrouverEtoiles(im, CoteDetectionSerie);
  lue.Etoiles = champ.Etoiles;
  auto mesurer = [&](const TEtoile& e) {
    const auto i = static_cast<int>(&e - lue.Etoiles.data());
    for (const auto& [j, m] : lue.Mesures)
      if (j == i) return;
    lue.Mesures.push_back(
        {i, MesurerEtoile(im, e, AutresEtoiles(champ, e, std::max(3.0, 0.1 * e.Rayon)),
                          pleineEchelle)});
  };
  if (seulement) {
    // Measured again: the star nearest the one chosen for this frame.
    if (cible)
      if (const TEtoile* e = PlusProche(lue.Etoiles, cible->CentreX, cible->CentreY, 2, false))
        mesurer(*e);
    return lue;
  }
  for (const TEtoile& e : lue.Etoiles)
    if (e.Entiere && e.Defocalisee) {
      mesurer(e);
      break;
    }
  if (o.Etoile)
    if (const TEtoile* e = PlusProche(lue.Etoiles, o.Etoile->first, o.Etoile->second, 1e9, true))
      mesurer(*e);
  return lue;
}

// The test star of each frame: the one pointed at, or the brightest complete one of most
// frames, followed from frame to frame as the image drifts. Index in Etoiles, or a reason.
struct TChoix {
  int Etoile = -1;
  std::string Rejet;
};

std::vector<TChoix> ChoisirEtoiles(const std::vector<TImageLue>& lues,
                                   const TOptionsEmpilement& o) {
  const int n = static_cast<int>(lues.size());
  std::vector<TChoix> choix(static_cast<std::size_t>(n));
  // Where to start: the point given, else the place where most frames have their brightest.
  int depart = -1;
  double px = 0, py = 0;
  if (o.Etoile) {
    // The first frame where a complete star's light covers the point.
    px = o.Etoile->first, py = o.Etoile->second;
    for (int k = 0; k < n && depart < 0; ++k)
      for (const TEtoile& e : lues[static_cast<std::size_t>(k)].Etoiles)
        if (e.Entiere && e.Defocalisee &&
            std::hypot(e.CentreX - px, e.CentreY - py) <= RayonLumiere(e.Rayon)) {
          depart = k;
          px = e.CentreX, py = e.CentreY;
          break;
        }
  } else {
    struct TGroupe {
      double X, Y, Rayon;
      int Voix, Premiere;
    };
    std::vector<TGroupe> groupes;
    for (int k = 0; k < n; ++k)
      for (const TEtoile& e : lues[static_cast<std::size_t>(k)].Etoiles) {
        if (!e.Entiere || !e.Defocalisee) continue;
        auto g = std::find_if(groupes.begin(), groupes.end(), [&](const TGroupe& x) {
          return std::hypot(x.X - e.CentreX, x.Y - e.CentreY) <= x.Rayon;
        });
        if (g == groupes.end())
          groupes.push_back({e.CentreX, e.CentreY, e.Rayon, 1, k});
        else
          ++g->Voix;
        break;  // the brightest complete star only
      }
    if (!groupes.empty()) {
      const auto g =
          std::max_element(groupes.begin(), groupes.end(),
                           [](const TGroupe& a, const TGroupe& b) { return a.Voix < b.Voix; });
      px = g->X, py = g->Y, depart = g->Premiere;
    }
  }
  const std::string introuvable = o.Etoile && depart < 0
                                      ? "aucune étoile entière à l'endroit indiqué"
                                      : "étoile du test introuvable dans cette image";
  for (int k = 0; k < n; ++k)
    choix[static_cast<std::size_t>(k)].Rejet =
        lues[static_cast<std::size_t>(k)].Erreur.empty()
            ? introuvable
            : "illisible : " + lues[static_cast<std::size_t>(k)].Erreur;
  if (depart < 0) return choix;
  auto suivre = [&](int debut, int fin, int pas, double x, double y, double rayon) {
    for (int k = debut; k != fin; k += pas) {
      const TImageLue& l = lues[static_cast<std::size_t>(k)];
      if (!l.Erreur.empty()) continue;
      const double portee = RayonLumiere(rayon);
      const TEtoile* e = PlusProche(l.Etoiles, x, y, portee, true);
      if (!e) {
        if (PlusProche(l.Etoiles, x, y, portee, false))
          choix[static_cast<std::size_t>(k)].Rejet =
              "l'image de l'étoile touche le bord de l'image";
        continue;
      }
      choix[static_cast<std::size_t>(k)] = {static_cast<int>(e - l.Etoiles.data()), ""};
      x = e->CentreX, y = e->CentreY, rayon = e->Rayon;
    }
  };
  const TEtoile* premiere =
      PlusProche(lues[static_cast<std::size_t>(depart)].Etoiles, px, py, 1e9, true);
  suivre(depart, n, 1, premiere->CentreX, premiere->CentreY, premiere->Rayon);
  suivre(depart - 1, -1, -1, premiere->CentreX, premiere->CentreY, premiere->Rayon);
  return choix;
}

std::string Pourcent(double x) {
  return std::to_string(static_cast<int>(std::lround(100 * x))) + " %";
}

// Frames left out: too little light (clouds), saturated (when enough are not), an edge far more
// blurred than the others' (a gust, the mount shaken), then the least sharp beyond the share
// kept.
void Trier(std::vector<TQualiteImage>& q, int pourcentGarde) {
  std::vector<double> flux;
  for (const auto& i : q)
    if (i.Rejet.empty()) flux.push_back(i.Flux);
  const double mediane = Mediane(flux);
  int nonSaturees = 0, candidates = 0;
  for (auto& i : q) {
    if (!i.Rejet.empty()) continue;
    if (i.Flux < 0.5 * mediane) {
      i.Rejet = "flux trop faible (" + Pourcent(i.Flux / mediane) + " de la médiane)";
      continue;
    }
    ++candidates;
    nonSaturees += i.Satures == 0;
  }
  if (2 * nonSaturees >= candidates)
    for (auto& i : q)
      if (i.Rejet.empty() && i.Satures > 0)
        i.Rejet = "saturée (" + std::to_string(i.Satures) + " pixels à la pleine échelle)";
  std::vector<double> largeurs;
  for (const auto& i : q)
    if (i.Rejet.empty()) largeurs.push_back(i.LargeurBord);
  const double largeurMediane = Mediane(largeurs);
  const double limite =
      largeurMediane + 4 * std::max(EcartRobuste(largeurs), 0.15 * largeurMediane);
  for (auto& i : q)
    if (i.Rejet.empty() && largeurs.size() >= 5 && i.LargeurBord > limite)
      i.Rejet = "bord flou (" + FormaterFixe(i.LargeurBord, 1) + " pixels contre " +
                FormaterFixe(largeurMediane, 1) + " en médiane)";
  std::vector<TQualiteImage*> restantes;
  for (auto& i : q)
    if (i.Rejet.empty()) restantes.push_back(&i);
  std::stable_sort(
      restantes.begin(), restantes.end(),
      [](const TQualiteImage* a, const TQualiteImage* b) { return a->Nettete > b->Nettete; });
  const auto garder = static_cast<std::size_t>(
      std::max<long>(1, std::lround(std::ceil(pourcentGarde / 100.0 * restantes.size() - 1e-9))));
  for (std::size_t i = 0; i < restantes.size(); ++i) {
    if (i < garder)
      restantes[i]->Gardee = true;
    else
      restantes[i]->Rejet = "moins nette que les images gardées";
  }
}

int NombreSousEnsembles(int gardees, int demande) {
  if (demande >= 0) return demande >= 2 && gardees >= 2 * demande ? demande : 0;
  // Enough blocks for their spread to be measured (with four, a standard error is known to
  // about 40 %; with ten, 25 %), each of a few frames.
  if (gardees < 8) return 0;
  return std::clamp(gardees / 4, 4, 10);
}

}  // namespace

void DecalerCubique(const TGrilleReelle& source, double dx, double dy, TGrilleReelle& sortie) {
  Echantillonner(source, -dx, -dy, source.Lignes(), source.Colonnes(), sortie);
}

std::shared_ptr<TPupille> ImageEmpilee(const TEmpilement& e) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(e.Image.Colonnes(), e.Image.Lignes());
  p->Donnees = e.Image;
  p->Infos = e.Infos;
  for (const TGrilleReelle& b : e.SousEnsembles)
    p->SousEnsembles.push_back(std::make_shared<const TGrilleReelle>(b));
  return p;
}

std::string LegendeEmpilement(const std::string& fichier, const TEmpilement& e) {
  return fichier + " (" + std::to_string(e.Gardees) + " images sur " + std::to_string(e.Lues) + ")";
}

TEmpilement Empiler(const TSerieImages& serie, const TOptionsEmpilement& o,
                    IProgression& progression, const std::string& nom) {
  const TDescriptionSerie& d = serie.Description();
  const int n = serie.Nombre();
  const int fils = o.Fils > 0 ? o.Fils : NombreFils();
  TEmpilement res;
  res.Annoncees = d.Annoncees;
  res.Lues = n;
  res.PleineEchelle = d.PleineEchelle;
  res.Avertissements = d.Avertissements;

  const int vague = std::max(16, 4 * fils);
  const int vagues1 = (n + vague - 1) / vague;
  progression.Demarrer("Empilement de la série " + nom, std::max(1, 100 / (2 * vagues1 + 2)));

  // 1. Every frame's stars, and the candidates measured.
  std::vector<TImageLue> lues(static_cast<std::size_t>(n));
  for (int debut = 0; debut < n; debut += vague) {
    VerifierAnnulation(progression);
    const int fin = std::min(n, debut + vague);
    PourChaque(
        fin - debut,
        [&](int i) {
          lues[static_cast<std::size_t>(debut + i)] =
              LireImage(serie, debut + i, o, d.PleineEchelle);
        },
        fils);
    progression.Avancer();
  }

  // 2. The test star of each frame, measured where it was not yet.
  const std::vector<TChoix> choix = ChoisirEtoiles(lues, o);
  std::vector<int> aMesurer;
  auto mesure = [&](int k) -> const TMesure* {
    const TChoix& c = choix[static_cast<std::size_t>(k)];
    for (const auto& [j, m] : lues[static_cast<std::size_t>(k)].Mesures)
      if (j == c.Etoile) return &m;
    return nullptr;
  };
  for (int k = 0; k < n; ++k)
    if (choix[static_cast<std::size_t>(k)].Etoile >= 0 && !mesure(k)) aMesurer.push_back(k);
  PourChaque(
      static_cast<int>(aMesurer.size()),
      [&](int i) {
        const int k = aMesurer[static_cast<std::size_t>(i)];
        TImageLue& l = lues[static_cast<std::size_t>(k)];
        const TEtoile cible =
            l.Etoiles[static_cast<std::size_t>(choix[static_cast<std::size_t>(k)].Etoile)];
        TImageLue encore = LireImage(serie, k, o, d.PleineEchelle, 0, &cible);
        for (auto& [j, m] : encore.Mesures)
          l.Mesures.push_back({choix[static_cast<std::size_t>(k)].Etoile, m});
      },
      fils);

  res.Images.resize(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    TQualiteImage& q = res.Images[static_cast<std::size_t>(k)];
    q.Indice = k;
    q.Rejet = choix[static_cast<std::size_t>(k)].Rejet;
    if (!q.Rejet.empty()) continue;
    const TMesure* m = mesure(k);
    if (!m || !m->Valide) {
      q.Rejet = "fond impossible à mesurer autour de l'étoile";
      continue;
    }
    q.X = m->X, q.Y = m->Y, q.Rayon = m->Rayon, q.Flux = m->Flux, q.Satures = m->Satures;
    q.LargeurBord = m->LargeurBord;
    q.Nettete = 1 / m->LargeurBord;
  }
  int avecEtoile = 0;
  for (const auto& q : res.Images) avecEtoile += q.Rejet.empty();
  if (avecEtoile == 0) {
    std::string raison = n > 0 ? res.Images[0].Rejet : "aucune image";
    throw ErreurTest("Aucune image de la série " + nom + " ne contient d'image d'étoile entière (" +
                     serie.NomImage(0) + " : " + raison + ").");
  }
  Trier(res.Images, std::clamp(o.PourcentGarde, 1, 100));

  std::vector<int> gardees;
  for (const auto& q : res.Images)
    if (q.Gardee) gardees.push_back(q.Indice);
  res.Gardees = static_cast<int>(gardees.size());
  res.Rejetees = n - res.Gardees;
  const int nbGardees = res.Gardees;

  // 3. The common centre, the stacked image's extent and each frame's place in it.
  double xm = 0, ym = 0;
  std::vector<double> rayons, flux;
  for (int k : gardees) {
    const TQualiteImage& q = res.Images[static_cast<std::size_t>(k)];
    xm += q.X, ym += q.Y;
    rayons.push_back(q.Rayon);
    flux.push_back(q.Flux);
  }
  xm /= nbGardees, ym /= nbGardees;
  double dispersion = 0;
  for (int k : gardees) {
    const TQualiteImage& q = res.Images[static_cast<std::size_t>(k)];
    dispersion += (q.X - xm) * (q.X - xm) + (q.Y - ym) * (q.Y - ym);
  }
  res.DispersionRecalage = std::sqrt(dispersion / nbGardees);
  res.Rayon = Mediane(rayons);
  const double fluxMedian = Mediane(flux);
  const int cote = CoteGrilleTest(res.Rayon) + 2 * MargeFenetre;
  res.ColonneOrigine = static_cast<int>(std::lround(xm - 1 - cote / 2.0));
  res.LigneOrigine = static_cast<int>(std::lround(ym - 1 - cote / 2.0));

  // A kept frame in the stacked image's place: resampled onto the common centre, its
  // background subtracted, its flux brought to the median's.
  auto placer = [&](int k, TGrilleReelle& sortie) {
    const TQualiteImage& q = res.Images[static_cast<std::size_t>(k)];
    const TMesure& m = *mesure(k);
    TGrilleReelle g;
    serie.Lire(k, g);
    const double x0 = res.ColonneOrigine + (q.X - xm), y0 = res.LigneOrigine + (q.Y - ym);
    Echantillonner(g, x0, y0, cote, cote, sortie);
    const double facteur = fluxMedian / q.Flux;
    for (int r = 0; r < cote; ++r) {
      double* l = sortie.Ligne(r);
      for (int c = 0; c < cote; ++c) l[c] = (l[c] - m.FondEn(x0 + c + 1, y0 + r + 1)) * facteur;
    }
  };

  // 4. The reference the outliers are judged against: the median of frames spread over the
  // kept ones, and the spread of their values about it (never below the background's noise).
  const int nbReference = std::min(ImagesReference, nbGardees);
  std::vector<TGrilleReelle> reference(static_cast<std::size_t>(nbReference));
  VerifierAnnulation(progression);
  PourChaque(
      nbReference,
      [&](int i) {
        placer(gardees[static_cast<std::size_t>(static_cast<long>(i) * nbGardees / nbReference)],
               reference[static_cast<std::size_t>(i)]);
      },
      fils);
  progression.Avancer();
  double bruitFond = 0;
  {
    std::vector<double> b;
    for (int k : gardees) {
      const TQualiteImage& q = res.Images[static_cast<std::size_t>(k)];
      b.push_back(mesure(k)->BruitFond * fluxMedian / q.Flux);
    }
    bruitFond = Mediane(b);
  }
  TGrilleReelle mediane(1, cote, cote), tolerance(1, cote, cote);
  {
    std::vector<double> v;
    for (int r = 0; r < cote; ++r)
      for (int c = 0; c < cote; ++c) {
        v.clear();
        for (const auto& g : reference)
          if (std::isfinite(g(r, c))) v.push_back(g(r, c));
        if (v.size() < 3) {
          mediane(r, c) = 0;
          tolerance(r, c) = HUGE_VAL;  // too few values to judge any of them
          continue;
        }
        const double med = Mediane(v);
        mediane(r, c) = med;
        tolerance(r, c) = SeuilAberrant * std::max(EcartRobuste(v), bruitFond);
      }
  }
  reference.clear();

  // 5. The means, by blocks of kept frames; each block summed in lots of frames in their order,
  // lots added in their order: the same sums whatever the number of threads.
  const int blocs = NombreSousEnsembles(nbGardees, o.SousEnsembles);
  const int parts = std::max(1, blocs);
  struct TLot {
    int Bloc, Debut, Fin;  // kept frames [Debut, Fin)
  };
  std::vector<TLot> lots;
  for (int b = 0; b < parts; ++b) {
    const int debut = static_cast<int>(static_cast<long>(b) * nbGardees / parts);
    const int fin = static_cast<int>(static_cast<long>(b + 1) * nbGardees / parts);
    for (int i = debut; i < fin; i += ImagesParLot)
      lots.push_back({b, i, std::min(fin, i + ImagesParLot)});
  }
  for (int b = 0; b < parts; ++b)
    for (int i = static_cast<int>(static_cast<long>(b) * nbGardees / parts);
         i < static_cast<int>(static_cast<long>(b + 1) * nbGardees / parts); ++i)
      if (blocs > 0)
        res.Images[static_cast<std::size_t>(gardees[static_cast<std::size_t>(i)])].SousEnsemble = b;
  std::vector<TGrilleReelle> sommes(static_cast<std::size_t>(parts)), comptes(sommes.size());
  for (int b = 0; b < parts; ++b) {
    sommes[static_cast<std::size_t>(b)].Allouer(1, cote, cote);
    comptes[static_cast<std::size_t>(b)].Allouer(1, cote, cote);
  }
  std::vector<long> rejetes(lots.size());
  const int parVague = std::max(1, fils);
  const int vagues2 = static_cast<int>((lots.size() + parVague - 1) / parVague);
  progression.Demarrer("Empilement de la série " + nom, std::max(1, 100 / (vagues2 + 1)));
  for (std::size_t debut = 0; debut < lots.size(); debut += static_cast<std::size_t>(parVague)) {
    VerifierAnnulation(progression);
    const std::size_t fin = std::min(lots.size(), debut + static_cast<std::size_t>(parVague));
    std::vector<TGrilleReelle> s(fin - debut), c(fin - debut);
    PourChaque(
        static_cast<int>(fin - debut),
        [&](int i) {
          const TLot& lot = lots[debut + static_cast<std::size_t>(i)];
          TGrilleReelle& somme = s[static_cast<std::size_t>(i)];
          TGrilleReelle& compte = c[static_cast<std::size_t>(i)];
          somme.Allouer(1, cote, cote);
          compte.Allouer(1, cote, cote);
          TGrilleReelle image;
          long rejets = 0;
          for (int j = lot.Debut; j < lot.Fin; ++j) {
            placer(gardees[static_cast<std::size_t>(j)], image);
            for (int r = 0; r < cote; ++r) {
              const double *v = image.Ligne(r), *med = mediane.Ligne(r), *tol = tolerance.Ligne(r);
              double *sl = somme.Ligne(r), *cl = compte.Ligne(r);
              for (int k = 0; k < cote; ++k) {
                if (!std::isfinite(v[k])) continue;
                if (std::fabs(v[k] - med[k]) > tol[k]) {
                  ++rejets;
                  continue;
                }
                sl[k] += v[k];
                cl[k] += 1;
              }
            }
          }
          rejetes[debut + static_cast<std::size_t>(i)] = rejets;
        },
        fils);
    for (std::size_t i = 0; i < fin - debut; ++i) {
      const int b = lots[debut + i].Bloc;
      auto so = sommes[static_cast<std::size_t>(b)].Plan(0),
           co = comptes[static_cast<std::size_t>(b)].Plan(0);
      const auto si = s[i].Plan(0), ci = c[i].Plan(0);
      for (std::size_t k = 0; k < so.size(); ++k) so[k] += si[k], co[k] += ci[k];
    }
    progression.Avancer();
  }
  for (long r : rejetes) res.EchantillonsRejetes += r;

  auto moyenne = [&](const TGrilleReelle& somme, const TGrilleReelle& compte) {
    TGrilleReelle m(1, cote, cote);
    const auto s = somme.Plan(0), c = compte.Plan(0);
    auto o2 = m.Plan(0);
    for (std::size_t k = 0; k < o2.size(); ++k) o2[k] = c[k] > 0 ? s[k] / c[k] : 0;
    return m;
  };
  TGrilleReelle total(1, cote, cote), nombre(1, cote, cote);
  for (int b = 0; b < parts; ++b) {
    const auto s = sommes[static_cast<std::size_t>(b)].Plan(0),
               c = comptes[static_cast<std::size_t>(b)].Plan(0);
    auto t = total.Plan(0), m = nombre.Plan(0);
    for (std::size_t k = 0; k < t.size(); ++k) t[k] += s[k], m[k] += c[k];
    if (blocs > 0)
      res.SousEnsembles.push_back(
          moyenne(sommes[static_cast<std::size_t>(b)], comptes[static_cast<std::size_t>(b)]));
  }
  res.Image = moyenne(total, nombre);
  progression.Terminer();

  res.PoseTotale = d.PoseSecondes * nbGardees;
  res.Date = serie.Date(gardees[gardees.size() / 2]);
  res.Infos = d.Infos;
  res.Infos.Largeur = res.Infos.Hauteur = cote;
  res.Infos.NbAxes = 2;
  res.Infos.NbPlans = 0;
  res.Infos.Bitpix = -32;
  res.Infos.BZero = 0, res.Infos.BScale = 1, res.Infos.AvecBlank = false;
  res.Infos.Mosaique.clear();
  res.Infos.LignesDeBasEnHaut = false;
  res.Infos.PoseSecondes = res.PoseTotale;
  res.Infos.Exposition = static_cast<std::int32_t>(std::lround(std::min(res.PoseTotale, 2e9)));
  if (!res.Date.empty()) res.Infos.DateObs = res.Date;
  if (res.Rejetees > 0)
    res.Avertissements.push_back(std::to_string(res.Rejetees) + " images sur " + std::to_string(n) +
                                 " laissées de côté");
  int saturees = 0;
  for (int k : gardees) saturees += res.Images[static_cast<std::size_t>(k)].Satures > 0;
  if (saturees > 0)
    res.Avertissements.push_back(std::to_string(saturees) +
                                 " images gardées ont des pixels saturés (la plupart le sont) : "
                                 "posez moins longtemps");
  return res;
}

}  // namespace quelvane
