#include "files/fits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "core/mathematiques.h"
#include "files/nombres.h"

namespace quelvane {

namespace {

constexpr int TailleBloc = 2880;
constexpr int TailleCarte = 80;

// ---------------------------------------------------------------- keyword table

enum class Action : std::uint8_t {
  Bitpix,
  NbAxes,
  Largeur,
  Hauteur,
  NbPlans,
  DateObs,
  BZero,
  BScale,
  Observateur,
  Exposition,
  Telescope,
  Instrument,
  PixelXMilli,
  PixelYMilli,
  BinX,
  BinY,
  AscDroite,
  Declinaison,
  Filtres,
  MiroirX,
  MiroirY,
  FocaleMetres,
  Rien,
  NiveauxHautsTous,
  NiveauxBasTous,
  Commentaire,
  NiveauHaut1,
  NiveauBas1,
  FenetreX1,
  FenetreY1,
  FenetreX2,
  FenetreY2,
  FocaleMillimetres,
  Diametre,
  Temperature,
  Orientation,
  Seeing,
  Reserver,
  PixelX,
  PixelY,
  FocaleAmdx,
  SousEchantillon,
  Cdelt,
  Observatoire,
  PixelXBinne,
  PixelYBinne,
  FocaleMm,
  OrdreLignes,
  Blank,
  Mosaique,
};

struct TMotCle {
  const char* Nom;
  Action Act;
  std::uint8_t Case;
  std::uint8_t Niveau;
};

// Level 4: keywords today's capture programs write, weaker than every keyword of the original
// table, so that a file carrying both reads as it always did.
constexpr TMotCle TableMotsCles[] = {
    {"BITPIX", Action::Bitpix, 1, 0},
    {"NAXIS", Action::NbAxes, 2, 0},
    {"NAXIS1", Action::Largeur, 3, 0},
    {"NAXIS2", Action::Hauteur, 4, 0},
    {"NAXIS3", Action::NbPlans, 5, 0},
    {"DATE-OBS", Action::DateObs, 6, 0},
    {"BZERO", Action::BZero, 7, 0},
    {"BSCALE", Action::BScale, 8, 0},
    {"OBSERVER", Action::Observateur, 9, 0},
    {"EXPOSURE", Action::Exposition, 10, 0},
    {"TELESCOP", Action::Telescope, 11, 0},
    {"INSTRUME", Action::Instrument, 12, 0},
    {"CDELTM1", Action::PixelXMilli, 13, 2},
    {"CDELTM2", Action::PixelYMilli, 14, 2},
    {"BINX", Action::BinX, 15, 0},
    {"BINY", Action::BinY, 16, 0},
    {"CRVAL1", Action::AscDroite, 17, 0},
    {"CRVAL2", Action::Declinaison, 18, 0},
    {"FILTERS", Action::Filtres, 19, 0},
    {"MIRRORX", Action::MiroirX, 20, 2},
    {"MIRORX", Action::MiroirX, 20, 3},
    {"MIRRORY", Action::MiroirY, 21, 2},
    {"MIRORY", Action::MiroirY, 21, 3},
    {"FOCLEN", Action::FocaleMetres, 22, 0},
    {"WINDOW", Action::Rien, 0, 0},
    {"DATAMAX", Action::NiveauxHautsTous, 23, 0},
    {"DATAMIN", Action::NiveauxBasTous, 24, 0},
    {"PLATE", Action::Rien, 0, 0},
    {"COMMENT", Action::Commentaire, 0, 0},
    {"RA", Action::AscDroite, 17, 2},
    {"DEC", Action::Declinaison, 18, 2},
    {"MIPS-HI", Action::NiveauHaut1, 23, 2},
    {"MIPS-LO", Action::NiveauBas1, 24, 2},
    {"THRESH", Action::NiveauHaut1, 23, 3},
    {"THRESL", Action::NiveauBas1, 24, 3},
    {"MIPS-X1", Action::FenetreX1, 25, 2},
    {"MIPS-Y1", Action::FenetreY1, 26, 2},
    {"MIPS-X2", Action::FenetreX2, 27, 2},
    {"MIPS-Y2", Action::FenetreY2, 28, 2},
    {"X1", Action::FenetreX1, 25, 0},
    {"Y1", Action::FenetreY1, 26, 0},
    {"X2", Action::FenetreX2, 27, 0},
    {"Y2", Action::FenetreY2, 28, 0},
    {"MIPS-BIX", Action::BinX, 15, 2},
    {"MIPS-BIY", Action::BinY, 16, 2},
    {"FOCAL", Action::FocaleMillimetres, 22, 2},
    {"TIME-OBS", Action::Rien, 33, 3},
    {"DIAMETER", Action::Diametre, 29, 0},
    {"TEMP", Action::Temperature, 30, 0},
    {"ORIENT", Action::Orientation, 31, 2},
    {"SEEING", Action::Seeing, 32, 0},
    {"UT", Action::Reserver, 33, 2},
    {"CROTA2", Action::Orientation, 31, 0},
    {"XPIXELSZ", Action::PixelX, 13, 3},
    {"YPIXELSZ", Action::PixelY, 14, 3},
    {"AMDX1", Action::FocaleAmdx, 22, 3},
    {"SUBSAMP", Action::SousEchantillon, 13, 3},
    {"CDELT1", Action::Cdelt, 13, 9},
    {"CDELT2", Action::Cdelt, 14, 9},
    {"OBJCTRA", Action::Reserver, 17, 9},
    {"OBJCTDEC", Action::Reserver, 18, 9},
    {"OBSERVAT", Action::Observatoire, 0, 0},
    {"EXPTIME", Action::Exposition, 10, 4},
    {"XPIXSZ", Action::PixelXBinne, 13, 4},
    {"YPIXSZ", Action::PixelYBinne, 14, 4},
    {"PIXSIZE1", Action::PixelX, 13, 4},
    {"PIXSIZE2", Action::PixelY, 14, 4},
    {"XBINNING", Action::BinX, 15, 4},
    {"YBINNING", Action::BinY, 16, 4},
    {"FOCALLEN", Action::FocaleMm, 22, 4},
    {"APTDIA", Action::Diametre, 29, 4},
    {"CCD-TEMP", Action::Temperature, 30, 4},
    {"ROWORDER", Action::OrdreLignes, 34, 0},
    {"BLANK", Action::Blank, 35, 0},
    {"BAYERPAT", Action::Mosaique, 36, 4},
};
static_assert(std::size(TableMotsCles) == 75, "one entry per keyword, none left empty");

std::string Court(const std::string& t) { return t.substr(0, 80); }

std::string Rogner(std::string t) {
  const auto debut = t.find_first_not_of(' ');
  if (debut == std::string::npos) return {};
  return t.substr(debut, t.find_last_not_of(' ') - debut + 1);
}

bool EntierBorne(const std::string& v, long mini, long maxi, long& sortie) {
  const auto e = ConvertirEntier(v);
  if (!e || *e < mini || *e > maxi) return false;
  sortie = *e;
  return true;
}

bool ArrondiBorne(double v, double& sortie, double limite) {
  const double r = ArrondiPair(v);
  if (!(std::fabs(r) <= limite)) return false;
  sortie = r;
  return true;
}

// Runs the action of one table entry; false when its value does not convert.
bool Executer(const TMotCle& mc, const std::string& valeur, TImgInfos& in) {
  long e = 0;
  auto nombre = [&](double& sortie) {
    const auto v = LireReelFITS(valeur);
    if (!v) return false;
    sortie = *v;
    return true;
  };
  double x = 0;
  switch (mc.Act) {
    case Action::Bitpix: {
      const auto v = ConvertirEntier(valeur);
      if (!v) return false;
      in.Bitpix = *v;
      return true;
    }
    case Action::NbAxes:
      if (!EntierBorne(valeur, 0, 255, e)) return false;
      in.NbAxes = static_cast<std::uint8_t>(e);
      return true;
    case Action::Largeur:
    case Action::Hauteur: {
      if (!ConvertirEntier(valeur)) return false;
      (mc.Act == Action::Largeur ? in.Largeur : in.Hauteur) = *ConvertirEntier(valeur);
      return true;
    }
    case Action::NbPlans:
      if (!EntierBorne(valeur, 0, MaxImagesFITS, e)) return false;
      in.NbPlans = static_cast<std::int32_t>(e);
      return true;
    case Action::DateObs: in.DateObs = valeur; return true;
    case Action::BZero:
    case Action::BScale:
      // As doubles: rounded to integers, a BSCALE of 0.5 used to zero the image.
      if (!nombre(x) || !std::isfinite(x) || std::fabs(x) > 1e300) return false;
      (mc.Act == Action::BZero ? in.BZero : in.BScale) = x;
      return true;
    case Action::Observateur: in.Observateur = Court(valeur); return true;
    case Action::Exposition: {
      double r = 0;
      if (!nombre(x) || !ArrondiBorne(x, r, std::numeric_limits<std::int32_t>::max())) return false;
      in.Exposition = static_cast<std::int32_t>(r);
      in.PoseSecondes = x;
      return true;
    }
    case Action::Telescope: in.Telescope = Court(valeur); return true;
    case Action::Instrument: in.Instrument = Court(valeur); return true;
    case Action::PixelXMilli:
      if (!nombre(x)) return false;
      in.PixelX = x * 1000;
      return true;
    case Action::PixelYMilli:
      if (!nombre(x)) return false;
      in.PixelY = x * 1000;
      return true;
    case Action::BinX:
    case Action::BinY:
      if (!EntierBorne(valeur, -32768, 32767, e)) return false;
      (mc.Act == Action::BinX ? in.BinX : in.BinY) = static_cast<std::int16_t>(e);
      return true;
    case Action::AscDroite:
      if (!nombre(x)) return false;
      in.AscDroite = x / 15;
      return true;
    case Action::Declinaison:
      if (!nombre(x)) return false;
      in.Declinaison = x;
      return true;
    case Action::Filtres: in.Filtres = Court(valeur); return true;
    case Action::MiroirX: in.MiroirX = valeur == "T"; return true;
    case Action::MiroirY: in.MiroirY = valeur == "T"; return true;
    case Action::FocaleMetres:
      if (!nombre(x)) return false;
      in.LongueurFocale = x * 1000;
      return true;
    case Action::FocaleMillimetres:
      if (!nombre(x)) return false;
      in.LongueurFocale = x / 1000;
      return true;
    case Action::FocaleAmdx:
      if (!nombre(x) || x == 0) return false;
      in.LongueurFocale = 206.27 / x;
      return true;
    case Action::NiveauxHautsTous:
      if (!nombre(x)) return false;
      in.NiveauxHauts[0] = in.NiveauxHauts[1] = in.NiveauxHauts[2] = x;
      return true;
    case Action::NiveauxBasTous:
      if (!nombre(x)) return false;
      in.NiveauxBas[0] = in.NiveauxBas[1] = in.NiveauxBas[2] = x;
      return true;
    case Action::NiveauHaut1:
      if (!nombre(x)) return false;
      in.NiveauxHauts[0] = x;
      return true;
    case Action::NiveauBas1:
      if (!nombre(x)) return false;
      in.NiveauxBas[0] = x;
      return true;
    case Action::FenetreX1:
    case Action::FenetreY1:
    case Action::FenetreX2:
    case Action::FenetreY2: {
      const auto v = ConvertirEntier(valeur);
      if (!v) return false;
      std::int32_t* cible[] = {&in.FenetreX1, &in.FenetreY1, &in.FenetreX2, &in.FenetreY2};
      *cible[static_cast<int>(mc.Act) - static_cast<int>(Action::FenetreX1)] = *v;
      return true;
    }
    case Action::Diametre:
      if (!nombre(x)) return false;
      in.DiametreInstr = x;
      return true;
    case Action::Temperature:
      if (!nombre(x)) return false;
      in.Temperature = x;
      return true;
    case Action::Orientation:
      if (!nombre(x)) return false;
      in.Orientation = x;
      return true;
    case Action::Seeing:
      if (!nombre(x)) return false;
      in.Seeing = x;
      return true;
    case Action::PixelX:
      if (!nombre(x)) return false;
      in.PixelX = x;
      return true;
    case Action::PixelY:
      if (!nombre(x)) return false;
      in.PixelY = x;
      return true;
    case Action::Observatoire: in.Observatoire = Court(valeur); return true;
    case Action::PixelXBinne:
    case Action::PixelYBinne:
      if (!nombre(x)) return false;
      (mc.Act == Action::PixelXBinne ? in.PixelX : in.PixelY) = x;
      in.PixelsBinnes = true;
      return true;
    case Action::FocaleMm:
      if (!nombre(x)) return false;
      in.LongueurFocale = x;
      return true;
    case Action::OrdreLignes: in.LignesDeBasEnHaut = Rogner(valeur) == "BOTTOM-UP"; return true;
    case Action::Blank:
      if (!nombre(x) || !std::isfinite(x)) return false;
      in.AvecBlank = true;
      in.Blank = x;
      return true;
    case Action::Mosaique: in.Mosaique = Court(Rogner(valeur)); return true;
    case Action::Rien:
    case Action::Reserver:
    case Action::Commentaire:
    case Action::SousEchantillon:
    case Action::Cdelt: return true;  // handled by the caller
  }
  return true;
}

// ---------------------------------------------------------------- byte sources

class TSource {
 public:
  virtual ~TSource() = default;
  virtual std::uint64_t Taille() const = 0;
  virtual bool Lire(std::uint64_t position, std::size_t n, std::byte* destination) = 0;
};

class TSourceMemoire final : public TSource {
 public:
  explicit TSourceMemoire(std::span<const std::byte> o) : octets_(o) {}
  std::uint64_t Taille() const override { return octets_.size(); }
  bool Lire(std::uint64_t p, std::size_t n, std::byte* d) override {
    if (p > octets_.size() || n > octets_.size() - p) return false;
    std::memcpy(d, octets_.data() + p, n);
    return true;
  }

