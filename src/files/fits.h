#pragma once
// Reading FITS star images and their header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/fonctionxy.h"
#include "core/grille.h"
#include "core/imginfos.h"

namespace quelvane {

// Priority levels already applied, by slot (0 strongest, 9 weakest, 255 free).
struct TPrioritesFITS {
  std::array<std::uint8_t, 37> Niveaux;
  TPrioritesFITS() { Niveaux.fill(255); }
};

// Applies one header card through the keyword table; unknown keywords are ignored.
// False when the value of an applied numeric keyword does not convert.
bool AppliquerMotCle(const std::string& nom, const std::string& valeur, TImgInfos& infos,
                     TPrioritesFITS& priorites);
void InitInfos(TImgInfos& infos);

// Header of a whole file held in memory. True when an END card was reached after a first card
// named SIMPLE; `tailleEnTete` = blocks read × 2880. `raison` says what went wrong.
bool LireEnTeteFITS(std::span<const std::byte> octets, int& tailleEnTete, TImgInfos& infos,
                    std::string* raison = nullptr);
bool LireEnTeteFITS(const std::string& nomFichier, int& tailleEnTete, TImgInfos& infos,
                    std::string* raison = nullptr);

struct TImageFITS {
  std::uint8_t TypeImage = 0;  // TypeGrille: 2, 7 integers; 5, 8 doubles
  std::uint8_t Plans = 0;
  int NLignes = 0;
  int NColonnes = 0;
  TGrilleEntiere GrilleEntiere;  // exactly one of the two is delivered
  TGrilleReelle GrilleReelle;
};

enum CodeLecture : std::uint8_t { LectureReussie = 0, ErreurEntreeSortie = 2 };

struct TResultatFITS {
  std::uint8_t Code = ErreurEntreeSortie;
  std::string Raison;             // why the file was refused, in French
  long EchantillonsNonFinis = 0;  // missing samples: BLANK, NaN or infinite; read as NaN
  int Images = 1;                 // frames in the file (a cube of a series); the first was read
  std::uint8_t TypeImage = 0;     // of the file, as LireFITS delivered it
  std::uint8_t Plans = 0;
  bool Reussi() const { return Code == LectureReussie; }
};

// Largest image the reader accepts, in samples over all planes (what a double grid of that
// size takes must stay within a desktop's memory).
constexpr long long MaxEchantillonsFITS = 1LL << 27;
// Most frames a cube may announce (a night of video at a hundred frames a second holds fewer).
constexpr long MaxImagesFITS = 10'000'000;

TResultatFITS LireFITS(std::span<const std::byte> octets, TImageFITS& image, TImgInfos& infos);
TResultatFITS LireFITS(const std::string& nomFichier, TImageFITS& image, TImgInfos& infos);

// Loads plane 1 (the first frame of a cube) of a FITS file into the field, missing samples
// filled as below; on failure the field is left as it was.
TResultatFITS ChargerFITS(TFctXY& champ, const std::string& nomFichier);

// Missing samples (NaN) take the median of their known neighbours, holes filled from their
// edges inward: a sample of 0 inside a star image would read as a dark spot of the wavefront.
void RemplirManquants(TGrilleReelle& grille);

// The largest value the camera could record, as read (BSCALE and BZERO applied, bytes scaled
// by 256): integer data only; 0 when unknown (floating-point data, an imported picture).
double PleineEchelleFITS(const TImgInfos& infos);

// `n` stored samples of a data unit (big-endian, of the header's BITPIX) as physical values:
// BSCALE·v + BZERO, 8-bit bytes scaled by 256 into the 16-bit range, BLANK and non-finite
// samples NaN.
void ConvertirEchantillonsFITS(const std::byte* octets, std::size_t n, const TImgInfos& infos,
                               double* sortie);

}  // namespace quelvane
