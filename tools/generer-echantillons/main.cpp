// Writes the demonstration pair of samples/ (simulated defocused star images as a 16-bit camera
// records them: unsigned, BZERO 32768) or, with --graines, the seed corpus of the FITS fuzzer.
// Usage: generer-echantillons DOSSIER | --graines DOSSIER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "support/ecriture_fits.h"
#include "support/simulateur_etoile.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--graines") return EcrireGraines(argv[2]) ? 0 : 2;
  if (argc != 2) {
    std::cerr << "usage : generer-echantillons DOSSIER | --graines DOSSIER\n";
    return 2;
  }
  const std::string dossier = argv[1];
  if (!quelvane::outils::EcrireFITS(dossier + "/etoile-intra.fit", EtoileDefocalisee(true)) ||
      !quelvane::outils::EcrireFITS(dossier + "/etoile-extra.fit", EtoileDefocalisee(false))) {
    std::cerr << "écriture impossible dans " << dossier << '\n';
    return 2;
  }
  return 0;
}
