#pragma once
// The user's lasting settings and their file "Prefs.txt".

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/zernike.h"

namespace quelvane {

struct TkwValue {
  std::uint8_t PltSignal = 0;
  std::uint8_t PltFront = 1;
  std::uint8_t PltPSF = 4;
  std::uint8_t PltInterfero = 5;
  bool MemOptim = false;
  bool MasqueActif = true;
  std::uint8_t FactMultDiff = 2;
  // Each pass corrects the original images by the whole wavefront found so far; ten passes
  // bring even large aberrations to their value (three leave them a few per cent short).
  std::uint8_t NIter = 10;
  std::uint8_t ExtractDim = 16;
  // A diffracted pupil edge sits near a quarter of the plateau: extracting at half height
  // makes the pupil 3 % too small, which scales every coefficient.
  std::uint8_t ExtractSeuil = 25;
  bool ExtractAuto = true;
  bool BreakCondition = false;
  double RMSFront = 0.0;  // nanometres
  double LambdaRef = 555.0;
  double LambdaInterfero = 555.0;
  // The middle of usual red, green and blue filters: a three-colour test works at once.
  double LambdaR = 630.0;
  double LambdaV = 540.0;
  double LambdaB = 465.0;
  double PoidsR = 1.0;
  double PoidsV = 1.0;
  double PoidsB = 1.0;
  std::uint8_t OriginFoc = 1;
  std::array<double, NMaxZern> ValeursAlerte{};
  std::string FichierAide;
  std::string DossierImages;
  std::string DossierRapports;
  bool AjustAuto = true;
  bool SubTiltFocus = true;
  bool SubComa = true;
  std::uint8_t NPolyZern = 22;
  std::uint8_t ModePoly = 0;
  std::uint8_t NDecNano = 2;
  std::uint8_t NDecMilli = 0;
  std::uint8_t NDecLambda = 0;
  std::uint8_t NDecPix = 0;
  std::uint8_t NDecStrehl = 2;  // 0 showed "S = 1" for 0.81
  std::uint8_t NDecADU = 0;
  std::uint8_t NDecDeg = 0;
  std::uint8_t NDecRed = 0;
  std::uint8_t NormRMS = 1;
  std::uint32_t Diametre = 0;  // whole millimetres
  std::uint32_t Focale = 0;
  std::int32_t PixelCCD = 0;  // nanometres
  std::uint8_t BinAcquisition = 1;
  std::uint8_t BinLogiciel = 1;
  // Background (bias and sky) measured outside each pupil and subtracted, and the two images
  // brought to the same flux, before a test uses them.
  bool CorrectionFond = true;
  // Share of a series' usable frames kept for the stack, the sharpest ones (percent): all of
  // them unless the seeing varied through the night.
  std::uint8_t PartEmpilement = 100;
  // Threads the computations use; 0: every core. More than the cores counts as the cores.
  std::uint8_t NbFils = 0;
};

inline const TkwValue PreferencesParDefaut{};

// The threads the preferences ask for, held to this machine's cores (0: all of them).
int FilsDemandes(const TkwValue& prefs);

class TPreferences : public TkwValue {
 public:
  // Recent image folders, the current one first ("Images=" lines).
  std::vector<std::string> DossiersImagesRecents;
  // Lines of the file the program does not use (comments, keys of another version), written
  // back as they were.
  std::vector<std::string> LignesInconnues;
};

// The single instance the program reads and writes.
extern TPreferences Preferences;

struct TLecturePreferences {
  std::string Chemin;  // the file read
  bool FichierLu = false;
  // Lines whose value was refused (not a number, out of range), kept at their previous value.
  std::vector<std::string> ValeursRefusees;
  // Lines that are no setting of this program (unknown keys, a key given twice, text).
  std::vector<std::string> LignesIgnorees;
  std::string Erreur;  // the file exists but cannot be read
};

// A larger file is not a preferences file: it is refused, not read.
constexpr std::uintmax_t TaillePreferencesMax = 1 << 20;

// What a reading could not use, as the user reads it (empty when all was used): the file's
// error, then one line per refused value.
std::string TexteLecturePreferences(const TLecturePreferences& lecture);

// Reads the file into `prefs` (fields absent from the file keep their values). UTF-8 with or
// without a byte-order mark, or UTF-16; keys in any case, blanks around "=" and the value.
TLecturePreferences LirePreferences(TPreferences& prefs, const std::string& chemin);
// The same from the file's bytes (`chemin` names it in messages).
TLecturePreferences LirePreferencesTexte(TPreferences& prefs, std::string octets,
                                         const std::string& chemin);
// The file's text, as EcrirePreferences writes it.
std::string TextePreferences(const TPreferences& prefs);
// Written atomically; throws ErreurEcriture and leaves the old file as it was.
void EcrirePreferences(const TPreferences& prefs, const std::string& chemin);

// A value typed in the preferences dialog for the key `cle` (either decimal separator), held to
// the range the file accepts. Nothing when taken; else the refusal, naming the range.
std::optional<std::string> AffecterPreference(TkwValue& prefs, std::string_view cle,
                                              std::string_view texte);

// Every key with its value as the file writes it, in file order.
std::vector<std::pair<std::string, std::string>> ClesEtValeurs(const TkwValue& prefs);

// The recent image folders kept in the file; older ones drop off the end.
constexpr std::size_t DossiersRecentsMax = 10;
// `dossier` brought to the head of `liste` (once), the list held to DossiersRecentsMax.
void PlacerEnTete(std::vector<std::string>& liste, const std::string& dossier);

// The folder of `chemin`, made when the program is about to write there (reading the
// preferences creates nothing).
void CreerDossierPreferences(const std::string& chemin);

// "Prefs.txt" beside the executable when that folder can be written, otherwise in the user's
// configuration folder (an installed program).
std::string CheminPreferences();

}  // namespace quelvane
