#include "analysis/roddier.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "core/zernike.h"

namespace quelvane {

namespace {

constexpr int IterationsPoissonMax = 20;
constexpr double RayonAnneauSignal = 1.15;
constexpr int MargeRecadrage = 10;  // pixels kept around the pupil of the results

std::unique_ptr<TPupille> NouvellePupille(int nx, int ny) {
  auto p = std::make_unique<TPupille>();
  p->Allouer(nx, ny);
  return p;
}

void ExigerMemeTaille(const TPupille& a, const TPupille& b) {
  if (a.NX != b.NX || a.NY != b.NY)
    throw ErreurTest("Les images intra-focale et extra-focale n'ont pas la même taille (" +
                     std::to_string(a.NX) + " × " + std::to_string(a.NY) + " et " +
                     std::to_string(b.NX) + " × " + std::to_string(b.NY) + ")");
}

// Bilinear sample at 1-based (q, p) with fractions (fy, fx); the caller keeps q+1, p+1 inside.
double Bilineaire(const TPupille& im, int q, int p, double fx, double fy) {
  const double* haut = im.Donnees.Ligne(q - 1);
  const double* bas = im.Donnees.Ligne(q);
  return (1 - fx) * (1 - fy) * haut[p - 1] + (1 - fx) * fy * bas[p - 1] + fx * fy * bas[p] +
         fx * (1 - fy) * haut[p];
}

// The image moved through displacement k·∇W, its flux carried along (Jacobian 1 + kT + k²D).
std::unique_ptr<TPupille> Transporter(const TPupille& im, double k, const TFctXY& w,
                                      const TFctXY& wx, const TFctXY& wy, const TFctXY& wxx,
                                      const TFctXY& wyy, const TFctXY& wxy) {
  auto sortie = NouvellePupille(im.NX, im.NY);
  for (int j = 1; j <= w.NY; ++j) {
    const double *lx = wx.Donnees.Ligne(j - 1), *ly = wy.Donnees.Ligne(j - 1);
    const double *lxx = wxx.Donnees.Ligne(j - 1), *lyy = wyy.Donnees.Ligne(j - 1),
                 *lxy = wxy.Donnees.Ligne(j - 1);
    double* sortieLigne = sortie->Donnees.Ligne(j - 1);
    for (int i = 1; i <= w.NX; ++i) {
      const double gx = lx[i - 1], gy = ly[i - 1];
      const double t = lxx[i - 1] + lyy[i - 1],
                   d = lxx[i - 1] * lyy[i - 1] - lxy[i - 1] * lxy[i - 1];
      const double px = k * gx / im.PasX + i, qy = k * gy / im.PasY + j;
      double b = 0;
      if (std::isfinite(px) && std::isfinite(qy)) {
        const long p = static_cast<long>(std::trunc(px));
        const long q = static_cast<long>(std::trunc(qy));
        if (p > 0 && p < im.NX && q > 0 && q < im.NY) {
          const double fx = (im.AxeX[i - 1] + k * gx - im.AxeX[p - 1]) / im.PasX;
          const double fy = (im.AxeY[j - 1] + k * gy - im.AxeY[q - 1]) / im.PasY;
          b = Bilineaire(im, static_cast<int>(q), static_cast<int>(p), fx, fy);
        }
      }
      sortieLigne[i - 1] = b * (1 + k * t + k * k * d);
    }
  }
  sortie->Seuil = im.Seuil;
  sortie->Seuiller();
  sortie->TrouverPupille();
  sortie->AxesPupille();
  sortie->Role = im.Role;
  return sortie;
}

// P := ∂(Gx)/∂x + ∂(Gy)/∂y with Gx = ∂W/∂x, Gy = ∂W/∂y (central differences, 0 on the first and
// last column or row, as DeriveeX/DeriveeY give them) and the gradient cut on the ring: the
// same values as the sequence of field operations, in two passes instead of seven.
void LaplacienCoupe(const TFctXY& w, const std::vector<std::size_t>& anneau, TFctXY& gx, TFctXY& gy,
                    TFctXY& p) {
  const int nx = w.NX, ny = w.NY;
  const double ix = 1 / (2 * w.PasX), iy = 1 / (2 * w.PasY);
  for (int r = 0; r < ny; ++r) {
    const double* l = w.Donnees.Ligne(r);
    double* dx = gx.Donnees.Ligne(r);
    double* dy = gy.Donnees.Ligne(r);
    dx[0] = 0;
    for (int c = 1; c < nx - 1; ++c) dx[c] = (l[c + 1] - l[c - 1]) * ix;
    if (nx > 1) dx[nx - 1] = 0;
    if (r == 0 || r == ny - 1) {
      std::fill_n(dy, nx, 0.0);
      continue;
    }
    const double* haut = w.Donnees.Ligne(r - 1);
    const double* bas = w.Donnees.Ligne(r + 1);
    for (int c = 0; c < nx; ++c) dy[c] = (bas[c] - haut[c]) * iy;
  }
  for (std::size_t i : anneau) gx.Donnees.Plan(0)[i] = gy.Donnees.Plan(0)[i] = 0;
  for (int r = 0; r < ny; ++r) {
    const double* dx = gx.Donnees.Ligne(r);
    double* d = p.Donnees.Ligne(r);
    const bool bordY = r == 0 || r == ny - 1;
    const double* haut = bordY ? nullptr : gy.Donnees.Ligne(r - 1);
    const double* bas = bordY ? nullptr : gy.Donnees.Ligne(r + 1);
    for (int c = 0; c < nx; ++c) {
      const double lxx = (c == 0 || c == nx - 1) ? 0.0 : (dx[c + 1] - dx[c - 1]) * ix;
      const double lyy = bordY ? 0.0 : (bas[c] - haut[c]) * iy;
      d[c] = lxx + lyy;
    }
  }
}

// √Σ(S − P)² over the signal's pupil (EcartQuadratique), then P := S there (CopierSelonMasque).
double EcartPuisSignal(const TPupille& s, TFctXY& p) {
  double somme[4] = {0, 0, 0, 0};
  for (int r = 0; r < s.NY; ++r) {
    const double* ls = s.Donnees.Ligne(r);
    const std::int16_t* m = s.Masque.Ligne(r);
    double* lp = p.Donnees.Ligne(r);
    for (int c = 0; c < s.NX; ++c) {
      if (m[c] != DansPupille) continue;
      const double d = ls[c] - lp[c];
      somme[c & 3] += d * d;
      lp[c] = ls[c];
    }
  }
  return std::sqrt((somme[0] + somme[1]) + (somme[2] + somme[3]));
}

}  // namespace

void TRoddier::VerifierLongueurs() const {
  // K = f(f − l)/l must be finite and positive: the images lie between the optics and twice
  // the focal length from it.
  if (!(FocaleNm > 0 && RayonNm > 0 && DefocNm > 0) || !(DefocNm < FocaleNm))
    throw ErreurTest(
        "Paramètres du test invalides : il faut 0 < défocalisation < focale et un "
        "diamètre positif");
}

void TRoddier::CalculerSignal() {
  if (!Intra || !Extra || !Signal) throw ErreurTest("Test sans images");
  ExigerMemeTaille(*Intra, *Extra);
  ExigerMemeTaille(*Intra, *Signal);
  TPupille& s = *Signal;
  s.Role = RoleSignal;
  s.NbEffectif = 0;
  for (int r = 0; r < s.NY; ++r)
    for (int c = 0; c < s.NX; ++c) {
      const double a = Intra->V(r, c), b = Extra->V(r, c);
      if (a + b != 0) s.V(r, c) = (a - b) / (a + b);
      if (Intra->M(r, c) == 1 || Extra->M(r, c) == 1) {
        s.M(r, c) = DansPupille;
        ++s.NbEffectif;
      } else {
        s.M(r, c) = HorsPupille;
        s.V(r, c) = 0;
      }
    }
  s.TrouverPupille();
  s.AxesPupille();
  s.CalculerObstruction();
  RayonAnneau = RayonAnneauSignal;
  const double limite = RayonAnneau * RayonAnneau;
  for (int r = 0; r < s.NY; ++r)
    for (int c = 0; c < s.NX; ++c) {
      if (s.M(r, c) != HorsPupille) continue;
      const double r2 = s.AxeX[c] * s.AxeX[c] + s.AxeY[r] * s.AxeY[r];
      if (r2 > 0.9 && r2 <= limite) s.M(r, c) = Anneau;
    }
}

void TRoddier::ResoudrePoisson(IProgression& progression) {
  VerifierLongueurs();
  if (!Signal || Signal->Donnees.Vide()) throw ErreurTest("Test sans signal");
  const TPupille& s = *Signal;
  if (s.RayonPupille <= 0) throw ErreurTest("Le signal n'a pas de pupille");
  const double f = FocaleNm, l = DefocNm, rho = RayonNm;
  const double k = f * (f - l) / l;
  const int nx = s.NX, ny = s.NY;
  const double echelle = (nx / (2 * std::numbers::pi)) * (nx / (2 * std::numbers::pi));

  TFctXY p, gx, gy, spectre;
  for (TFctXY* champ : {&p, &gx, &gy}) champ->Allouer(nx, ny);
  auto w = std::make_unique<TPupille>();
  p.Copier(s);

  // The ring, where the gradient is cut at every iteration.
  std::vector<std::size_t> anneau;
  for (std::size_t i = 0; i < s.Masque.TaillePlan(); ++i)
    if (s.Masque.Plan(0)[i] == Anneau) anneau.push_back(i);

  std::vector<double> ecarts;
  IterationsPoisson = 0;
  for (int i = 1; i <= IterationsPoissonMax; ++i) {
    progression.Avancer();
    IterationsPoisson = i;
    spectre.FFTDirecte(p);
    spectre.FiltrePoisson();
    w->FFTInverse(spectre);
    // The filtered inverse transform is −(2π/N)² times the inverse Laplacian (normalised
    // pupil units): bring it to scale before differentiating, so that the Laplacian below is
    // compared with the signal itself and the continuation outside the pupil takes effect.
    w->Multiplier(-echelle);
    LaplacienCoupe(*w, anneau, gx, gy, p);
    // The misfit inside the pupil, and there the right-hand side goes back to the measured
    // signal, in one pass (P is not used again when the loop stops here).
    ecarts.push_back(EcartPuisSignal(s, p));
    const std::size_t n = ecarts.size();
    // Stop just after the first minimum of the misfit; the iterate of this pass is kept.
    if (i > 2 && ecarts[n - 3] > ecarts[n - 2] && ecarts[n - 2] < ecarts[n - 1]) break;
  }

  w->Masque = s.Masque;
  w->CentreX = s.CentreX;
  w->CentreY = s.CentreY;
  w->Obstruction = s.Obstruction;
  w->RayonPupille = s.RayonPupille;
  w->PasX = s.PasX;
  w->PasY = s.PasY;
  w->AxeX = s.AxeX;
  w->AxeY = s.AxeY;
  w->AffecterSelonMasque(DansPupille, false, 0);
  // From normalised pupil units to nanometres of wavefront: S = K·∇²W, ∇² = ∇²(normalised)/ρ².
  w->Multiplier(rho * rho / k);
  FrontResiduel = std::move(w);
}

void TRoddier::CorrigerImages() {
  VerifierLongueurs();
  if (!FrontResiduel || !Intra || !Extra) throw ErreurTest("Test incomplet");
  const TPupille& w = *FrontResiduel;
  ExigerMemeTaille(*Intra, w);
  ExigerMemeTaille(*Extra, w);
  const double f = FocaleNm, l = DefocNm, rho = RayonNm;
  const double u = -f * (f - l) / (l * rho * rho);
  const double v = f * (f + l) / (l * rho * rho);

  TFctXY wx, wy, wxx, wyy, wxy;
  for (TFctXY* champ : {&wx, &wy, &wxx, &wyy, &wxy}) champ->Allouer(w.NX, w.NY);
  wx.GradientX(w);
  wy.GradientY(w);
  wx.CopierMasque(w);
  wy.CopierMasque(w);
  wxx.GradientX(wx);
  wyy.GradientY(wy);
  wxy.GradientX(wy);
  Intra = Transporter(*Intra, u, w, wx, wy, wxx, wyy, wxy);
  Extra = Transporter(*Extra, v, w, wx, wy, wxx, wyy, wxy);
}

void TRoddier::Reconstruire(const TOptionsReconstruction& options, IProgression& progression) {
  VerifierLongueurs();
  if (!Intra || !Extra) throw ErreurTest("Test sans images");
  Intra->AgrandirPuissanceDeux();
  Extra->AgrandirPuissanceDeux();
  ExigerMemeTaille(*Intra, *Extra);
  for (TPupille* im : {Intra.get(), Extra.get()}) {
    im->Seuiller();
    im->TrouverPupille();
    if (im->RayonPupille <= 0)
      throw ErreurTest("Une des images n'a pas de pupille au seuil choisi");
    im->Centrer();
  }
  Signal = NouvellePupille(Intra->NX, Intra->NY);
  FrontOnde = NouvellePupille(Signal->NX, Signal->NY);

  PassesEffectuees = 0;
  IterationsTotales = 0;
  for (int k = 1;; ++k) {
    PassesEffectuees = k;
    CalculerSignal();
    ResoudrePoisson(progression);
    IterationsTotales += IterationsPoisson;
    TPupille& w = *FrontResiduel;
    w.MoyenneEcartType();
    bool arreter = false;
    if (w.EcartType > options.RMSFront) {
      FrontOnde->Ajouter(w);
      FrontOnde->CopierMasque(w);
      CorrigerImages();
    } else if (options.BreakCondition) {
      arreter = true;
    }
    if (k >= NbPasses) arreter = true;
    if (arreter) break;
  }
  progression.Terminer();

  TPupille& front = *FrontOnde;
  front.AffecterSelonMasque(DansPupille, false, 0);
  front.Role = RoleFront;
  front.CentreX = Signal->CentreX;
  front.CentreY = Signal->CentreY;
  front.RayonPupille = Signal->RayonPupille;
  front.Obstruction = Signal->Obstruction;
  front.RecadrerPupille(MargeRecadrage);
  front.AxesPupille();
  front.LimiterPupille();
  front.RayonPhysique = RayonNm;
  SelectionComplete(front.Selection);
  front.OrdresSup = true;

  TPupille& residu = *FrontResiduel;
  residu.AffecterSelonMasque(DansPupille, false, 0);
  residu.Role = RoleResidu;
  residu.RecadrerPupille(MargeRecadrage);
  residu.MasqueVisible = 1;
  residu.TrouverPupille();
  residu.Obstruction = Signal->Obstruction;
  residu.AxesPupille();
  residu.LimiterPupille();
  residu.RayonPhysique = RayonNm;
  SelectionComplete(residu.Selection);
  residu.OrdresSup = true;

  Intra->RecadrerPupille(MargeRecadrage);
  Extra->RecadrerPupille(MargeRecadrage);
}

}  // namespace quelvane
