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

TLecturePreferences LirePreferences(TPreferences& prefs, const std::string& chemin) {
  TLecturePreferences resultat;
  std::error_code ec;
  if (!std::filesystem::exists(chemin, ec)) return resultat;
  // A preferences file is a few kilobytes; anything far larger is not one.
  const auto taille = std::filesystem::file_size(chemin, ec);
  if (!ec && taille > TaillePreferencesMax) {
    resultat.Erreur = "Fichier de préférences trop grand (" + std::to_string(taille) +
                      " octets) : " + chemin + " n'est pas lu.";
    return resultat;
  }
  std::ifstream f(chemin, std::ios::binary);
  if (!f) {
    resultat.Erreur = "Impossible de lire " + chemin;
    return resultat;
  }
  std::vector<std::string> lignes;
  for (std::string l; std::getline(f, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lignes.push_back(std::move(l));
  }
  if (f.bad()) {
    resultat.Erreur = "Impossible de lire " + chemin;
    return resultat;
  }
  resultat.FichierLu = true;

  auto nom = [](const std::string& l) {
    const auto e = l.find('=');
    return e == std::string::npos ? std::string() : l.substr(0, e);
  };
  auto valeur = [](const std::string& l) {
    const auto e = l.find('=');
    return e == std::string::npos ? std::string() : l.substr(e + 1);
  };
  auto minuscules = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  // A key written twice: the first line of that name, whatever its case, wins.
  std::unordered_map<std::string, std::size_t> premiere;
  std::unordered_set<std::string> exacts;
  std::ptrdiff_t debutAlertes = -1;
  for (std::size_t i = 0; i < lignes.size(); ++i) {
    const std::string& l = lignes[i];
    const std::string n = nom(l);
    if (n == "Images") {
      prefs.DossiersImagesRecents.push_back(valeur(l));
    } else if (n == "Rapports") {
      prefs.DossierRapports = valeur(l);
    } else if (n == "Aide") {
      prefs.FichierAide = valeur(l);
    } else if (!n.empty()) {
      premiere.emplace(minuscules(n), i);
      exacts.insert(n);
    }
    if (l == "[Warnings]" && debutAlertes < 0) debutAlertes = static_cast<std::ptrdiff_t>(i);
  }
  if (!prefs.DossiersImagesRecents.empty())
    prefs.DossierImages = prefs.DossiersImagesRecents.front();
  for (const TCle& c : Cles()) {
    const auto trouve = premiere.find(minuscules(c.Nom));
    if (trouve == premiere.end()) continue;
    // Only a key spelt exactly is read, but then from its first line in any case.
    if (!exacts.count(c.Nom)) continue;
    const std::string& l = lignes[trouve->second];
    if (!AffecterValeur(prefs, c, valeur(l))) resultat.ValeursRefusees.push_back(l);
  }
  if (debutAlertes >= 0) {
    for (int j = 0; j < prefs.NPolyZern; ++j) {
      const std::size_t ligne = static_cast<std::size_t>(debutAlertes) + 1 + j;
      if (ligne >= lignes.size()) break;  // a short section keeps the remaining values
      if (const auto v = LireReelFITS(lignes[ligne]))
        prefs.ValeursAlerte[j] = *v;
      else
        resultat.ValeursRefusees.push_back(lignes[ligne]);
    }
  }
  return resultat;
}

std::string TexteLecturePreferences(const TLecturePreferences& lecture) {
  std::string t = lecture.Erreur;
  if (!lecture.ValeursRefusees.empty()) {
    if (!t.empty()) t += "\n";
    t += "Valeurs ignorées dans les préférences (refusées, la valeur par défaut est gardée) :";
    for (const auto& l : lecture.ValeursRefusees) t += "\n  " + l;
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
