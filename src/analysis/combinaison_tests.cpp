#include "analysis/combinaison_tests.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include "analysis/analyse_front.h"
#include "core/ajustement.h"
#include "files/nombres.h"

namespace quelvane {

namespace {

constexpr double Degre = std::numbers::pi / 180;

TSelZernike Toutes() {
  TSelZernike s;
  SelectionComplete(s);
  return s;
}

// The source with every term in its map (its display may have taken some out).
TPupille Complet(const TPupille& f, const TJeuZernike& jeu) {
  TPupille p = f;
  p.Variantes.reset();
  BasculerTermes(p, Toutes(), jeu);
  if (!p.OrdresSup) {
    SynthetiserFront(p, jeu);
    p.OrdresSup = true;
  }
  return p;
}

// Figures of a wavefront as shown (PTV, RMS, Strehl), brought up to date.
void Figures(TPupille& f) {
  f.MoyenneEcartType();
  f.MinMaxMasque();
  CalculerStrehl(f);
}

// A cos/sin pair of terms of order n and frequency m > 0 (indices from 0).
struct TPaireTermes {
  int Cos = 0, Sin = 0, M = 0;
};

std::vector<TPaireTermes> PairesTournantes(int nbTermes, int nMin) {
  std::vector<TPaireTermes> paires;
  for (int j = 1; j <= nbTermes; ++j) {
    int n = 0, m = 0;
    OrdresZernike(j, n, m);
    if (m <= 0 || n < nMin) continue;
    for (int k = 1; k <= nbTermes; ++k) {
      int n2 = 0, m2 = 0;
      OrdresZernike(k, n2, m2);
      if (n2 == n && m2 == -m) paires.push_back({j - 1, k - 1, m});
    }
  }
  return paires;
}

// |mean of e^{i m θ}|: 1 when every angle gives the term the same orientation (nothing to
// tell the optic from the stand), 0 for angles spread evenly.
double Alignement(const std::vector<double>& anglesDeg, int m) {
  double c = 0, s = 0;
  for (double a : anglesDeg) c += std::cos(m * a * Degre), s += std::sin(m * a * Degre);
  return std::hypot(c, s) / static_cast<double>(anglesDeg.size());
}
constexpr double AlignementMax = 0.95;

// Solves the 4×4 system a·x = b in place (Gauss with partial pivoting); false if singular.
bool Resoudre4(double a[4][4], double b[4]) {
  for (int k = 0; k < 4; ++k) {
    int p = k;
    for (int i = k + 1; i < 4; ++i)
      if (std::abs(a[i][k]) > std::abs(a[p][k])) p = i;
    if (std::abs(a[p][k]) < 1e-12) return false;
    std::swap(a[k], a[p]);
    std::swap(b[k], b[p]);
    for (int i = k + 1; i < 4; ++i) {
      const double f = a[i][k] / a[k][k];
      for (int j = k; j < 4; ++j) a[i][j] -= f * a[k][j];
      b[i] -= f * b[k];
    }
  }
  for (int k = 3; k >= 0; --k) {
    for (int j = k + 1; j < 4; ++j) b[k] -= a[k][j] * b[j];
    b[k] /= a[k][k];
  }
  return true;
}

// The stand's terms (lab frame) from the tests' coefficients: c_i = R(mθ_i)·o + s for each
// separable pair, least squares over the tests.
TCoefZernike TermesDuBanc(const std::vector<const TPupille*>& fronts,
                          const std::vector<double>& angles,
                          const std::vector<TPaireTermes>& paires) {
  TCoefZernike s{};
  for (const TPaireTermes& p : paires) {
    double a[4][4] = {}, b[4] = {};
    for (std::size_t i = 0; i < fronts.size(); ++i) {
      const double t = p.M * angles[i] * Degre, co = std::cos(t), si = std::sin(t);
      // Rows of the design matrix for the cos and sin equations: [R | I].
      const double lignes[2][4] = {{co, -si, 1, 0}, {si, co, 0, 1}};
      const double mesures[2] = {fronts[i]->Coefficients[p.Cos], fronts[i]->Coefficients[p.Sin]};
      for (int e = 0; e < 2; ++e)
        for (int u = 0; u < 4; ++u) {
          b[u] += lignes[e][u] * mesures[e];
          for (int v = 0; v < 4; ++v) a[u][v] += lignes[e][u] * lignes[e][v];
        }
    }
    if (Resoudre4(a, b)) s[p.Cos] = b[2], s[p.Sin] = b[3];
  }
  return s;
}

// One estimate of the optic: each front rid of the stand's terms, brought back to the optic's
// orientation on the geometry's grid, averaged sample by sample and fitted. Every term shown.
TPupille Estimer(const std::vector<const TPupille*>& fronts, const std::vector<double>& angles,
                 const std::vector<TPaireTermes>& paires, const TPupille& geometrie,
                 const TJeuZernike& jeu, TCoefZernike& banc) {
  banc = paires.empty() ? TCoefZernike{} : TermesDuBanc(fronts, angles, paires);
  TPupille somme;
  for (std::size_t i = 0; i < fronts.size(); ++i) {
    TPupille f = Complet(*fronts[i], jeu);
    for (const TPaireTermes& p : paires)
      for (int j : {p.Cos, p.Sin})
        if (banc[j] != 0) AjouterTerme(f, j + 1, -banc[j], jeu);
    TPupille g = FrontTourne(f, -angles[i], geometrie, jeu);
    if (i == 0) {
      somme = std::move(g);
      continue;
    }
    auto a = somme.Donnees.Plan(0);
    const auto b = g.Donnees.Plan(0);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] += b[k];
  }
  for (double& v : somme.Donnees.Plan(0)) v /= static_cast<double>(fronts.size());
  somme.Selection = Toutes();
  AjusterZernike(somme, jeu);
  somme.OrdresSup = true;
  return somme;
}

// The final form of a combined front: the first test's choice of terms and higher orders.
void CommeLePremier(TPupille& f, const TPupille& premier, const TJeuZernike& jeu) {
  BasculerTermes(f, premier.Selection, jeu);
  if (!premier.OrdresSup) SynthetiserFront(f, jeu), f.OrdresSup = false;
  f.Role = RoleFront;
  f.Palette = premier.Palette;
  f.MasqueVisible = 1;
  Figures(f);
}

std::string Angle(double a) { return FormaterFixe(a, a == std::round(a) ? 0 : 1) + "°"; }

}  // namespace

