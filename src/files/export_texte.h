#pragma once
// The two text formats the program writes for other software and for the user: the OPD
// export of a wavefront and the Zernike coefficient file.

#include <stdexcept>
#include <string>

#include "core/pupille.h"
#include "core/zernike.h"

namespace quelvane {

// Header "Lambda,diameter mm", then "x,y,w" per sample of mask 1 (millimetres from the pupil
// centre, y up; w in waves), "." as decimal separator, CR LF. Throws ErreurEcriture when the
// field has no wavelength (every line would divide by zero).
std::string TexteOPD(const TPupille& front);
void ExportOPD(const TPupille& front, const std::string& chemin);

// A wavefront back from its OPD export, on a grid of the export's pixel step: values in
// nanometres, mask 1 on the exported samples, centre and radius from the positions and the
// diameter, obstruction measured; role 3. Throws ErreurLectureOPD with the line at fault.
struct ErreurLectureOPD : std::runtime_error {
  using std::runtime_error::runtime_error;
};
TPupille LireOPD(const std::string& texte);

// "j;name;value" for j = 1..nombre, values RMS-normalised (nanometres RMS), general notation
// with the regional decimal separator, CR LF.
std::string TexteCoefficients(const TCoefZernike& coefficients, int nombre, const TJeuZernike& jeu);
void EnregistrerCoefficients(const TCoefZernike& coefficients, int nombre, const TJeuZernike& jeu,
                             const std::string& chemin);

}  // namespace quelvane
