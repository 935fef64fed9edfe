#include "analysis/etoiles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <string>

#include "analysis/statistiques_robustes.h"
#include "core/grille.h"
#include "core/parallele.h"
#include "files/fits.h"

namespace quelvane {

namespace {

constexpr double SeuilDetection = 5;  // standard deviations of the binned background
constexpr double RayonEtoileMin = 8;  // pixels: smaller is a point, not a defocused image
constexpr int EtoilesAffinees = 32;   // the brightest ones measured on the frame itself

// The median of each sample's 3 × 3 neighbourhood (edges repeated), a row at a time: each
// column's three values sorted, the median is the middle one of the greatest of the three
// least, the middle of the three middles and the least of the three greatest. Every step is a
// minimum or a maximum across the row, which the compiler turns into vector instructions.
TGrilleReelle Mediane3x3(const TGrilleReelle& g) {
  const int ny = g.Lignes(), nx = g.Colonnes();
  TGrilleReelle sortie;
  sortie.AllouerSansInit(1, ny, nx);
  // Columns sorted, with the edge column repeated on either side.
  std::vector<double> bas(static_cast<std::size_t>(nx) + 2), milieu(bas.size()), haut(bas.size());
  for (int r = 0; r < ny; ++r) {
    const double* a = g.Ligne(std::max(r - 1, 0));
    const double* b = g.Ligne(r);
    const double* c = g.Ligne(std::min(r + 1, ny - 1));
    double* __restrict lo = bas.data() + 1;
    double* __restrict mi = milieu.data() + 1;
    double* __restrict hi = haut.data() + 1;
    for (int k = 0; k < nx; ++k) {
      const double x = std::min(a[k], b[k]), y = std::max(a[k], b[k]);
      lo[k] = std::min(x, c[k]);
      const double z = std::max(x, c[k]);
      mi[k] = std::min(y, z);
      hi[k] = std::max(y, z);
    }
    lo[-1] = lo[0], mi[-1] = mi[0], hi[-1] = hi[0];
    lo[nx] = lo[nx - 1], mi[nx] = mi[nx - 1], hi[nx] = hi[nx - 1];
    double* __restrict o = sortie.Ligne(r);
    for (int k = 0; k < nx; ++k) {
      const double p = std::max(std::max(lo[k - 1], lo[k]), lo[k + 1]);
      const double q = std::min(std::min(hi[k - 1], hi[k]), hi[k + 1]);
      const double u = std::min(mi[k - 1], mi[k]), v = std::max(mi[k - 1], mi[k]);
      const double m = std::max(u, std::min(v, mi[k + 1]));
      const double s = std::min(p, q), t = std::max(p, q);
      o[k] = std::max(s, std::min(t, m));
    }
  }
  return sortie;
}

struct TCopieReduite {
  int B = 1, NX = 0, NY = 0;
  TGrilleReelle Valeurs;       // background subtracted, median-filtered
  double Bruit = 0;            // of one binned sample, background
  double Plan[3] = {0, 0, 0};  // background of the frame: a + b·(c − NX/2) + c·(r − NY/2), binned
};

// The frame binned by B (mean of the finite samples), cleaned by a 3 × 3 median, its
// background plane (fitted with clipping) subtracted.
TCopieReduite Reduire(const TFctXY& image, int coteMax) {
  TCopieReduite k;
  k.B = std::max(1, (std::max(image.NX, image.NY) + coteMax - 1) / coteMax);
  const int b = k.B;
  k.NX = (image.NX + b - 1) / b;
  k.NY = (image.NY + b - 1) / b;
  TGrilleReelle bin(1, k.NY, k.NX);
  TGrille<int> compte(1, k.NY, k.NX);
  for (int r = 0; r < image.NY; ++r) {
    const double* l = image.Donnees.Ligne(r);
    double* lb = bin.Ligne(r / b);
    int* lc = compte.Ligne(r / b);
    for (int cb = 0, c = 0; cb < k.NX; ++cb)
      for (const int fin = std::min(image.NX, c + b); c < fin; ++c)
        if (std::isfinite(l[c])) lb[cb] += l[c], ++lc[cb];
  }
  for (int r = 0; r < k.NY; ++r)
    for (int c = 0; c < k.NX; ++c)
      bin(r, c) = compte(r, c) > 0 ? bin(r, c) / compte(r, c) : std::nan("");
  // Holes (no finite sample) take their neighbours' values, then the 3 × 3 median.
  TGrilleReelle pleine = bin;
  RemplirManquants(pleine);
  k.Valeurs = Mediane3x3(pleine);
  // The noise and the background from an even share of the samples: a few thousand fix them.
  std::vector<double> differences;
  std::vector<TPointPlan> points;
  const int pas = std::max(1, static_cast<int>(std::sqrt(k.NX * static_cast<double>(k.NY) / 4096)));
  for (int r = 0; r < k.NY; r += pas)
    for (int c = 0; c < k.NX; c += pas) {
      points.push_back({c - k.NX / 2.0, r - k.NY / 2.0, k.Valeurs(r, c)});
      if (c + 1 < k.NX && std::isfinite(bin(r, c)) && std::isfinite(bin(r, c + 1)))
        differences.push_back(bin(r, c + 1) - bin(r, c));
    }
  k.Bruit = EcartRobuste(differences) / std::sqrt(2.0);
  long gardes = 0;
  double sigma = 0;
  PlanRobuste(points, k.Plan, gardes, sigma, 2048);
  for (int r = 0; r < k.NY; ++r)
    for (int c = 0; c < k.NX; ++c)
      k.Valeurs(r, c) -= k.Plan[0] + k.Plan[1] * (c - k.NX / 2.0) + k.Plan[2] * (r - k.NY / 2.0);
  return k;
}

// Square dilation by `g` samples (a maximum over a (2g + 1)² box): along the rows, then down
// the columns, each an OR of shifted copies (byte loops the compiler vectorises).
TGrille<std::uint8_t> Dilater(const TGrille<std::uint8_t>& m, int g) {
  const int ny = m.Lignes(), nx = m.Colonnes();
  TGrille<std::uint8_t> h(1, ny, nx), sortie(1, ny, nx);
  for (int r = 0; r < ny; ++r) {
    const std::uint8_t* l = m.Ligne(r);
    std::uint8_t* __restrict o = h.Ligne(r);
    for (int d = -g; d <= g; ++d) {
      const int debut = std::max(0, -d), fin = std::min(nx, nx - d);
      for (int c = debut; c < fin; ++c) o[c] |= l[c + d];
    }
  }
  for (int r = 0; r < ny; ++r) {
    std::uint8_t* __restrict o = sortie.Ligne(r);
    for (int s = std::max(0, r - g); s <= std::min(ny - 1, r + g); ++s) {
      const std::uint8_t* l = h.Ligne(s);
      for (int c = 0; c < nx; ++c) o[c] |= l[c];
    }
  }
  return sortie;
}

// Connected regions (8 neighbours) of a mask: a label per sample, 0 outside, and their count.
// Regions are numbered in the raster order of their first sample. Runs of each row are joined
// to the runs of the row above that touch them (union–find), then labelled.
int Etiqueter(const TGrille<std::uint8_t>& m, TGrille<int>& etiquettes) {
  const int ny = m.Lignes(), nx = m.Colonnes();
  etiquettes.Allouer(1, ny, nx);
  struct TSegment {
    int Ligne, Debut, Fin;  // [Debut, Fin)
  };
  std::vector<TSegment> segments;
  std::vector<int> parent;
  auto racine = [&](int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  auto joindre = [&](int a, int b) {
    a = racine(a), b = racine(b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);  // the earlier run stays the root
  };
  std::size_t debutPrecedente = 0, finPrecedente = 0;
  for (int r = 0; r < ny; ++r) {
    const std::uint8_t* l = m.Ligne(r);
    const std::size_t debutLigne = segments.size();
    std::size_t k = debutPrecedente;
    for (int c = 0; c < nx;) {
      if (!l[c]) {
        ++c;
        continue;
      }
      const int debut = c;
      while (c < nx && l[c]) ++c;
      const int i = static_cast<int>(segments.size());
      segments.push_back({r, debut, c});
      parent.push_back(i);
      // Runs of the row above within one column either side touch this one.
      while (k < finPrecedente && segments[k].Fin < debut) ++k;
      for (std::size_t j = k; j < finPrecedente && segments[j].Debut <= c; ++j)
        joindre(i, static_cast<int>(j));
    }
    debutPrecedente = debutLigne;
    finPrecedente = segments.size();
  }
  // Roots in order of their first run: the raster order of the regions' first samples.
  std::vector<int> numero(segments.size(), 0);
  int n = 0;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const int racineI = racine(static_cast<int>(i));
    if (racineI == static_cast<int>(i)) numero[i] = ++n;
    const int e = numero[static_cast<std::size_t>(racineI)];
    int* ligne = etiquettes.Ligne(segments[i].Ligne);
    std::fill(ligne + segments[i].Debut, ligne + segments[i].Fin, e);
  }
  return n;
}

struct TRegion {
  double Flux = 0, Sx = 0, Sy = 0;  // binned samples
  int C0 = 1 << 30, L0 = 1 << 30, C1 = -1, L1 = -1;
  double Pic = 0;
  long Aire = 0;
  void Ajouter(int c, int r, double v) {
    Flux += v;
    Sx += v * c;
    Sy += v * r;
    C0 = std::min(C0, c), C1 = std::max(C1, c);
    L0 = std::min(L0, r), L1 = std::max(L1, r);
    Pic = std::max(Pic, v);
    ++Aire;
  }
};

// The regions of a mask joined across gaps of up to 2g samples; `etiquettes` gets the region
// (1-based) of each sample of the mask, 0 elsewhere.
std::vector<TRegion> Regions(const TCopieReduite& k, const TGrille<std::uint8_t>& masque, int g,
                             TGrille<int>& etiquettes) {
  const int n = Etiqueter(g > 0 ? Dilater(masque, g) : masque, etiquettes);
  std::vector<TRegion> regions(static_cast<std::size_t>(n));
  // A run of the mask lies in one region: its samples are added in turn, as one by one.
  for (int r = 0; r < k.NY; ++r) {
    const std::uint8_t* m = masque.Ligne(r);
    int* e = etiquettes.Ligne(r);
    const double* v = k.Valeurs.Ligne(r);
    for (int c = 0; c < k.NX;) {
      if (!m[c]) {
        e[c++] = 0;
        continue;
      }
      TRegion& z = regions[static_cast<std::size_t>(e[c] - 1)];
      const int debut = c;
      double flux = z.Flux, sx = z.Sx, sy = z.Sy, pic = z.Pic;
      for (; c < k.NX && m[c]; ++c) {
        flux += v[c];
        sx += v[c] * c;
        sy += v[c] * r;
        pic = std::max(pic, v[c]);
      }
      z.Flux = flux, z.Sx = sx, z.Sy = sy, z.Pic = pic;
      z.C0 = std::min(z.C0, debut), z.C1 = std::max(z.C1, c - 1);
      z.L0 = std::min(z.L0, r), z.L1 = std::max(z.L1, r);
      z.Aire += c - debut;
    }
  }
  return regions;
}

// Lumps whose discs (the square around each) overlap are pieces of one star: joined.
void JoindreMorceaux(std::vector<TRegion>& morceaux) {
  auto cercle = [](const TRegion& m) {
    return std::array<double, 3>{(m.C0 + m.C1) / 2.0, (m.L0 + m.L1) / 2.0,
                                 std::max(m.C1 - m.C0, m.L1 - m.L0) / 2.0 + 0.5};
  };
  for (bool joint = true; joint;) {
    joint = false;
    for (std::size_t i = 0; i < morceaux.size() && !joint; ++i)
      for (std::size_t j = i + 1; j < morceaux.size() && !joint; ++j) {
        const auto a = cercle(morceaux[i]), b = cercle(morceaux[j]);
        if (std::hypot(a[0] - b[0], a[1] - b[1]) >= 1.1 * (a[2] + b[2])) continue;
        TRegion& m = morceaux[i];
        const TRegion& n = morceaux[j];
        m.Flux += n.Flux, m.Sx += n.Sx, m.Sy += n.Sy, m.Aire += n.Aire;
        m.C0 = std::min(m.C0, n.C0), m.C1 = std::max(m.C1, n.C1);
        m.L0 = std::min(m.L0, n.L0), m.L1 = std::max(m.L1, n.L1);
        m.Pic = std::max(m.Pic, n.Pic);
        morceaux.erase(morceaux.begin() + static_cast<std::ptrdiff_t>(j));
        joint = true;
      }
  }
}

// Two stars whose faint edges touch make one region at the detection level; at some higher
// share of the region's peak they stand apart as discs that do not overlap, while the pieces of
// one star (cut by vanes, or bright lobes of an aberration) overlap and stay joined.
std::vector<TRegion> Separer(const TCopieReduite& k, const TGrille<int>& etiquettes, int indice,
                             const TRegion& z, double seuil, int g) {
  TCopieReduite local;
  local.NX = z.C1 - z.C0 + 1;
  local.NY = z.L1 - z.L0 + 1;
  local.Valeurs.Allouer(1, local.NY, local.NX);
  for (int r = 0; r < local.NY; ++r)
    for (int c = 0; c < local.NX; ++c) local.Valeurs(r, c) = k.Valeurs(z.L0 + r, z.C0 + c);
  for (const double part : {0.1, 0.2, 0.35}) {
    const double haut = std::max(seuil, part * z.Pic);
    TGrille<std::uint8_t> masque(1, local.NY, local.NX);
    for (int r = 0; r < local.NY; ++r)
      for (int c = 0; c < local.NX; ++c)
        masque(r, c) = etiquettes(z.L0 + r, z.C0 + c) == indice && local.Valeurs(r, c) > haut;
    TGrille<int> sous;
    std::vector<TRegion> morceaux = Regions(local, masque, g, sous);
    std::erase_if(morceaux, [&](const TRegion& m) { return m.Flux < 0.02 * z.Flux; });
    JoindreMorceaux(morceaux);
    if (morceaux.size() < 2) continue;
    // Stars, not the bright spots of one star's broken image: the largest keeps a good part
    // of the region (a spot within it would have joined it).
    long plusGrande = 0;
    for (const TRegion& m : morceaux) plusGrande = std::max(plusGrande, m.Aire);
    if (plusGrande < 0.25 * z.Aire) continue;
    for (TRegion& m : morceaux) {
      m.Sx += m.Flux * z.C0, m.Sy += m.Flux * z.L0;
      m.C0 += z.C0, m.C1 += z.C0, m.L0 += z.L0, m.L1 += z.L0;
    }
    return morceaux;
  }
  return {z};
}

// Centre and radius of a star on the frame itself: its own background around it (a plane
// through a ring beyond its light), then the chords of the samples above half its mean
// illumination, a few times over as the radius settles.
void Affiner(const TFctXY& image, TEtoile& e) {
  for (int tour = 0; tour < 3; ++tour) {
    const double lumiere = RayonLumiere(e.Rayon);
    const double exterieur = lumiere + std::max(8.0, 0.5 * e.Rayon);
    const int c0 = std::max(0, static_cast<int>(std::floor(e.CentreX - 1 - exterieur)));
    const int c1 = std::min(image.NX - 1, static_cast<int>(std::ceil(e.CentreX - 1 + exterieur)));
    const int l0 = std::max(0, static_cast<int>(std::floor(e.CentreY - 1 - exterieur)));
    const int l1 = std::min(image.NY - 1, static_cast<int>(std::ceil(e.CentreY - 1 + exterieur)));
    // A thousand samples of the ring fix its plane.
    const double aire = std::numbers::pi * (exterieur * exterieur - lumiere * lumiere);
    const int pas = std::max(1, static_cast<int>(std::sqrt(aire / 1000)));
    std::vector<TPointPlan> anneau;
    for (int r = l0; r <= l1; r += pas)
      for (int c = c0; c <= c1; c += pas) {
        const double x = c + 1 - e.CentreX, y = r + 1 - e.CentreY, d2 = x * x + y * y;
        const double v = image.V(r, c);
        if (d2 > lumiere * lumiere && d2 <= exterieur * exterieur && std::isfinite(v))
          anneau.push_back({x, y, v});
      }
    double p[3];
    long gardes = 0;
    double sigma = 0;
    if (anneau.size() < 16) return;
    PlanRobuste(anneau, p, gardes, sigma, 1000);
    auto fond = [&](int r, int c) {
      return p[0] + p[1] * (c + 1 - e.CentreX) + p[2] * (r + 1 - e.CentreY);
    };
    // The columns of row r within the light's disc: x² + y², rounded as it is, only grows
    // away from the centre, so they are one run, found from the root and checked at its ends.
    auto disque = [&](int r) {
      const double y = r + 1 - e.CentreY, limite = lumiere * lumiere;
      const auto dedans = [&](int c) {
        const double x = c + 1 - e.CentreX;
        return x * x + y * y <= limite;
      };
      if (y * y > limite) return std::pair{c0, c0 - 1};
      const double demi = std::sqrt(limite - y * y);
      int a = std::clamp(static_cast<int>(std::ceil(e.CentreX - 1 - demi)), c0, c1 + 1);
      int b = std::clamp(static_cast<int>(std::floor(e.CentreX - 1 + demi)), c0 - 1, c1);
      while (a > c0 && dedans(a - 1)) --a;
      while (a <= c1 && !dedans(a)) ++a;
      while (b < c1 && dedans(b + 1)) ++b;
      while (b >= a && !dedans(b)) --b;
      return std::pair{a, b};
    };
    double flux = 0;
    for (int r = l0; r <= l1; ++r) {
      const auto [a, b] = disque(r);
      for (int c = a; c <= b; ++c) {
        const double v = image.V(r, c);
        if (std::isfinite(v)) flux += v - fond(r, c);
      }
    }
    if (!(flux > 0)) return;
    const double niveau = 0.5 * flux / (std::numbers::pi * e.Rayon * e.Rayon);
    double compte = 0, sx = 0, sy = 0;
    for (int r = l0; r <= l1; ++r) {
      // The chord from the first to the last sample above the level: holes count as pupil.
      int premier = -1, dernier = -1;
      const auto [a, b] = disque(r);
      for (int c = a; c <= b; ++c) {
        const double v = image.V(r, c);
        if (std::isfinite(v) && v - fond(r, c) >= niveau) {
          if (premier < 0) premier = c;
          dernier = c;
        }
      }
      if (premier < 0) continue;
      const double l = dernier - premier + 1;
      compte += l;
      sx += l * ((premier + dernier) / 2.0 + 1);
      sy += l * (r + 1);
    }
    if (compte <= 0) return;
    const double x = sx / compte, y = sy / compte, rayon = std::sqrt(compte / std::numbers::pi);
    const bool pose = std::fabs(x - e.CentreX) < 0.05 && std::fabs(y - e.CentreY) < 0.05 &&
                      std::fabs(rayon - e.Rayon) < 0.05;
    e.CentreX = x, e.CentreY = y, e.Rayon = rayon, e.Flux = flux;
    if (pose) return;
  }
}

}  // namespace

TChampEtoiles TrouverEtoiles(const TFctXY& image, int coteMax) {
  TChampEtoiles champ;
  if (image.NX < 3 || image.NY < 3 || image.Donnees.Vide()) return champ;
  const TCopieReduite k = Reduire(image, coteMax);
  const int b = k.B;
  champ.Fond = k.Plan[0];
  champ.Bruit = k.Bruit * b;
  const double seuil = SeuilDetection * std::max(k.Bruit, 1e-12 * (std::fabs(k.Plan[0]) + 1));
  TGrille<std::uint8_t> masque(1, k.NY, k.NX);
  for (int r = 0; r < k.NY; ++r)
    for (int c = 0; c < k.NX; ++c) masque(r, c) = k.Valeurs(r, c) > seuil ? 1 : 0;

  // Gaps narrow against a star (vanes, the secondary's shadow) are closed: first the size of
  // the brightest star, then lumps closer than a few hundredths of it joined.
  auto segmenter = [&](int g) {
    TGrille<int> etiquettes;
    const std::vector<TRegion> regions = Regions(k, masque, g, etiquettes);
    std::vector<TRegion> separees;
    for (std::size_t i = 0; i < regions.size(); ++i)
      for (const TRegion& m : Separer(k, etiquettes, static_cast<int>(i + 1), regions[i], seuil, g))
        separees.push_back(m);
    return separees;
  };
  std::vector<TRegion> regions = segmenter(1);
  if (regions.empty()) return champ;
  const auto plusBrillante =
      std::max_element(regions.begin(), regions.end(),
                       [](const TRegion& a, const TRegion& z) { return a.Flux < z.Flux; });
  const double taille =
      std::max(plusBrillante->C1 - plusBrillante->C0, plusBrillante->L1 - plusBrillante->L0) + 1;
  const int g = std::max(1, static_cast<int>(std::lround(0.03 * taille)));
  if (g > 1) regions = segmenter(g);

  for (const TRegion& z : regions) {
    // A lump a few samples across at the detection level is noise, not a star.
    if (z.Pic < 2 * seuil) continue;
    TEtoile e;
    e.CentreX = (z.Sx / z.Flux + 0.5) * b + 0.5;
    e.CentreY = (z.Sy / z.Flux + 0.5) * b + 0.5;
    e.Rayon = std::max({z.C1 - z.C0 + 1, z.L1 - z.L0 + 1}) * b / 2.0;
    e.Flux = z.Flux * b * b;
    e.Entiere = z.C0 > 0 && z.L0 > 0 && z.C1 < k.NX - 1 && z.L1 < k.NY - 1;
    champ.Etoiles.push_back(e);
  }
  std::sort(champ.Etoiles.begin(), champ.Etoiles.end(),
            [](const TEtoile& a, const TEtoile& z) { return a.Flux > z.Flux; });
  const int n = std::min<int>(EtoilesAffinees, static_cast<int>(champ.Etoiles.size()));
  for (int i = 0; i < n; ++i) {
    TEtoile& e = champ.Etoiles[static_cast<std::size_t>(i)];
    Affiner(image, e);
    // Complete: the whole disc and a pixel beyond it inside the frame.
    e.Entiere = e.Entiere && e.CentreX - e.Rayon >= 1 && e.CentreY - e.Rayon >= 1 &&
                e.CentreX + e.Rayon <= image.NX && e.CentreY + e.Rayon <= image.NY;
    e.Defocalisee = e.Rayon >= RayonEtoileMin;
  }
  for (int i = n; i < static_cast<int>(champ.Etoiles.size()); ++i)
    champ.Etoiles[static_cast<std::size_t>(i)].Defocalisee = false;
  std::sort(champ.Etoiles.begin(), champ.Etoiles.end(),
            [](const TEtoile& a, const TEtoile& z) { return a.Flux > z.Flux; });
  return champ;
}

std::uint64_t EmpreinteEchantillons(const TFctXY& image) {
  // Eight fixed pieces hashed on the threads, then joined in order: the same value whatever
  // the threads. Each piece: four interleaved FNV-1a sums on the samples' 64-bit patterns.
  const auto plan = image.Donnees.Vide() ? std::span<const double>() : image.Donnees.Plan(0);
  constexpr int Pieces = 8;
  std::array<std::uint64_t, Pieces> h{};
  PourChaque(
      Pieces,
      [&](int k) {
        const std::size_t debut = plan.size() * k / Pieces, fin = plan.size() * (k + 1) / Pieces;
        std::uint64_t e[4] = {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL, 0x9e3779b97f4a7c15ULL,
                              0xbf58476d1ce4e5b9ULL};
        std::size_t i = debut;
        for (; i + 4 <= fin; i += 4)
          for (int l = 0; l < 4; ++l) {
            std::uint64_t u;
            std::memcpy(&u, &plan[i + l], sizeof u);
            e[l] = (e[l] ^ u) * 0x100000001b3ULL;
          }
        for (; i < fin; ++i) {
          std::uint64_t u;
          std::memcpy(&u, &plan[i], sizeof u);
          e[0] = (e[0] ^ u) * 0x100000001b3ULL;
        }
        h[static_cast<std::size_t>(k)] = ((e[0] * 31 + e[1]) * 31 + e[2]) * 31 + e[3];
      },
      plan.size() >= (1u << 18) ? NombreFils() : 1);
  std::uint64_t t =
      (static_cast<std::uint64_t>(image.NX) << 32) ^ static_cast<std::uint32_t>(image.NY);
  for (std::uint64_t x : h) t = (t ^ x) * 0x100000001b3ULL;
  return t;
}

TChampEtoiles EtoilesDe(const TPupille& image) {
  if (image.ChampEtoiles && image.EmpreinteChamp == EmpreinteEchantillons(image))
    return *image.ChampEtoiles;
  return TrouverEtoiles(image);
}

void RetenirEtoiles(TPupille& image, TChampEtoiles champ) {
  image.ChampEtoiles = std::make_shared<const TChampEtoiles>(std::move(champ));
  image.EmpreinteChamp = EmpreinteEchantillons(image);
}

std::optional<TEtoile> ChoisirEtoile(const TChampEtoiles& champ,
                                     std::optional<std::pair<double, double>> pres) {
  const TEtoile* choisie = nullptr;
  double meilleure = 0;
  for (const TEtoile& e : champ.Etoiles) {
    if (!e.Entiere || !e.Defocalisee) continue;
    if (pres) {
      const double d = std::hypot(e.CentreX - pres->first, e.CentreY - pres->second);
      if (d > RayonLumiere(e.Rayon)) continue;
      if (!choisie || d < meilleure) choisie = &e, meilleure = d;
    } else if (!choisie) {
      choisie = &e;  // sorted by flux
    }
  }
  if (!choisie) return std::nullopt;
  return *choisie;
}

std::string RaisonSansEtoile(const TChampEtoiles& champ, const std::string& nom, bool pointee) {
  const std::string image = "l'image " + nom;
  if (pointee) return "Aucune image d'étoile entière à l'endroit indiqué dans " + image + ".";
  if (champ.Etoiles.empty())
    return "Aucune pupille dans " + image +
           " : rien ne s'y détache du fond (image uniforme, vide ou seulement du bruit).";
  bool defocalisee = false;
  for (const TEtoile& e : champ.Etoiles) defocalisee = defocalisee || e.Defocalisee;
  if (!defocalisee)
    return "La pupille de " + image + " est trop petite (" +
           std::to_string(std::lround(champ.Etoiles.front().Rayon)) +
           " pixels de rayon, 8 au moins) : défocalisez davantage.";
  return "Aucune image d'étoile entière dans " + image +
         " : la pupille touche le bord de l'image (elle doit y être entière).";
}

std::vector<TDisque> AutresEtoiles(const TChampEtoiles& champ, const TEtoile& choisie,
                                   double marge) {
  std::vector<TDisque> d;
  for (const TEtoile& e : champ.Etoiles) {
    if (std::hypot(e.CentreX - choisie.CentreX, e.CentreY - choisie.CentreY) < 0.5 &&
        std::fabs(e.Rayon - choisie.Rayon) < 0.5)
      continue;
    // Points and cut images keep their own size; a defocused image is as large as the test's.
    const double rayon = e.Defocalisee ? std::max(e.Rayon, choisie.Rayon) : e.Rayon;
    d.push_back({e.CentreX, e.CentreY, RayonLumiere(rayon) + marge});
  }
  return d;
}

}  // namespace quelvane