TCoefZernike TournerCoefficients(const TCoefZernike& c, double degres, int nbTermes) {
  TCoefZernike r = c;
  for (const TPaireTermes& p : PairesTournantes(nbTermes, 0)) {
    const double t = p.M * degres * Degre, co = std::cos(t), si = std::sin(t);
    r[p.Cos] = co * c[p.Cos] - si * c[p.Sin];
    r[p.Sin] = si * c[p.Cos] + co * c[p.Sin];
  }
  return r;
}

TPupille FrontTourne(const TPupille& source, double degres, const TPupille& geometrie,
                     const TJeuZernike& jeu) {
  const TPupille s = Complet(source, jeu);
  TPupille g;
  g.Allouer(geometrie.NX, geometrie.NY);
  g.CentreX = geometrie.CentreX;
  g.CentreY = geometrie.CentreY;
  g.RayonPupille = geometrie.RayonPupille;
  g.Obstruction = geometrie.Obstruction;
  g.Masque = geometrie.Masque;
  g.AxesPupille();
  g.Role = RoleFront;
  g.Lambda = s.Lambda;
  g.Couleur = s.Couleur;
  g.RayonPhysique = s.RayonPhysique;
  g.Selection = Toutes();
  g.OrdresSup = true;
  g.Coefficients = TournerCoefficients(s.Coefficients, degres, jeu.NbTermes);
  if (s.AxeX.size() < 2 || s.AxeY.size() < 2 || s.NX < 2 || s.NY < 2)
    throw ErreurCombinaison("Front d'onde sans pupille : il ne peut pas être tourné.");
  // Normalised coordinates back to the source's columns and rows (its axes are linear).
  const double x0 = s.AxeX[0], dx = s.AxeX[1] - s.AxeX[0];
  const double y0 = s.AxeY[0], dy = s.AxeY[1] - s.AxeY[0];
  const double co = std::cos(degres * Degre), si = std::sin(degres * Degre);
  TValZernike v{};
  for (int r = 0; r < g.NY; ++r)
    for (int c = 0; c < g.NX; ++c) {
      if (g.M(r, c) != 1) {
        g.V(r, c) = 0;
        continue;
      }
      const double x = g.AxeX[c], y = g.AxeY[r];
      // The turned map at (x, y) is the source at the point turned back.
      const double xs = co * x + si * y, ys = -si * x + co * y;
      const double fc = (xs - x0) / dx, fr = (ys - y0) / dy;
      const int c0 = static_cast<int>(std::floor(fc)), r0 = static_cast<int>(std::floor(fr));
      const double tc = fc - c0, tr = fr - r0;
      double somme = 0, poids = 0;
      for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
          const int rr = r0 + a, cc = c0 + b;
          if (rr < 0 || rr >= s.NY || cc < 0 || cc >= s.NX || s.M(rr, cc) != 1) continue;
          const double w = (a ? tr : 1 - tr) * (b ? tc : 1 - tc);
          somme += w * s.V(rr, cc), poids += w;
        }
      if (poids > 0.25) {
        g.V(r, c) = somme / poids;
      } else {
        // Beyond the source's pupil: its polynomials there.
        CalculZernikeEtendu(jeu, ys, xs, s.Obstruction, v);
        double p = 0;
        for (int j = 0; j < jeu.NbTermes; ++j) p += s.Coefficients[j] * v[j];
        g.V(r, c) = p;
      }
    }
  return g;
}