 private:
  std::span<const std::byte> octets_;
};

class TSourceFichier final : public TSource {
 public:
  explicit TSourceFichier(const std::string& nom) : flux_(nom, std::ios::binary) {
    if (flux_) {
      flux_.seekg(0, std::ios::end);
      const auto t = flux_.tellg();
      taille_ = t > 0 ? static_cast<std::uint64_t>(t) : 0;
      flux_.seekg(0);
    }
  }
  bool Ouvert() const { return static_cast<bool>(flux_); }
  std::uint64_t Taille() const override { return taille_; }
  bool Lire(std::uint64_t p, std::size_t n, std::byte* d) override {
    if (p > taille_ || n > taille_ - p) return false;
    flux_.clear();
    flux_.seekg(static_cast<std::streamoff>(p));
    flux_.read(reinterpret_cast<char*>(d), static_cast<std::streamsize>(n));
    return flux_.gcount() == static_cast<std::streamsize>(n);
  }

 private:
  std::ifstream flux_;
  std::uint64_t taille_ = 0;
};

// ---------------------------------------------------------------- header

// The value of a card with "= " in columns 9–10: quoted strings keep inner and trailing
// blanks and '' stands for one quote; unquoted values end at '/' and are trimmed.
// False when there is nothing to pass.
bool ValeurCarte(const char* carte, std::string& valeur, bool& chaineLue) {
  std::string texte;
  bool chaine = false, fermee = false;
  for (int i = 10; i < TailleCarte; ++i) {
    const char ch = carte[i];
    if (ch == '\'') {
      if (!chaine) {
        chaine = true;
        texte.clear();
      } else if (i + 1 < TailleCarte && carte[i + 1] == '\'') {
        texte += '\'';
        ++i;
      } else {
        fermee = true;
        break;
      }
    } else if (ch == '/' && !chaine) {
      break;
    } else {
      texte += ch;
    }
  }
  chaineLue = fermee;
  if (fermee) {
    valeur = texte;
    return true;
  }
  const auto debut = texte.find_first_not_of(' ');
  if (debut == std::string::npos) return false;
  const auto fin = texte.find_last_not_of(' ');
  valeur = texte.substr(debut, fin - debut + 1);
  return true;
}

// Why a file is not FITS, recognising the pictures a user may pick by mistake.
std::string NatureDuFichier(const unsigned char* o) {
  if (o[0] == 0xFF && o[1] == 0xD8 && o[2] == 0xFF)
    return "c'est une image JPEG, pas un fichier FITS (menu « Importer une image jpeg »)";
  if (o[0] == 0x89 && o[1] == 'P' && o[2] == 'N' && o[3] == 'G')
    return "c'est une image PNG, pas un fichier FITS";
  if ((o[0] == 'I' && o[1] == 'I' && o[2] == 42) || (o[0] == 'M' && o[1] == 'M' && o[3] == 42))
    return "c'est une image TIFF, pas un fichier FITS";
  return "la première carte n'est pas SIMPLE = T (pas un fichier FITS)";
}

// The keywords that say how to read the data must be numbers.
bool Structurel(const std::string& nom) {
  return nom == "BITPIX" || nom.rfind("NAXIS", 0) == 0 || nom == "BZERO" || nom == "BSCALE";
}

// What the whole header says once read: a binned pixel size (XPIXSZ) back to the sensor's.
void FinirEnTete(TImgInfos& in) {
  if (in.PixelsBinnes) {
    if (in.BinX > 0) in.PixelX /= in.BinX;
    if (in.BinY > 0) in.PixelY /= in.BinY;
    in.PixelsBinnes = false;
  }
}

bool LireEnTete(TSource& source, int& tailleEnTete, TImgInfos& infos, std::string& raison) {
  TPrioritesFITS priorites;
  InitInfos(infos);
  tailleEnTete = 0;
  std::array<std::byte, TailleBloc> bloc;
  bool premiereCarte = true;
  const std::uint64_t taille = source.Taille();
  if (taille < TailleBloc) {
    raison = taille == 0 ? "fichier vide" : "fichier plus court qu'un bloc FITS de 2880 octets";
    // A small picture of another kind is named for what it is.
    std::array<unsigned char, 4> debut{};
    if (taille >= debut.size() &&
        source.Lire(0, debut.size(), reinterpret_cast<std::byte*>(debut.data()))) {
      const std::string nature = NatureDuFichier(debut.data());
      if (nature.rfind("c'est", 0) == 0) raison = nature;
    }
    return false;
  }
  // Only whole blocks are read; a trailing partial block cannot hold a header.
  for (std::uint64_t position = 0; position + TailleBloc <= taille; position += TailleBloc) {
    if (!source.Lire(position, TailleBloc, bloc.data())) {
      raison = "erreur de lecture dans l'en-tête";
      return false;
    }
    if (position + TailleBloc > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
      raison = "en-tête sans carte END";
      return false;
    }
    tailleEnTete = static_cast<int>(position + TailleBloc);
    const char* texte = reinterpret_cast<const char*>(bloc.data());
    for (int k = 0; k < TailleBloc / TailleCarte; ++k) {
      const char* carte = texte + k * TailleCarte;
      std::string nom = Rogner(std::string(carte, 8));
      // A keyword starts in column 1: " END" or "  NAXIS" is not one.
      if (!nom.empty() && carte[0] == ' ') {
        raison = "carte " + std::to_string(position / TailleCarte + k + 1) +
                 " mal formée : le mot-clé « " + nom + " » ne commence pas en colonne 1";
        return false;
      }
      if (nom == "END" && !premiereCarte) {
        FinirEnTete(infos);
        return true;
      }
      std::string valeur;
      bool chaine = false, sansValeur = false;
      if (!(carte[8] == '=' && carte[9] == ' ')) {
        if (nom.empty()) nom = "COMMENT";
        valeur.assign(carte + 8, TailleCarte - 8);
        while (!valeur.empty() && static_cast<unsigned char>(valeur.back()) <= 32)
          valeur.pop_back();
      } else if (!ValeurCarte(carte, valeur, chaine)) {
        sansValeur = true;
      }
      if (premiereCarte) {
        premiereCarte = false;
        // Free format allowed: the value T anywhere after "= ".
        if (nom != "SIMPLE" || Rogner(valeur) != "T" || chaine) {
          raison = NatureDuFichier(reinterpret_cast<const unsigned char*>(texte));
          return false;
        }
        continue;
      }
      if (sansValeur) continue;
      if (chaine && Structurel(nom)) {
        raison = "le mot-clé " + nom + " doit être un nombre, pas une chaîne « " + valeur + " »";
        return false;
      }
      if (!AppliquerMotCle(nom, valeur, infos, priorites)) {
        raison = "valeur illisible pour le mot-clé " + nom + " : « " + valeur + " »";
        return false;
      }
    }
  }
  raison = "en-tête sans carte END";
  return false;
}

// ---------------------------------------------------------------- data

struct TFormat {
  int Octets = 0;
  bool Entier16 = false;  // 8 and 16 bits go to an integer grid unless they overflow
};

double ValeurBrute(const std::byte* p, int bitpix) {
  switch (bitpix) {
    case 8: return static_cast<double>(std::to_integer<std::uint8_t>(p[0]));
    case 16: {
      const auto v = static_cast<std::uint16_t>((std::to_integer<unsigned>(p[0]) << 8) |
                                                std::to_integer<unsigned>(p[1]));
      return static_cast<std::int16_t>(v);
    }
    case 32: {
      std::uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v = (v << 8) | std::to_integer<unsigned>(p[i]);
      return static_cast<std::int32_t>(v);
    }
    case 64: {
      std::uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | std::to_integer<unsigned>(p[i]);
      return static_cast<double>(static_cast<std::int64_t>(v));
    }
    case -32: {
      std::uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v = (v << 8) | std::to_integer<unsigned>(p[i]);
      return std::bit_cast<float>(v);
    }
    case -64: {
      std::uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | std::to_integer<unsigned>(p[i]);
      return std::bit_cast<double>(v);
    }
  }
  return 0;
}

// Physical value of a raw sample. 8-bit bytes are scaled by 256 into the 16-bit range; a
// BLANK sample is missing (NaN).
double Physique(double brut, int bitpix, const TImgInfos& in) {
  if (in.AvecBlank && bitpix > 0 && brut == in.Blank) return std::nan("");
  return bitpix == 8 ? 256.0 * brut * in.BScale + in.BZero : in.BScale * brut + in.BZero;
}

template <class F>
bool ParcourirDonnees(TSource& source, std::uint64_t debut, const TImgInfos& in, int plans,
                      int octets, F&& ranger) {
  std::vector<std::byte> ligne(static_cast<std::size_t>(in.Largeur) * octets);
  std::uint64_t position = debut;
  for (int p = 0; p < plans; ++p)
    for (int r = 0; r < in.Hauteur; ++r) {
      if (!source.Lire(position, ligne.size(), ligne.data())) return false;
      position += ligne.size();
      // BOTTOM-UP files store the bottom row first; the program's row 1 is the top.
      const int rr = in.LignesDeBasEnHaut ? in.Hauteur - 1 - r : r;
      for (int c = 0; c < in.Largeur; ++c)
        ranger(p, rr, c, ValeurBrute(ligne.data() + c * octets, in.Bitpix));
    }
  return true;
}

TResultatFITS Echec(std::string raison) {
  TResultatFITS r;
  r.Code = ErreurEntreeSortie;
  r.Raison = std::move(raison);
  return r;
}

TResultatFITS LireDonnees(TSource& source, TImageFITS& image, TImgInfos& infos) {
  int tailleEnTete = 0;
  std::string raison;
  InitInfos(infos);
  if (!LireEnTete(source, tailleEnTete, infos, raison)) return Echec(raison);

  int octets = 0;
  switch (infos.Bitpix) {
    case 8: octets = 1; break;
    case 16: octets = 2; break;
    case 32:
    case -32: octets = 4; break;
    case 64:
    case -64: octets = 8; break;
    case 0: return Echec("mot-clé BITPIX absent : l'en-tête ne décrit pas d'image");
    default:
      return Echec("BITPIX " + std::to_string(infos.Bitpix) +
                   " non pris en charge (8, 16, 32, -32, 64 ou -64)");
  }
  if (infos.NbAxes == 0)
    return Echec(
        "l'en-tête principal ne contient pas d'image (NAXIS = 0) : elle est sans doute dans "
        "une extension (fichier FITS à plusieurs parties, ou compressé par tuiles comme avec "
        "fpack). Ces fichiers ne sont pas lus : enregistrez l'image en FITS simple (funpack, ou "
        "le logiciel d'acquisition).");
  if (infos.NbAxes < 2) return Echec("image à un seul axe (NAXIS 1) : ce n'est pas une image");
  if (infos.Largeur <= 0 || infos.Hauteur <= 0)
    return Echec("dimensions invalides (NAXIS1 " + std::to_string(infos.Largeur) + ", NAXIS2 " +
                 std::to_string(infos.Hauteur) + ")");
  int plans = 1;
  bool couleur = false;
  int images = 1;
  if (infos.NbAxes > 3)
    return Echec("image à " + std::to_string(infos.NbAxes) +
                 " axes (NAXIS) : seules les images à deux ou trois axes sont lues");
  if (infos.NbAxes == 3) {
    if (infos.NbPlans == 0) return Echec("NAXIS3 nul ou absent");
    couleur = infos.NbPlans == 3;
    // Three planes are the colours of one image; any other count, the frames of a series:
    // the first is the image.
    if (couleur)
      plans = 3;
    else
      images = infos.NbPlans;
  }
  if (infos.BScale == 0) return Echec("BSCALE nul : toutes les valeurs seraient égales");
  // Whole scaling keeps 8- and 16-bit data whole; any other goes to doubles.
  const bool echelleEntiere =
      infos.BScale == std::trunc(infos.BScale) && infos.BZero == std::trunc(infos.BZero);
  // Missing (BLANK) samples need a NaN, which only doubles hold.
  const bool reel = (infos.Bitpix != 8 && infos.Bitpix != 16) || !echelleEntiere || infos.AvecBlank;
  if (couleur) {
    infos.NiveauxBas[1] = infos.NiveauxBas[2] = infos.NiveauxBas[0];
    infos.NiveauxHauts[1] = infos.NiveauxHauts[2] = infos.NiveauxHauts[0];
  }

  // Checked before anything is allocated: the data must be in the file.
  const long long echantillons = static_cast<long long>(infos.Largeur) * infos.Hauteur * plans;
  if (echantillons > MaxEchantillonsFITS)
    return Echec("image trop grande (" + std::to_string(echantillons) + " échantillons)");
  const std::uint64_t besoin = static_cast<std::uint64_t>(echantillons) * octets;
  if (source.Taille() < static_cast<std::uint64_t>(tailleEnTete) + besoin)
    return Echec("données tronquées : " + std::to_string(besoin) + " octets annoncés, " +
                 std::to_string(source.Taille() - tailleEnTete) + " présents");

  TResultatFITS resultat;
  resultat.Code = LectureReussie;
  resultat.Images = images;
  image = TImageFITS{};
  image.Plans = static_cast<std::uint8_t>(plans);
  image.NLignes = infos.Hauteur;
  image.NColonnes = infos.Largeur;

  bool debordement = false;
  if (!reel) {
    image.GrilleEntiere.Allouer(plans, infos.Hauteur, infos.Largeur);
    const bool ok = ParcourirDonnees(
        source, tailleEnTete, infos, plans, octets, [&](int p, int r, int c, double brut) {
          double w = Physique(brut, infos.Bitpix, infos);
          if (w > 32767) {
            w = 32767;
            debordement = true;
          }
          if (w < -32768) {
            w = -32768;
            debordement = true;
          }
          image.GrilleEntiere(p, r, c) = static_cast<std::int16_t>(ArrondiPair(w));
        });
    if (!ok) return Echec("erreur de lecture des données");
    if (!debordement) {
      image.TypeImage = couleur ? GrilleEntiere3 : GrilleEntiere1;
      resultat.TypeImage = image.TypeImage;
      resultat.Plans = image.Plans;
      return resultat;
    }
    image.GrilleEntiere.Liberer();  // overflowed 16 bits: read again into doubles
  }

  image.GrilleReelle.Allouer(plans, infos.Hauteur, infos.Largeur);
  const bool ok = ParcourirDonnees(source, tailleEnTete, infos, plans, octets,
                                   [&](int p, int r, int c, double brut) {
                                     double v = Physique(brut, infos.Bitpix, infos);
                                     // Missing: BLANK, NaN or infinite.
                                     if (!std::isfinite(v)) {
                                       v = std::nan("");
                                       ++resultat.EchantillonsNonFinis;
                                     }
                                     image.GrilleReelle(p, r, c) = v;
                                   });
  if (!ok) return Echec("erreur de lecture des données");
  image.TypeImage = couleur ? GrilleReelle3 : GrilleReelle1;
  resultat.TypeImage = image.TypeImage;
  resultat.Plans = image.Plans;
  return resultat;
}

}  // namespace

bool AppliquerMotCle(const std::string& nom, const std::string& valeur, TImgInfos& infos,
                     TPrioritesFITS& priorites) {
  const TMotCle* mc = nullptr;
  for (const TMotCle& e : TableMotsCles)
    if (nom == e.Nom) {
      mc = &e;
      break;
    }
  if (!mc) return true;
  auto& niveau = priorites.Niveaux[mc->Case];
  switch (mc->Act) {
    case Action::Rien: return true;
    case Action::Commentaire:
      for (auto& ligne : infos.Commentaires)
        if (ligne.empty()) {
          ligne = Court(valeur);
          break;
        }
      return true;
    case Action::SousEchantillon: {
      const auto facteur = ConvertirEntier(valeur);
      if (!facteur) return false;
      infos.PixelX *= *facteur;
      infos.PixelY = infos.PixelX;
      return true;
    }
    default: break;
  }
  if (mc->Niveau > niveau) return true;
  if (mc->Act == Action::Cdelt) {
    if (priorites.Niveaux[22] >= 9) infos.LongueurFocale = 1.0;
  } else if (mc->Act != Action::Reserver && !Executer(*mc, valeur, infos)) {
    return false;
  }
  niveau = mc->Niveau;
  return true;
}

// Every field: a header read after another keeps nothing of it (DIAMETER, EXPOSURE, …).
void InitInfos(TImgInfos& in) { in = TImgInfos{}; }

bool LireEnTeteFITS(std::span<const std::byte> octets, int& tailleEnTete, TImgInfos& infos,
                    std::string* raison) {
  TSourceMemoire source(octets);
  std::string r;
  const bool ok = LireEnTete(source, tailleEnTete, infos, r);
  if (raison) *raison = r;
  return ok;
}

bool LireEnTeteFITS(const std::string& nomFichier, int& tailleEnTete, TImgInfos& infos,
                    std::string* raison) {
  TSourceFichier source(nomFichier);
  std::string r = "fichier introuvable ou illisible : " + nomFichier;
  const bool ok = source.Ouvert() && LireEnTete(source, tailleEnTete, infos, r);
  if (raison) *raison = r;
  return ok;
}

TResultatFITS LireFITS(std::span<const std::byte> octets, TImageFITS& image, TImgInfos& infos) {
  TSourceMemoire source(octets);
  return LireDonnees(source, image, infos);
}

TResultatFITS LireFITS(const std::string& nomFichier, TImageFITS& image, TImgInfos& infos) {
  TSourceFichier source(nomFichier);
  if (!source.Ouvert()) return Echec("fichier introuvable ou illisible : " + nomFichier);
  return LireDonnees(source, image, infos);
}

TResultatFITS ChargerFITS(TFctXY& champ, const std::string& nomFichier) {
  TImageFITS image;
  TImgInfos infos = champ.Infos;
  TResultatFITS resultat = LireFITS(nomFichier, image, infos);
  if (!resultat.Reussi()) return resultat;
  champ.Infos = std::move(infos);
  if (image.GrilleReelle.Vide()) {
    TGrilleReelle d(1, image.NLignes, image.NColonnes);
    const auto source = image.GrilleEntiere.Plan(0);
    std::copy(source.begin(), source.end(), d.Plan(0).begin());
    champ.Donnees = std::move(d);
  } else {
    image.GrilleReelle.GarderPlans(1);
    champ.Donnees = std::move(image.GrilleReelle);
  }
  if (resultat.EchantillonsNonFinis > 0) RemplirManquants(champ.Donnees);
  champ.Infos.Manquants = resultat.EchantillonsNonFinis;
  champ.Complexe = 0;
  champ.NX = image.NColonnes;
  champ.NY = image.NLignes;
  champ.Masque.Allouer(1, champ.NY, champ.NX);
  champ.AxeX.assign(champ.NX, 0.0);
  champ.AxeY.assign(champ.NY, 0.0);
  return resultat;
}

double PleineEchelleFITS(const TImgInfos& infos) {
  switch (infos.Bitpix) {
    case 8: return 255.0 * 256 * infos.BScale + infos.BZero;
    case 16: return 32767.0 * infos.BScale + infos.BZero;
    default: return 0;
  }
}

void RemplirManquants(TGrilleReelle& g) {
  // Rounds from the edges of each hole inward: a sample with known neighbours takes their
  // median; a plane without any known sample becomes 0.
  const int ny = g.Lignes(), nx = g.Colonnes();
  std::vector<std::pair<int, int>> manquants;
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c)
      if (!std::isfinite(g(r, c))) manquants.push_back({r, c});
  std::vector<std::pair<std::pair<int, int>, double>> remplis;
  std::vector<double> voisins;
  while (!manquants.empty()) {
    remplis.clear();
    std::vector<std::pair<int, int>> restants;
    for (const auto& [r, c] : manquants) {
      voisins.clear();
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int rr = r + dr, cc = c + dc;
          if ((dr || dc) && rr >= 0 && rr < ny && cc >= 0 && cc < nx && std::isfinite(g(rr, cc)))
            voisins.push_back(g(rr, cc));
        }
      if (voisins.empty()) {
        restants.push_back({r, c});
        continue;
      }
      std::nth_element(voisins.begin(), voisins.begin() + voisins.size() / 2, voisins.end());
      remplis.push_back({{r, c}, voisins[voisins.size() / 2]});
    }
    if (remplis.empty()) {
      for (const auto& [r, c] : restants) g(r, c) = 0;
      return;
    }
    for (const auto& [p, v] : remplis) g(p.first, p.second) = v;
    manquants = std::move(restants);
  }
}

void ConvertirEchantillonsFITS(const std::byte* octets, std::size_t n, const TImgInfos& infos,
                               double* sortie) {
  const int taille = std::abs(infos.Bitpix) / 8;
  for (std::size_t i = 0; i < n; ++i) {
    const double v = Physique(ValeurBrute(octets + i * taille, infos.Bitpix), infos.Bitpix, infos);
    sortie[i] = std::isfinite(v) ? v : std::nan("");
  }
}

}  // namespace quelvane
