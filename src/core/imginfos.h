#pragma once
// Header of the image file a field came from (FITS keywords kept with the image).

#include <array>
#include <cstdint>
#include <string>

namespace quelvane {

struct TImgInfos {
  std::int32_t Largeur = 0;  // NAXIS1, columns
  std::int32_t Hauteur = 0;  // NAXIS2, rows
  std::int32_t NbPlans = 0;  // NAXIS3: 3 colour planes, any other count frames of a series
  std::uint8_t NbAxes = 0;   // NAXIS
  std::int32_t Bitpix = 0;
  std::string DateObs;
  std::array<double, 100> NiveauxBas{};  // entries 0..2 used
  std::array<double, 100> NiveauxHauts{};
  std::int32_t Exposition = 0;  // whole seconds
  double PoseSecondes = 0;      // the exposure as written (short frames last milliseconds)
  std::int16_t BinX = 1;
  std::int16_t BinY = 1;
  bool MiroirX = false;
  bool MiroirY = false;
  std::string Telescope;  // the five short texts hold at most 80 characters
  std::string Observateur;
  std::string Instrument;
  std::string Filtres;
  std::string Observatoire;
  double LongueurFocale = 0;
  double AscDroite = 0;  // hours
  double Declinaison = 0;
  double PixelX = 0;  // micrometres
  double PixelY = 0;
  std::int32_t FenetreX1 = 0;
  std::int32_t FenetreY1 = 0;
  std::int32_t FenetreX2 = 0;
  std::int32_t FenetreY2 = 0;
  std::array<std::string, 4> Commentaires;
  double DiametreInstr = 0;
  double Temperature = 0;
  double Orientation = 0;
  double Seeing = 0;
  double BZero = 0;
  double BScale = 1;
  bool PixelsBinnes = false;       // the pixel size came binned (XPIXSZ): divided by the binning
  bool LignesDeBasEnHaut = false;  // ROWORDER = 'BOTTOM-UP': the first row is the bottom one
  bool AvecBlank = false;          // BLANK: the stored value of missing samples (integer data)
  double Blank = 0;
  std::string Mosaique;  // BAYERPAT: the colour mosaic of a one-plane colour image
  long Manquants = 0;    // samples missing from the file (BLANK, NaN, infinite), filled in
};

}  // namespace quelvane