TJeuZernike JeuDuTest(const TTestEnregistre& t) {
  return ConstruireJeuZernike(t.NbTermes, t.TypePolynomes);
}

void VerifierCompatibles(const std::vector<const TTestEnregistre*>& tests,
                         const std::vector<std::string>& noms) {
  if (tests.empty()) return;
  const TTestEnregistre& a = *tests.front();
  for (std::size_t i = 1; i < tests.size(); ++i) {
    const TTestEnregistre& b = *tests[i];
    const std::string entre = " (" + noms.front() + " et " + noms[i] + ")";
    if (a.TypePolynomes != b.TypePolynomes || a.NbTermes != b.NbTermes)
      throw ErreurCombinaison("Les tests n'ont pas les mêmes polynômes" + entre + ".");
    if (std::abs(a.Front.Lambda - b.Front.Lambda) > 0.5)
      throw ErreurCombinaison("Les tests n'ont pas la même longueur d'onde (" +
                              FormaterFixe(a.Front.Lambda, 1) + " et " +
                              FormaterFixe(b.Front.Lambda, 1) + " nm)" + entre + ".");
    const double ra = a.Front.RayonPhysique, rb = b.Front.RayonPhysique;
    if (!(std::abs(ra - rb) <= 0.01 * std::max(ra, rb)))
      throw ErreurCombinaison("Les tests ne sont pas ceux d'une même optique (diamètres " +
                              FormaterFixe(2 * ra / 1e6, 1) + " et " +
                              FormaterFixe(2 * rb / 1e6, 1) + " mm)" + entre + ".");
    // The obstruction is measured on each image: a few hundredths apart for one optic.
    if (std::abs(a.Front.Obstruction - b.Front.Obstruction) > 0.06)
      throw ErreurCombinaison("Les tests n'ont pas la même obstruction (" +
                              FormaterFixe(a.Front.Obstruction, 2) + " et " +
                              FormaterFixe(b.Front.Obstruction, 2) + ")" + entre + ".");
  }
}

