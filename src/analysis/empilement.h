#pragma once
// A series of short frames of one side made into one image for the test. Each frame's test
// star is found (the brightest complete one, or the one pointed at, followed from frame to
// frame), measured (centre of its light, flux, sharpness of its pupil's edge, saturation) and
// the worst frames are left out; the others are brought onto a common centre to a fraction of
// a pixel, their background subtracted and their flux equalised, and averaged sample by
// sample, leaving out values far from the others (cosmic rays, satellite trails). Contiguous
// blocks of the kept frames are also averaged apart: the test on each block tells how much its
// figures owe to noise and seeing.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/progression.h"
#include "core/grille.h"
#include "core/imginfos.h"
#include "core/pupille.h"
#include "files/serie.h"

namespace quelvane {

struct TOptionsEmpilement {
  // Share of the usable frames kept, the sharpest ones. Every one by default: the more frames,
  // the better the atmosphere averages away.
  int PourcentGarde = 100;
  // The test star pointed at (1-based column and row of the frame as the camera saw it).
  std::optional<std::pair<double, double>> Etoile;
  int SousEnsembles = -1;  // blocks for the error bars: −1 automatic, 0 none
  int Fils = 0;            // threads: 0 as set for the program
};

struct TQualiteImage {
  int Indice = 0;          // 0-based, in the series
  std::string Rejet;       // why the frame was left out; empty when kept
  double X = 0, Y = 0;     // centre of the star's light (1-based, frame pixels)
  double Rayon = 0;        // pixels
  double Flux = 0;         // ADU above the background
  double LargeurBord = 0;  // pixels over which the pupil's edge falls from 75 % to 25 %
  double Nettete = 0;      // 1 / LargeurBord: the quality the frames are ranked by
  int Satures = 0;         // samples at the camera's full scale in the star's light
  bool Gardee = false;
  int SousEnsemble = -1;  // block of the error bars, −1 none
};

struct TEmpilement {
  // The mean of the kept frames around the star: background 0, the flux of a median frame.
  TGrilleReelle Image;
  std::vector<TGrilleReelle> SousEnsembles;  // the same over each block of kept frames
  std::vector<TQualiteImage> Images;         // every frame read, in order
  int Annoncees = 0, Lues = 0, Gardees = 0, Rejetees = 0;
  double DispersionRecalage = 0;  // pixels: RMS distance of the kept centres from their mean
  long EchantillonsRejetes = 0;   // values left out of the means as outliers
  int ColonneOrigine = 0, LigneOrigine = 0;  // frame pixel (0-based) of the image's first sample
  double Rayon = 0;                          // pixels, of the star's pupil image
  double PoseTotale = 0;                     // seconds, 0 when the files do not say
  double PleineEchelle = 0;                  // the camera's, ADU (0 unknown)
  std::string Date;                          // when the middle kept frame was taken
  std::vector<std::string> Avertissements;   // from the files, and about the frames
  TImgInfos Infos;  // header of the series, frames combined and exposure added
};

// Throws ErreurTest (no frame with a complete star, every frame left out), ErreurSerie (a
// frame that cannot be read) or ErreurAnnulation. `nom` names the side in messages
// ("intra-focale").
TEmpilement Empiler(const TSerieImages& serie, const TOptionsEmpilement& options,
                    IProgression& progression, const std::string& nom);

// The stacked image as a field (header of the series, its blocks of frames with it), before
// the open command prepares it.
std::shared_ptr<TPupille> ImageEmpilee(const TEmpilement& e);

// The caption of a stacked image's window: "video.ser (187 images sur 200)".
std::string LegendeEmpilement(const std::string& fichier, const TEmpilement& e);

// Shifts a grid by (dx, dy) samples (right and down) with cubic convolution: what lands
// outside the source, or on a missing sample, is NaN.
void DecalerCubique(const TGrilleReelle& source, double dx, double dy, TGrilleReelle& sortie);

}  // namespace quelvane
