#pragma once
// A folder watched while a capture program fills it: each new intra/extra pair, once both
// files are complete, is handed over once.
//
// How a pair is recognised: the two files' names are the same but for the word "intra" in one
// and "extra" in the other, in any case ("M42_intra_2130.fits" and "M42_extra_2130.fits",
// "Intra-3.ser" and "Extra-3.ser"). With `ParOrdre`, names that carry neither word are paired
// by arrival instead: the first complete file is the intra-focal image, the next the
// extra-focal one, and so on. A file counts as complete when its size and modification time
// did not change between two looks at least `Stabilite` seconds apart (a FITS file must also
// be a whole number of 2880-byte records), so a half-written file is never read.

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelvane {

struct ErreurSurveillance : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TPaireArrivee {
  std::string Nom;  // the name both share, "intra"/"extra" replaced by "*"
  std::filesystem::path Intra, Extra;
};

class TSurveillance {
 public:
  using Horloge = std::chrono::steady_clock;
  explicit TSurveillance(std::filesystem::path dossier, bool parOrdre = false,
                         double stabilite = 1.0);
  // The pairs completed since the last call, oldest first. Files present when the watch
  // began count too (the user may start it late). Throws ErreurSurveillance when the folder
  // is gone or cannot be read.
  std::vector<TPaireArrivee> Examiner(Horloge::time_point maintenant = Horloge::now());
  const std::filesystem::path& Dossier() const { return dossier_; }

 private:
  struct TEtat {
    std::uintmax_t Taille = 0;
    std::filesystem::file_time_type Date;
    Horloge::time_point Depuis;
    bool Complet = false;
  };
  std::filesystem::path dossier_;
  bool parOrdre_;
  double stabilite_;
  std::map<std::filesystem::path, TEtat> fichiers_;
  std::set<std::filesystem::path> rendus_;
  std::vector<std::filesystem::path> enAttente_;  // by order of arrival, waiting for a partner
};

// "M42_intra_2130" → ("M42_*_2130", true for intra); nullopt-like empty name when neither word.
std::pair<std::string, int> CleDePaire(const std::string& nomFichier);

// Where the test of a pair goes: its shared name without the side's word
// ("M42_*_2130" → "M42_2130.qvt"), never over an existing file.
std::filesystem::path CheminDuTest(const std::filesystem::path& dossier, const std::string& nom);

}  // namespace quelvane