TTestEnregistre MoyenneDesTests(const std::vector<TTestEnregistre>& tests,
                                const std::vector<std::string>& noms, bool separer) {
  const std::size_t n = tests.size();
  if (n < 2) throw ErreurCombinaison("Il faut au moins deux tests pour une moyenne.");
  std::vector<const TTestEnregistre*> pointeurs;
  for (const auto& t : tests) pointeurs.push_back(&t);
  VerifierCompatibles(pointeurs, noms);
  const TJeuZernike jeu = JeuDuTest(tests.front());
  std::vector<double> angles;
  for (const auto& t : tests) angles.push_back(t.RotationDeg);

  // What the angles can separate, frequency by frequency.
  std::vector<TPaireTermes> paires;
  std::string note;
  if (separer) {
    bool deuxAngles = false;
    for (double a : angles) deuxAngles = deuxAngles || std::abs(a - angles.front()) > 1e-9;
    if (!deuxAngles)
      throw ErreurCombinaison(
          "Tous les tests ont le même angle de rotation (" + Angle(angles.front()) +
          ") : pour séparer l'optique du banc, tournez l'optique sur son barillet entre deux "
          "tests (90° pour l'astigmatisme).");
    std::vector<std::string> separes, non;
    int mMax = 0;
    for (const TPaireTermes& p : PairesTournantes(jeu.NbTermes, 2)) mMax = std::max(mMax, p.M);
    for (int m = 1; m <= mMax; ++m) {
      const std::string nom = "m = " + std::to_string(m);
      if (Alignement(angles, m) <= AlignementMax) {
        separes.push_back(nom);
        for (const TPaireTermes& p : PairesTournantes(jeu.NbTermes, 2))
          if (p.M == m) paires.push_back(p);
      } else {
        non.push_back(nom + " (angles égaux à " + Angle(360.0 / m) + " près)");
      }
    }
    auto liste = [](const std::vector<std::string>& l) {
      std::string t;
      for (std::size_t i = 0; i < l.size(); ++i) t += (i ? ", " : "") + l[i];
      return t;
    };
    note = "Termes séparés de l'optique et du banc : " +
           (separes.empty() ? std::string("aucun") : liste(separes)) +
           " (m = 1 coma, m = 2 astigmatisme, m = 3 trèfle…). ";
    if (!non.empty())
      note += "Non séparables avec ces angles, comptés dans l'optique : " + liste(non) + ". ";
    note +=
        "Les termes de révolution (défocalisation, sphéricité, m = 0) ne tournent pas : ils "
        "restent dans l'optique.";
  }

  std::vector<const TPupille*> fronts;
  for (const auto& t : tests) fronts.push_back(&t.Front);
  const TPupille& geometrie = tests.front().Front;
  TCoefZernike banc{};
  TPupille moyenne = Estimer(fronts, angles, paires, geometrie, jeu, banc);

  // The ±: the spread between tests when each test left out still leaves the same terms
  // separable (a jackknife), else each test's own variants carried through.
  auto variantes = std::make_shared<TVariantesFront>();
  std::vector<TCoefZernike> bancs;
  bool jackknife = n >= 3;
  if (jackknife && !paires.empty())
    for (std::size_t i = 0; i < n && jackknife; ++i) {
      std::vector<double> reste;
      for (std::size_t k = 0; k < n; ++k)
        if (k != i) reste.push_back(angles[k]);
      for (const TPaireTermes& p : paires)
        if (Alignement(reste, p.M) > AlignementMax) jackknife = false;
    }
  if (jackknife) {
    for (std::size_t i = 0; i < n; ++i) {
      std::vector<const TPupille*> f;
      std::vector<double> a;
      for (std::size_t k = 0; k < n; ++k)
        if (k != i) f.push_back(fronts[k]), a.push_back(angles[k]);
      TCoefZernike b{};
      variantes->Fronts.push_back(Estimer(f, a, paires, geometrie, jeu, b));
      bancs.push_back(b);
    }
    variantes->Facteur = (static_cast<double>(n) - 1) / std::sqrt(static_cast<double>(n));
    variantes->Methode = "dispersion entre les tests (jackknife)";
    variantes->Comprend =
        "le bruit, la turbulence et ce qui change d'un test à l'autre (mise en station, "
        "collimation, température)";
  } else {
    std::size_t k = SIZE_MAX;
    double facteur = 0;
    for (const auto& t : tests) {
      const std::size_t nv = t.Front.Variantes ? t.Front.Variantes->Fronts.size() : 0;
      k = std::min(k, nv);
      if (nv) facteur = std::max(facteur, t.Front.Variantes->Facteur);
    }
    if (k >= 2) {
      // Each test's variants are drawn with the same seeds, one per index: the tests' draws
      // are taken at shifted indices so that their noises stay independent, and the spread of
      // the averaged variants is then that of the average itself.
      const std::size_t pas = std::max<std::size_t>(1, k / n);
      for (std::size_t v = 0; v < k; ++v) {
        std::vector<const TPupille*> f;
        for (std::size_t i = 0; i < n; ++i)
          f.push_back(&tests[i].Front.Variantes->Fronts[(v + i * pas) % k]);
        TCoefZernike b{};
        variantes->Fronts.push_back(Estimer(f, angles, paires, geometrie, jeu, b));
        bancs.push_back(b);
      }
      variantes->Facteur = facteur;
      variantes->Methode = "± de chaque test, reporté sur la moyenne";
      variantes->Comprend = tests.front().Front.Variantes->Comprend;
    }
  }

  TTestEnregistre r;
  r.Nature = "moyenne";
  r.TypePolynomes = tests.front().TypePolynomes;
  r.NbTermes = tests.front().NbTermes;
  r.Parametres = tests.front().Parametres;
  r.Preferences = tests.front().Preferences;
  r.RotationDeg = 0;
  r.DateObs = tests.front().DateObs;
  for (std::size_t i = 0; i < n; ++i) {
    r.Composition.push_back({noms[i], tests[i].DateObs, tests[i].RotationDeg});
    if (!tests[i].DateObs.empty() && (r.DateObs.empty() || tests[i].DateObs < r.DateObs))
      r.DateObs = tests[i].DateObs;
  }
  r.NoteSeparation = note;
  for (const TPaireTermes& p : paires)
    for (int j : {p.Cos, p.Sin}) {
      TTermeBanc t;
      t.J = j + 1;
      t.ValeurNm = banc[j];
      if (bancs.size() >= 2) {
        double s = 0, s2 = 0;
        for (const auto& b : bancs) s += b[j], s2 += b[j] * b[j];
        const double m = static_cast<double>(bancs.size());
        t.EcartNm = variantes->Facteur * std::sqrt(std::max(0.0, (s2 - s * s / m) / (m - 1)));
      }
      r.TermesBanc.push_back(t);
    }
  if (variantes->Fronts.size() >= 2) moyenne.Variantes = variantes;
  CommeLePremier(moyenne, tests.front().Front, jeu);
  r.Front = std::move(moyenne);
  return r;
}

