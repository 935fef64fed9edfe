#include "settings/preferences.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <variant>

#include "core/parallele.h"
#include "files/ecriture.h"
#include "files/erreur_systeme.h"
#include "files/nombres.h"

namespace quelvane {

TPreferences Preferences;

namespace {

// One key of the file: where it lives and which values are sound.
struct TCle {
  const char* Nom;
  std::variant<std::uint8_t TkwValue::*, bool TkwValue::*, double TkwValue::*,
               std::uint32_t TkwValue::*, std::int32_t TkwValue::*>
      Champ;
  double Mini;
  double Maxi;
  std::function<bool(double)> Accepte = nullptr;
};

constexpr double Infini = std::numeric_limits<double>::infinity();

// The keys in file order (a key added later comes after the others), with the values a program run
// can use.
const std::vector<TCle>& Cles() {
  static const std::vector<TCle> cles = {
      {"PltSignal", &TkwValue::PltSignal, 0, 5},
      {"PltFront", &TkwValue::PltFront, 0, 5},
      {"PltPSF", &TkwValue::PltPSF, 0, 5},
      {"PltInterfero", &TkwValue::PltInterfero, 0, 5},
      {"FactMultDiff", &TkwValue::FactMultDiff, 0, 3},
      {"MasqueActif", &TkwValue::MasqueActif, 0, 1},
      {"MemOptim", &TkwValue::MemOptim, 0, 1},
      {"NIter", &TkwValue::NIter, 1, 20},
      {"BreakCondition", &TkwValue::BreakCondition, 0, 1},
      {"RMSFront", &TkwValue::RMSFront, 0, Infini},
      {"ExtractDim", &TkwValue::ExtractDim, 8, 64,
       [](double v) { return v == 8 || v == 16 || v == 32 || v == 64; }},
      {"ExtractSeuil", &TkwValue::ExtractSeuil, 0, 100},
      {"ExtractAuto", &TkwValue::ExtractAuto, 0, 1},
      {"LambdaRef", &TkwValue::LambdaRef, 1, 1e6},  // a divisor of every figure
      {"LambdaInterfero", &TkwValue::LambdaInterfero, 1, 1e6},
      {"LambdaR", &TkwValue::LambdaR, 0, 1e6},
      {"LambdaV", &TkwValue::LambdaV, 0, 1e6},
      {"LambdaB", &TkwValue::LambdaB, 0, 1e6},
      {"OriginFoc", &TkwValue::OriginFoc, 0, 2},
      {"AjustAuto", &TkwValue::AjustAuto, 0, 1},
      {"SubTiltFocus", &TkwValue::SubTiltFocus, 0, 1},
      {"SubComa", &TkwValue::SubComa, 0, 1},
      {"NPolyZern", &TkwValue::NPolyZern, 1, NMaxZern},  // 0 would fit nothing
      {"ModePoly", &TkwValue::ModePoly, 0, 1},
      {"NDecNano", &TkwValue::NDecNano, 0, 4},
      {"NDecMilli", &TkwValue::NDecMilli, 0, 4},
      {"NDecLambda", &TkwValue::NDecLambda, 0, 4},
      {"NDecPix", &TkwValue::NDecPix, 0, 4},
      {"NDecADU", &TkwValue::NDecADU, 0, 4},
      {"NDecStrehl", &TkwValue::NDecStrehl, 0, 4},
      {"NDecDeg", &TkwValue::NDecDeg, 0, 4},
      {"NDecRed", &TkwValue::NDecRed, 0, 4},
      {"NormRMS", &TkwValue::NormRMS, 0, 1},
      {"Diametre", &TkwValue::Diametre, 0, 100000},
      {"Focale", &TkwValue::Focale, 0, 10000000},
      {"PixelCCD", &TkwValue::PixelCCD, 0, 1000000},
      {"BinAcquisition", &TkwValue::BinAcquisition, 1, 255},
      {"BinLogiciel", &TkwValue::BinLogiciel, 1, 255},
      {"PoidsR", &TkwValue::PoidsR, 0, 1e6},
      {"PoidsV", &TkwValue::PoidsV, 0, 1e6},
      {"PoidsB", &TkwValue::PoidsB, 0, 1e6},
      {"CorrectionFond", &TkwValue::CorrectionFond, 0, 1},
      {"PartEmpilement", &TkwValue::PartEmpilement, 1, 100},
      {"NbFils", &TkwValue::NbFils, 0, 255},
  };
  return cles;
}

bool EstReel(const TCle& c) { return std::holds_alternative<double TkwValue::*>(c.Champ); }

std::string ValeurTexte(const TkwValue& v, const TCle& c) {
  return std::visit(
      [&](auto champ) -> std::string {
        using T = std::remove_cvref_t<decltype(v.*champ)>;
        if constexpr (std::is_same_v<T, double>)
          return FormaterGeneral(v.*champ, 15);
        else
          return std::to_string(static_cast<long long>(v.*champ));
      },
      c.Champ);
}

// False when the text is not a sound value for the key; the field is then left as it was.
bool AffecterValeur(TkwValue& v, const TCle& c, const std::string& texte) {
  std::optional<double> x;
  if (EstReel(c)) {
    x = LireReelFITS(texte);  // either separator: files move between regional settings
  } else if (const auto e = ConvertirEntier(texte)) {
    x = *e;
  }
  if (!x || *x < c.Mini || *x > c.Maxi || (c.Accepte && !c.Accepte(*x))) return false;
  std::visit(
      [&](auto champ) {
        using T = std::remove_cvref_t<decltype(v.*champ)>;
        v.*champ = static_cast<T>(*x);
      },
      c.Champ);
  return true;
}

}  // namespace

namespace {

// UTF-16 (either byte order, told by its mark, else by where the zero bytes of ASCII text fall)
// into UTF-8; a UTF-8 mark dropped. Other text as it is.
std::string EnUtf8Texte(std::string octets) {
  auto u = [&](std::size_t i) { return static_cast<unsigned char>(octets[i]); };
  if (octets.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) return octets.substr(3);
  int ordre = 0;  // 1 little-endian, 2 big-endian
  std::size_t debut = 0;
  if (octets.size() >= 2 && u(0) == 0xFF && u(1) == 0xFE) ordre = 1, debut = 2;
  if (octets.size() >= 2 && u(0) == 0xFE && u(1) == 0xFF) ordre = 2, debut = 2;
  if (ordre == 0 && octets.size() >= 4) {
    if (u(0) != 0 && u(1) == 0 && u(2) != 0 && u(3) == 0) ordre = 1;
    if (u(0) == 0 && u(1) != 0 && u(2) == 0 && u(3) != 0) ordre = 2;
  }
  if (ordre == 0) return octets;
  std::string t;
  auto ajouter = [&](char32_t c) {
    if (c < 0x80) {
      t += static_cast<char>(c);
    } else if (c < 0x800) {
      t += static_cast<char>(0xC0 | (c >> 6));
      t += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      t += static_cast<char>(0xE0 | (c >> 12));
      t += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      t += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      t += static_cast<char>(0xF0 | (c >> 18));
      t += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      t += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      t += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  for (std::size_t i = debut; i + 1 < octets.size(); i += 2) {
    char32_t c = ordre == 1 ? (u(i) | u(i + 1) << 8) : (u(i) << 8 | u(i + 1));
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < octets.size()) {
      const char32_t b = ordre == 1 ? (u(i + 2) | u(i + 3) << 8) : (u(i + 2) << 8 | u(i + 3));
      if (b >= 0xDC00 && b < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (b - 0xDC00);
        i += 2;
      }
    }
    ajouter(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
  }
  return t;
}

std::string Rogne(const std::string& t) {
  const auto debut = t.find_first_not_of(" \t");
  if (debut == std::string::npos) return {};
  return t.substr(debut, t.find_last_not_of(" \t") - debut + 1);
}

std::string Minuscules(std::string t) {
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

}  // namespace

TLecturePreferences LirePreferences(TPreferences& prefs, const std::string& chemin) {
  namespace fs = std::filesystem;
  TLecturePreferences resultat;
  resultat.Chemin = chemin;
  std::error_code ec;
  const fs::file_status etat = fs::status(chemin, ec);
  if (ec || !fs::exists(etat)) {
    // Absent: the defaults, silently. Anything else (a loop of links, no permission) is said.
    if (ec && ec != std::errc::no_such_file_or_directory)
      resultat.Erreur = "Impossible de lire le fichier de préférences " + chemin + " : " +
                        TexteErreurSysteme(ec.value());
    return resultat;
  }
  if (fs::is_directory(etat)) {
    resultat.Erreur = "Le fichier de préférences " + chemin + " est un dossier.";
    return resultat;
  }
  if (!fs::is_regular_file(etat)) {  // a device or a pipe would be read without end
    resultat.Erreur = "Le fichier de préférences " + chemin + " n'est pas un fichier ordinaire.";
    return resultat;
  }
  // A preferences file is a few kilobytes; anything far larger is not one.
  const auto taille = fs::file_size(chemin, ec);
  if (!ec && taille > TaillePreferencesMax) {
    resultat.Erreur = "Fichier de préférences trop grand (" + std::to_string(taille) +
                      " octets) : " + chemin + " n'est pas lu.";
    return resultat;
  }
  std::ifstream f(chemin, std::ios::binary);
  std::string octets;
  if (f) octets.assign(std::istreambuf_iterator<char>(f), {});
  if (!f && !f.eof()) {
    resultat.Erreur = "Impossible de lire le fichier de préférences " + chemin;
    return resultat;
  }
  return LirePreferencesTexte(prefs, std::move(octets), chemin);
}

TLecturePreferences LirePreferencesTexte(TPreferences& prefs, std::string octets,
                                         const std::string& chemin) {
  TLecturePreferences resultat;
  resultat.Chemin = chemin;
  resultat.FichierLu = true;
  std::vector<std::string> lignes;
  {
    const std::string texte = EnUtf8Texte(std::move(octets));
    std::string l;
    for (std::size_t i = 0; i <= texte.size(); ++i) {
      if (i == texte.size() || texte[i] == '\n' || texte[i] == '\r') {
        if (i < texte.size() || !l.empty()) lignes.push_back(l);
        l.clear();
        if (i + 1 < texte.size() && texte[i] == '\r' && texte[i + 1] == '\n') ++i;
      } else {
        l += texte[i];
      }
    }
  }

  // Keys in any case, blanks around them and their values; a key written twice: its first
  // line wins.
  std::unordered_map<std::string, const TCle*> connues;
  for (const TCle& c : Cles()) connues.emplace(Minuscules(c.Nom), &c);
  std::unordered_set<std::string> vues;
  prefs.LignesInconnues.clear();
  std::vector<std::string> images;
  for (std::size_t i = 0; i < lignes.size(); ++i) {
    const std::string& l = lignes[i];
    const std::string propre = Rogne(l);
    if (propre.empty()) continue;
    if (propre == "[Warnings]") {
      // The alert values follow, one a line, in the order of the terms.
      std::size_t j = 0;
      for (; j < static_cast<std::size_t>(prefs.NPolyZern) && i + 1 + j < lignes.size(); ++j) {
        const std::string& v = lignes[i + 1 + j];
        if (const auto x = LireReelFITS(v))
          prefs.ValeursAlerte[j] = *x;
        else if (Rogne(v).find('=') != std::string::npos)
          break;  // a setting after a short section
        else
          resultat.ValeursRefusees.push_back(v);
      }
      // Values of terms beyond those used belong to the section too.
      while (i + 1 + j < lignes.size() && LireReelFITS(lignes[i + 1 + j])) ++j;
      i += j;
      continue;
    }
    if (propre.front() == ';' || propre.front() == '#') {
      prefs.LignesInconnues.push_back(l);  // a comment: kept, nothing to say
      continue;
    }
    const auto egal = propre.find('=');
    const std::string cle =
        egal == std::string::npos ? std::string() : Minuscules(Rogne(propre.substr(0, egal)));
    const std::string valeur =
        egal == std::string::npos ? std::string() : Rogne(propre.substr(egal + 1));
    if (cle == "images") {
      images.push_back(valeur);
      continue;
    }
    if (cle == "rapports" || cle == "aide") {
      if (!vues.insert(cle).second) {
        resultat.LignesIgnorees.push_back(l + "  (en double)");
        continue;
      }
      (cle == "aide" ? prefs.FichierAide : prefs.DossierRapports) = valeur;
      continue;
    }
    const auto c = connues.find(cle);
    if (c == connues.end()) {
      resultat.LignesIgnorees.push_back(l);
      prefs.LignesInconnues.push_back(l);
      continue;
    }
    if (!vues.insert(cle).second) {
      resultat.LignesIgnorees.push_back(l + "  (en double)");
      continue;
    }
    if (!AffecterValeur(prefs, *c->second, valeur)) resultat.ValeursRefusees.push_back(l);
  }
  if (!images.empty()) {
    prefs.DossiersImagesRecents = std::move(images);
    prefs.DossierImages = prefs.DossiersImagesRecents.front();
  }
  return resultat;
}

std::string TexteLecturePreferences(const TLecturePreferences& lecture) {
  std::string t = lecture.Erreur;
  if (!lecture.ValeursRefusees.empty()) {
    if (!t.empty()) t += "\n";
    t += "Valeurs refusées dans les préférences " + lecture.Chemin +
         " (la valeur par défaut est gardée) :";
    for (const auto& l : lecture.ValeursRefusees) t += "\n  " + l;
  }
  if (!lecture.LignesIgnorees.empty()) {
    if (!t.empty()) t += "\n";
    t += "Lignes ignorées dans les préférences " + lecture.Chemin +
         " (inconnues de cette version, gardées telles quelles) :";
    for (const auto& l : lecture.LignesIgnorees) t += "\n  " + l;
  }
  return t;
}

std::string TextePreferences(const TPreferences& prefs) {
  std::ostringstream o;
  const char* fin = "\r\n";
  for (const TCle& c : Cles()) o << c.Nom << '=' << ValeurTexte(prefs, c) << fin;
  o << "Aide=" << prefs.FichierAide << fin;
  for (const auto& d : prefs.DossiersImagesRecents) o << "Images=" << d << fin;
  o << "Rapports=" << prefs.DossierRapports << fin;
  for (const auto& l : prefs.LignesInconnues) o << l << fin;
  o << "[Warnings]" << fin;
  for (int j = 0; j < prefs.NPolyZern && j < NMaxZern; ++j)
    o << FormaterFixe(prefs.ValeursAlerte[j], 6) << fin;
  return o.str();
}

void EcrirePreferences(const TPreferences& prefs, const std::string& chemin) {
  EcrireFichierAtomique(chemin, TextePreferences(prefs));
}

std::optional<std::string> AffecterPreference(TkwValue& prefs, std::string_view cle,
                                              std::string_view texte) {
  for (const TCle& c : Cles()) {
    if (cle != c.Nom) continue;
    if (AffecterValeur(prefs, c, std::string(texte))) return std::nullopt;
    std::string bornes = "de " + FormaterGeneral(c.Mini) + " à ";
    bornes += c.Maxi == Infini ? std::string("l'infini") : FormaterGeneral(c.Maxi);
    if (!EstReel(c)) bornes += ", nombre entier";
    return "Valeur refusée : « " + std::string(texte) + " » (" + bornes + ").";
  }
  return "Préférence inconnue : " + std::string(cle);
}

std::vector<std::pair<std::string, std::string>> ClesEtValeurs(const TkwValue& prefs) {
  std::vector<std::pair<std::string, std::string>> l;
  for (const TCle& c : Cles()) l.emplace_back(c.Nom, ValeurTexte(prefs, c));
  return l;
}

void PlacerEnTete(std::vector<std::string>& liste, const std::string& dossier) {
  if (dossier.empty()) return;
  std::erase(liste, dossier);
  liste.insert(liste.begin(), dossier);
  if (liste.size() > DossiersRecentsMax) liste.resize(DossiersRecentsMax);
}

void CreerDossierPreferences(const std::string& chemin) {
  std::error_code ec;
  const auto dossier = std::filesystem::path(chemin).parent_path();
  if (!dossier.empty()) std::filesystem::create_directories(dossier, ec);
}

std::string CheminPreferences() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto dossier = exe.parent_path();
    if (::access(dossier.c_str(), W_OK) == 0) return (dossier / "Prefs.txt").string();
  }
  std::filesystem::path config;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    config = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    config = std::filesystem::path(h) / ".config";
  else
    config = std::filesystem::temp_directory_path();
  // Reading creates nothing: the folder is made when the file is first written.
  return (config / "quelvane" / "Prefs.txt").string();
}

int FilsDemandes(const TkwValue& prefs) {
  return prefs.NbFils == 0 ? NombreCoeurs() : std::min<int>(prefs.NbFils, NombreCoeurs());
}

}  // namespace quelvane
