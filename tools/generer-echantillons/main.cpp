// Writes the demonstration pair of samples/ (simulated defocused star images as a 16-bit camera
// records them: unsigned, BZERO 32768) and the demonstration series (two SER videos of short
// frames through the atmosphere), or, with --graines and --graines-ser, the seed corpora of
// the FITS and series fuzzers.
// Usage: generer-echantillons DOSSIER | --graines DOSSIER | --graines-ser DOSSIER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "support/ecriture_fits.h"
#include "support/ecriture_ser.h"
#include "support/simulateur_etoile.h"
#include "support/simulateur_serie.h"

namespace {

using quelvane::outils::TCarteFITS;
using quelvane::outils::TImageAEcrire;

// The demonstration pair: a 200 mm f/5 Newtonian with a 25 % obstruction, slightly
// under-corrected, seen 3.64 mm either side of focus by a camera of 5.2 µm pixels.
quelvane::outils::TTelescopeSimule TelescopeDemonstration() {
  quelvane::outils::TTelescopeSimule t;
  t.DiametreMm = 200;
  t.FocaleMm = 1000;
  t.Obstruction = 0.25;
  t.CoefficientsNm[10] = 60;  // Z11 spherical aberration (under-corrected)
  t.CoefficientsNm[4] = 25;   // Z5 astigmatism
  t.CoefficientsNm[6] = -15;  // Z7 coma
  t.CoefficientsNm[8] = 10;   // Z9 trefoil
  return t;
}

TImageAEcrire EtoileDefocalisee(bool intra) {
  quelvane::outils::TCameraSimulee c;
  c.Largeur = c.Hauteur = 256;
  c.PixelMicrons = 5.2;
  c.DefocalisationMm = 3.64;
  c.Fond = 1000;
  c.Plateau = 20000;
  c.SeeingPixels = 1.0;
  c.Bruit = true;
  c.Graine = intra ? 11 : 12;
  c.DecalageX = intra ? 2.3 : -1.6;
  c.DecalageY = intra ? -1.2 : 0.7;
  const auto image = quelvane::outils::SimulerImage(TelescopeDemonstration(), c,
                                                    quelvane::outils::SpectreLarge(), intra);
  TImageAEcrire im;
  im.Bitpix = 16;
  im.Largeur = c.Largeur;
  im.Hauteur = c.Hauteur;
  for (double v : image.Plan(0))
    im.Valeurs.push_back(std::clamp(std::round(v), 0.0, 65535.0) - 32768);  // BZERO restores it
  im.Cartes = {
      {"BZERO", "32768"},
      {"BSCALE", "1"},
      {"DATE-OBS", intra ? "'2026-03-14T21:42:07'" : "'2026-03-14T21:44:31'"},
      {"EXPOSURE", "2"},
      {"TELESCOP", "'Newton 200/1000'"},
      {"INSTRUME", "'Camera demonstration'"},
      {"OBSERVER", "'Quelvane'"},
      {"XPIXELSZ", "5.2"},
      {"YPIXELSZ", "5.2"},
      {"FOCLEN", "1.0"},
      {"DIAMETER", "200"},
      {"COMMENT", intra ? "Image intra-focale simulee" : "Image extra-focale simulee", true},
  };
  return im;
}

// Small files of every supported depth and shape, the seed corpus of the reader's fuzzer.
bool EcrireGraines(const std::string& dossier) {
  struct TGraine {
    const char* Nom;
    int Bitpix, Largeur, Hauteur, Plans;
    std::vector<TCarteFITS> Cartes;
  };
  const TGraine graines[] = {
      {"seize.fit", 16, 5, 4, 1, {{"BZERO", "32768"}, {"DATE-OBS", "'2024-01-02T03:04:05'"}}},
      {"octets.fit", 8, 4, 4, 1, {{"COMMENT", "octets", true}}},
      {"flottants.fit", -32, 3, 3, 1, {{"BSCALE", "2"}, {"MIRRORX", "T"}}},
      {"doubles.fit", -64, 2, 3, 1, {{"FOCLEN", "1.2"}, {"XPIXELSZ", "5,4"}}},
      {"entiers32.fit", 32, 3, 2, 1, {{"OBSERVER", "'a''b / c'"}}},
      {"couleur.fit", 16, 2, 2, 3, {{"DATAMAX", "255"}, {"SUBSAMP", "2"}}},
  };
  for (const auto& g : graines) {
    TImageAEcrire im;
    im.Bitpix = g.Bitpix;
    im.Largeur = g.Largeur;
    im.Hauteur = g.Hauteur;
    im.Plans = g.Plans;
    im.Cartes = g.Cartes;
    for (int i = 0; i < g.Largeur * g.Hauteur * g.Plans; ++i) im.Valeurs.push_back(i * 7 % 120);
    if (!quelvane::outils::EcrireFITS(dossier + "/" + g.Nom, im)) return false;
  }
  return true;
}

// The demonstration series: the same mirror 1.82 mm either side of focus, 32 frames of
// 20 ms through an atmosphere of r0 = 120 mm, as a 16-bit planetary camera records them.
quelvane::outils::TVideoAEcrire SerieDemonstration(bool intra) {
  quelvane::outils::TSerieSimulee s;
  s.Telescope = TelescopeDemonstration();
  quelvane::outils::TCameraSimulee& c = s.Camera;
  c.Largeur = c.Hauteur = 128;
  c.PixelMicrons = 5.2;
  c.DefocalisationMm = 1.82;
  c.SousPixels = 0;
  c.Plateau = 4000;
  c.Fond = 100;
  c.Biais = 256;
  c.Bruit = true;
  s.Intra = intra;
  s.Images = 32;
  s.Atmosphere.R0Mm = 120;
  s.Atmosphere.AgitationPixels = 1.5;
  s.RayonsCosmiques = 0.2;
  s.Graine = intra ? 21 : 22;
  quelvane::outils::TVideoAEcrire v;
  v.Largeur = v.Hauteur = 128;
  v.Profondeur = 16;
  v.Telescope = "Newton 200/1000";
  v.Instrument = "Camera demonstration";
  for (int k = 0; k < s.Images; ++k)
    v.Images.push_back(quelvane::outils::EnSeizeBits(quelvane::outils::SimulerImageSerie(s, k)));
  return v;
}

// Small videos of every colour coding and depth, the seed corpus of the series fuzzer.
bool EcrireGrainesSER(const std::string& dossier) {
  struct TGraine {
    const char* Nom;
    int Couleur, Profondeur, Largeur, Hauteur, Images;
  };
  const TGraine graines[] = {{"mono8.ser", 0, 8, 6, 5, 3},
                             {"mono12.ser", 0, 12, 5, 4, 2},
                             {"bayer16.ser", 8, 16, 6, 6, 2},
                             {"rvb8.ser", 100, 8, 3, 3, 2}};
  for (const auto& g : graines) {
    quelvane::outils::TVideoAEcrire v;
    v.ColorID = g.Couleur;
    v.Profondeur = g.Profondeur;
    v.Largeur = g.Largeur;
    v.Hauteur = g.Hauteur;
    const int plans = g.Couleur >= 100 ? 3 : 1;
    for (int k = 0; k < g.Images; ++k) {
      std::vector<std::uint16_t> image;
      for (int i = 0; i < g.Largeur * g.Hauteur * plans; ++i)
        image.push_back(
            static_cast<std::uint16_t>((i * 37 + k * 11) % (1 << std::min(g.Profondeur, 12))));
      v.Images.push_back(std::move(image));
    }
    v.Horodatages.assign(static_cast<std::size_t>(g.Images), 638'000'000'000'000'000LL);
    if (!quelvane::outils::EcrireSER(dossier + "/" + g.Nom, v)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--graines") return EcrireGraines(argv[2]) ? 0 : 2;
  if (argc == 3 && std::string(argv[1]) == "--graines-ser")
    return EcrireGrainesSER(argv[2]) ? 0 : 2;
  if (argc != 2) {
    std::cerr
        << "usage : generer-echantillons DOSSIER | --graines DOSSIER | --graines-ser DOSSIER\n";
    return 2;
  }
  const std::string dossier = argv[1];
  if (!quelvane::outils::EcrireFITS(dossier + "/etoile-intra.fit", EtoileDefocalisee(true)) ||
      !quelvane::outils::EcrireFITS(dossier + "/etoile-extra.fit", EtoileDefocalisee(false)) ||
      !quelvane::outils::EcrireSER(dossier + "/serie-intra.ser", SerieDemonstration(true)) ||
      !quelvane::outils::EcrireSER(dossier + "/serie-extra.ser", SerieDemonstration(false))) {
    std::cerr << "écriture impossible dans " << dossier << '\n';
    return 2;
  }
  return 0;
}