TTestEnregistre DifferenceDesTests(const TTestEnregistre& a, const TTestEnregistre& b,
                                   const std::string& nomA, const std::string& nomB) {
  VerifierCompatibles({&a, &b}, {nomA, nomB});
  const TJeuZernike jeu = JeuDuTest(a);
  const TPupille& geometrie = a.Front;
  auto moins = [&](const TPupille& x, const TPupille& y) {
    TPupille d = FrontTourne(x, -a.RotationDeg, geometrie, jeu);
    const TPupille e = FrontTourne(y, -b.RotationDeg, geometrie, jeu);
    auto p = d.Donnees.Plan(0);
    const auto q = e.Donnees.Plan(0);
    for (std::size_t k = 0; k < p.size(); ++k) p[k] -= q[k];
    AjusterZernike(d, jeu);
    return d;
  };
  TPupille d = moins(a.Front, b.Front);
  // Each variant of one test against another draw of the other: their noises add.
  const auto* va = a.Front.Variantes.get();
  const auto* vb = b.Front.Variantes.get();
  const std::size_t ka = va ? va->Fronts.size() : 0, kb = vb ? vb->Fronts.size() : 0;
  if (ka >= 2 || kb >= 2) {
    auto v = std::make_shared<TVariantesFront>();
    const std::size_t k = ka >= 2 && kb >= 2 ? std::min(ka, kb) : std::max(ka, kb);
    for (std::size_t i = 0; i < k; ++i) {
      const TPupille& x = ka >= 2 ? va->Fronts[i] : a.Front;
      const TPupille& y = kb >= 2 ? vb->Fronts[ka >= 2 ? (i + k / 2) % k : i] : b.Front;
      v->Fronts.push_back(moins(x, y));
    }
    v->Facteur = std::max(ka >= 2 ? va->Facteur : 0.0, kb >= 2 ? vb->Facteur : 0.0);
    v->Methode = "± des deux tests combinés";
    v->Comprend = (ka >= 2 ? va : vb)->Comprend;
    d.Variantes = std::move(v);
  }
  CommeLePremier(d, a.Front, jeu);
  TTestEnregistre r;
  r.Nature = "difference";
  r.TypePolynomes = a.TypePolynomes;
  r.NbTermes = a.NbTermes;
  r.Parametres = a.Parametres;
  r.Preferences = a.Preferences;
  r.DateObs = a.DateObs;
  r.Composition = {{nomA, a.DateObs, a.RotationDeg}, {nomB, b.DateObs, b.RotationDeg}};
  r.Front = std::move(d);
  return r;
}

bool SecondesISO(const std::string& t, double& secondes) {
  int an = 0, mois = 0, jour = 0, h = 0, mi = 0, lus = 0;
  double s = 0;
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &an, &mois, &jour, &lus) != 3 || lus != 10)
    return false;
  if (t.size() > 10) {
    if (t[10] != 'T' && t[10] != ' ') return false;
    int fin = 0;
    if (std::sscanf(t.c_str() + 11, "%2d:%2d:%lf%n", &h, &mi, &s, &fin) != 3) return false;
    const std::string reste = t.substr(11 + static_cast<std::size_t>(fin));
    if (!reste.empty() && reste != "Z") return false;
  }
  if (mois < 1 || mois > 12 || jour < 1 || jour > 31 || h > 23 || mi > 59 || !(s >= 0) || !(s < 61))
    return false;
  // Days from the civil date (proleptic Gregorian).
  const int y = an - (mois <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (mois + (mois > 2 ? -3 : 9)) + 2) / 5 + jour - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const double jours = era * 146097.0 + doe - 719468;
  secondes = jours * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

