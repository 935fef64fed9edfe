#include "support/simulateur_serie.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace quelvane::outils {

namespace {

// Light of the test star with another star's copy added at its offset (same atmosphere: the
// field is small against the isoplanatic angle of a defocused test).
void AjouterEtoiles(TGrilleReelle& image, const TGrilleReelle& etoile,
                    const std::vector<TEtoileDuChamp>& autres) {
  const int h = image.Lignes(), l = image.Colonnes();
  for (const TEtoileDuChamp& a : autres) {
    const int dc = static_cast<int>(std::lround(a.DecalageX));
    const int dr = -static_cast<int>(std::lround(a.DecalageY));
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < l; ++c) {
        const int rs = r - dr, cs = c - dc;
        if (rs >= 0 && rs < h && cs >= 0 && cs < l) image(r, c) += a.Facteur * etoile(rs, cs);
      }
  }
}

}  // namespace

TGrilleReelle SimulerImageSerie(const TSerieSimulee& s, int k) {
  const std::uint64_t graine = s.Graine * 1'000'003ULL + static_cast<std::uint64_t>(k) * 7919ULL;
  std::mt19937_64 alea(graine);
  std::normal_distribution<double> gauss;
  TCameraSimulee camera = s.Camera;
  camera.Graine = graine ^ 0x5bd1e995ULL;
  camera.DecalageX += s.Atmosphere.AgitationPixels * gauss(alea);
  camera.DecalageY += s.Atmosphere.AgitationPixels * gauss(alea);
  TEcranPhase ecran;
  const bool atmosphere = s.Atmosphere.R0Mm > 0;
  if (atmosphere)
    ecran = EcranVonKarman(s.Telescope.DiametreMm, s.Atmosphere.R0Mm, s.Atmosphere.EchelleExterneM,
                           graine + 17);
  const TEcranPhase* e = atmosphere ? &ecran : nullptr;

  TGrilleReelle lumiere;
  if (!s.Mosaique) {
    lumiere = IntensiteEtoile(s.Telescope, camera, s.Spectre, s.Intra, e);
  } else {
    // Red, green and blue filters, each sampled by its pixels of an RGGB mosaic.
    const TSpectreSimule filtres[3] = {
        {{600, 1}, {640, 1}}, {{520, 1}, {560, 1}}, {{450, 1}, {490, 1}}};
    TGrilleReelle couleurs[3];
    for (int i = 0; i < 3; ++i)
      couleurs[i] = IntensiteEtoile(s.Telescope, camera, filtres[i], s.Intra, e);
    lumiere.Allouer(1, camera.Hauteur, camera.Largeur);
    for (int r = 0; r < camera.Hauteur; ++r)
      for (int c = 0; c < camera.Largeur; ++c) {
        const int i = (r % 2 == 0 && c % 2 == 0) ? 0 : (r % 2 == 1 && c % 2 == 1) ? 2 : 1;
        lumiere(r, c) = couleurs[i](r, c);
      }
  }
  const TGrilleReelle etoile = lumiere;
  AjouterEtoiles(lumiere, etoile, s.AutresEtoiles);
  Exposer(lumiere, s.Telescope, camera);

  // Cosmic rays: short tracks of a few pixels, thousands of ADU above anything else.
  std::poisson_distribution<int> coups(s.RayonsCosmiques);
  const int n = s.RayonsCosmiques > 0 ? coups(alea) : 0;
  std::uniform_int_distribution<int> colonne(0, camera.Largeur - 1), ligne(0, camera.Hauteur - 1);
  std::uniform_int_distribution<int> longueur(1, 4), direction(-1, 1);
  std::uniform_real_distribution<double> energie(3000, 30000);
  for (int i = 0; i < n; ++i) {
    int r = ligne(alea), c = colonne(alea);
    const int dr = direction(alea), dc = direction(alea), l = longueur(alea);
    const double a = energie(alea);
    for (int j = 0; j < l; ++j, r += dr, c += dc)
      if (r >= 0 && r < camera.Hauteur && c >= 0 && c < camera.Largeur) lumiere(r, c) += a;
  }
  return lumiere;
}

std::vector<std::uint16_t> EnSeizeBits(const TGrilleReelle& image) {
  std::vector<std::uint16_t> v;
  v.reserve(image.TaillePlan());
  for (double x : image.Plan(0))
    v.push_back(static_cast<std::uint16_t>(std::clamp(std::nearbyint(x), 0.0, 65535.0)));
  return v;
}

}  // namespace quelvane::outils

namespace quelvane::outils {

TSerieSimuleeEnMemoire::TSerieSimuleeEnMemoire(TSerieSimulee serie, double pleineEchelle)
    : Parametres(std::move(serie)) {
  description_.Format = "simulation";
  description_.Largeur = Parametres.Camera.Largeur;
  description_.Hauteur = Parametres.Camera.Hauteur;
  description_.Annoncees = description_.Nombre = Parametres.Images;
  description_.PleineEchelle = pleineEchelle;
  description_.PoseSecondes = 0.02;
  images_.resize(static_cast<std::size_t>(Parametres.Images));
}

void TSerieSimuleeEnMemoire::Lire(int k, TGrilleReelle& image) const {
  std::shared_ptr<const TGrilleReelle> g;
  {
    std::lock_guard verrou(verrou_);
    g = images_.at(static_cast<std::size_t>(k));
  }
  if (!g) {
    TGrilleReelle s = SimulerImageSerie(Parametres, k);
    // Camera values, then what the reader makes of a mosaic.
    for (double& v : s.Plan(0)) v = std::clamp(std::nearbyint(v), 0.0, description_.PleineEchelle);
    if (Parametres.Mosaique) LuminanceMosaique(s);
    g = std::make_shared<const TGrilleReelle>(std::move(s));
    std::lock_guard verrou(verrou_);
    images_[static_cast<std::size_t>(k)] = g;
  }
  image = *g;
}

std::string TSerieSimuleeEnMemoire::NomImage(int k) const {
  return "simulation, image " + std::to_string(k + 1);
}

}  // namespace quelvane::outils