std::vector<TPointTendance> Tendance(const std::vector<TTestEnregistre>& tests,
                                     const std::vector<std::string>& noms) {
  std::vector<TPointTendance> points;
  std::vector<double> secondes;
  for (std::size_t i = 0; i < tests.size(); ++i) {
    const TTestEnregistre& t = tests[i];
    const TJeuZernike jeu = JeuDuTest(t);
    TPupille f = t.Front;
    Figures(f);
    TPointTendance p;
    p.Fichier = noms[i];
    p.DateObs = t.DateObs;
    double sec = 0;
    p.DateConnue = SecondesISO(t.DateObs, sec);
    secondes.push_back(sec);
    p.RMS = f.EcartType, p.PTV = f.Etendue, p.Strehl = f.Strehl;
    p.CoefficientsRMS = f.Coefficients;
    CoefVersRMS(jeu, p.CoefficientsRMS);
    const TIncertitudes u = Incertitudes(f, jeu);
    if (u.Connues) {
      p.EcartsConnus = true;
      p.RMSEcart = u.RMS, p.PTVEcart = u.PTV, p.StrehlEcart = u.Strehl;
      p.EcartsRMS = u.Coefficients;
      CoefVersRMS(jeu, p.EcartsRMS);
    }
    points.push_back(std::move(p));
  }
  std::vector<std::size_t> ordre(points.size());
  for (std::size_t i = 0; i < ordre.size(); ++i) ordre[i] = i;
  std::stable_sort(ordre.begin(), ordre.end(), [&](std::size_t a, std::size_t b) {
    if (points[a].DateConnue != points[b].DateConnue) return points[a].DateConnue;
    return points[a].DateConnue && secondes[a] < secondes[b];
  });
  std::vector<TPointTendance> tries;
  double origine = 0;
  bool premier = true;
  for (std::size_t i : ordre) {
    TPointTendance p = points[i];
    if (p.DateConnue) {
      if (premier) origine = secondes[i], premier = false;
      p.Heures = (secondes[i] - origine) / 3600;
    }
    tries.push_back(std::move(p));
  }
  return tries;
}

std::vector<int> TermesSuivis(const std::vector<int>& demandes, int nbTermes) {
  std::vector<int> t;
  if (demandes.empty()) {
    for (int j : {5, 6, 7, 8, 11})
      if (j <= nbTermes) t.push_back(j);
    return t;
  }
  for (int j : demandes)
    if (j < 1 || j > nbTermes)
      throw ErreurCombinaison("Termes suivis : de 1 à " + std::to_string(nbTermes));
  return demandes;
}

std::string TexteCSVTendance(const std::vector<TPointTendance>& points,
                             const std::vector<int>& termes) {
  std::ostringstream t;
  t << "date_obs,heures,fichier,rms_nm,rms_se_nm,ptv_nm,ptv_se_nm,strehl,strehl_se";
  for (int j : termes) t << ",Z" << j << "_rms_nm,Z" << j << "_se_nm";
  t << "\r\n";
  auto nombre = [](double x) { return FormaterGeneral(x, 10, '.'); };
  auto champ = [](std::string s) {
    // Names with a comma or a quote are quoted as CSV wants.
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  };
  for (const TPointTendance& p : points) {
    auto ecart = [&](double e) { return p.EcartsConnus ? nombre(e) : std::string(); };
    t << champ(p.DateObs) << "," << (p.DateConnue ? nombre(p.Heures) : "") << ","
      << champ(p.Fichier) << "," << nombre(p.RMS) << "," << ecart(p.RMSEcart) << ","
      << nombre(p.PTV) << "," << ecart(p.PTVEcart) << "," << nombre(p.Strehl) << ","
      << ecart(p.StrehlEcart);
    for (int j : termes)
      if (j >= 1 && j <= NMaxZern)
        t << "," << nombre(p.CoefficientsRMS[j - 1]) << "," << ecart(p.EcartsRMS[j - 1]);
    t << "\r\n";
  }
  return t.str();
}

}  // namespace quelvane
