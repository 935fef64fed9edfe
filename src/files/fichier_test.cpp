#include "files/fichier_test.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "files/ecriture.h"
#include "files/empreinte.h"
#include "files/utf8.h"

#ifndef QUELVANE_VERSION
#define QUELVANE_VERSION "?"
#endif

namespace quelvane {

namespace {

using Json = nlohmann::ordered_json;

// Bounds that no real test reaches; a file beyond them is damaged, not big.
constexpr std::uintmax_t TailleMax = std::uintmax_t{1} << 30;
constexpr int CoteMax = 8192;
constexpr std::size_t VariantesMax = 1000;

[[noreturn]] void Refuser(const std::string& quoi) {
  throw ErreurFichierTest("Fichier de test endommagé : " + quoi + ".");
}

// The mask as runs "value, count": a pupil is a few runs per row.
Json MasqueEnPlages(const TGrilleEntiere& m) {
  Json plages = Json::array();
  const auto p = m.Plan(0);
  for (std::size_t i = 0; i < p.size();) {
    std::size_t j = i;
    while (j < p.size() && p[j] == p[i]) ++j;
    plages.push_back(p[i]);
    plages.push_back(j - i);
    i = j;
  }
  return plages;
}

std::string OctetsDe(const double* v, std::size_t n) {
  std::string o(n * sizeof(double), '\0');
  // Little-endian on every machine this runs on; the format says so.
  std::memcpy(o.data(), v, o.size());
  return o;
}

Json Carte(const TPupille& f) {
  Json j;
  j["role"] = f.Role;
  j["nx"] = f.NX;
  j["ny"] = f.NY;
  j["centre_x"] = f.CentreX;
  j["centre_y"] = f.CentreY;
  j["rayon_px"] = f.RayonPupille;
  j["obstruction"] = f.Obstruction;
  j["lambda_nm"] = f.Lambda;
  j["couleur"] = f.Couleur;
  j["rayon_physique_nm"] = f.RayonPhysique;
  j["ordres_superieurs"] = f.OrdresSup;
  j["coefficients_nm"] = std::vector<double>(f.Coefficients.begin(), f.Coefficients.end());
  j["selection"] = std::vector<bool>(f.Selection.begin(), f.Selection.end());
  j["masque"] = MasqueEnPlages(f.Masque);
  // Values of the masked samples only, unless a value lies outside the mask.
  std::vector<double> valeurs;
  bool partout = false;
  const auto v = f.Donnees.Plan(0);
  const auto m = f.Masque.Plan(0);
  for (std::size_t i = 0; i < v.size(); ++i)
    if (m[i] != 0)
      valeurs.push_back(v[i]);
    else if (v[i] != 0)
      partout = true;
  if (partout) valeurs.assign(v.begin(), v.end());
  j["valeurs_partout"] = partout;
  const std::string octets = OctetsDe(valeurs.data(), valeurs.size());
  j["valeurs_sha256"] = Sha256(octets);
  j["valeurs"] = EnBase64(octets);
  return j;
}

template <class T>
T Champ(const Json& j, const char* nom, const std::string& ou) {
  const auto it = j.find(nom);
  if (it == j.end()) Refuser("« " + std::string(nom) + " » manque dans " + ou);
  try {
    return it->get<T>();
  } catch (const std::exception&) {
    Refuser("« " + std::string(nom) + " » n'a pas le bon type dans " + ou);
  }
}

double Nombre(const Json& j, const char* nom, const std::string& ou, double mini, double maxi) {
  const auto it = j.find(nom);
  if (it == j.end() || !it->is_number()) Refuser("« " + std::string(nom) + " » manque dans " + ou);
  const double x = it->get<double>();
  if (!std::isfinite(x) || x < mini || x > maxi)
    Refuser("« " + std::string(nom) + " » hors des valeurs possibles dans " + ou);
  return x;
}

TPupille LireCarte(const Json& j, const std::string& ou) {
  if (!j.is_object()) Refuser(ou + " n'est pas un objet");
  const int nx = static_cast<int>(Nombre(j, "nx", ou, 1, CoteMax));
  const int ny = static_cast<int>(Nombre(j, "ny", ou, 1, CoteMax));
  const std::size_t total = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  // Sizes first, from the file itself: the mask's runs must cover the grid, the values must
  // be as many as the text holds, and a map is mostly its pupil. Only then is anything
  // allocated, so a damaged header cannot ask for more than the file could fill.
  const auto plages = Champ<std::vector<std::int64_t>>(j, "masque", ou);
  if (plages.size() % 2 != 0) Refuser("masque incomplet dans " + ou);
  std::size_t pos = 0, dedans = 0;
  for (std::size_t k = 0; k < plages.size(); k += 2) {
    const std::int64_t valeur = plages[k], n = plages[k + 1];
    if (valeur < std::numeric_limits<std::int16_t>::min() ||
        valeur > std::numeric_limits<std::int16_t>::max() || n < 1 ||
        static_cast<std::uint64_t>(n) > total - pos)
      Refuser("masque incohérent dans " + ou);
    pos += static_cast<std::size_t>(n);
    if (valeur != 0) dedans += static_cast<std::size_t>(n);
  }
  if (pos != total) Refuser("le masque ne couvre pas la carte dans " + ou);
  const bool partout = Champ<bool>(j, "valeurs_partout", ou);
  const std::size_t attendus = partout ? total : dedans;
  if (total > 16 * std::max<std::size_t>(attendus, 64)) Refuser("carte presque vide dans " + ou);
  const auto texte = Champ<std::string>(j, "valeurs", ou);
  if (texte.size() != (attendus * sizeof(double) + 2) / 3 * 4)
    Refuser("nombre de valeurs inattendu dans " + ou);
  const auto octets = DepuisBase64(texte);
  if (!octets || octets->size() != attendus * sizeof(double))
    Refuser("valeurs illisibles dans " + ou);
  if (Sha256(*octets) != Champ<std::string>(j, "valeurs_sha256", ou))
    Refuser("les valeurs ne correspondent plus à leur empreinte dans " + ou);
  std::vector<double> valeurs(attendus);
  std::memcpy(valeurs.data(), octets->data(), octets->size());
  for (double x : valeurs)
    if (!std::isfinite(x)) Refuser("une valeur n'est pas un nombre dans " + ou);

  TPupille f;
  f.Allouer(nx, ny);
  f.Role = static_cast<std::uint8_t>(Nombre(j, "role", ou, 0, 10));
  f.CentreX = Nombre(j, "centre_x", ou, -1e6, 1e6);
  f.CentreY = Nombre(j, "centre_y", ou, -1e6, 1e6);
  f.RayonPupille = Nombre(j, "rayon_px", ou, 0, 1e6);
  f.Obstruction = Nombre(j, "obstruction", ou, 0, 0.99);
  f.Lambda = Nombre(j, "lambda_nm", ou, 0, 1e7);
  f.Couleur = static_cast<std::uint8_t>(Nombre(j, "couleur", ou, 0, 3));
  f.RayonPhysique = Nombre(j, "rayon_physique_nm", ou, 0, 1e15);
  f.OrdresSup = Champ<bool>(j, "ordres_superieurs", ou);
  const auto coef = Champ<std::vector<double>>(j, "coefficients_nm", ou);
  const auto sel = Champ<std::vector<bool>>(j, "selection", ou);
  if (coef.size() != NMaxZern || sel.size() != NMaxZern)
    Refuser("il faut " + std::to_string(NMaxZern) + " coefficients et choix dans " + ou);
  for (int k = 0; k < NMaxZern; ++k) {
    if (!std::isfinite(coef[k])) Refuser("un coefficient n'est pas un nombre dans " + ou);
    f.Coefficients[k] = coef[k];
    f.Selection[k] = sel[k];
  }
  auto m = f.Masque.Plan(0);
  pos = 0;
  for (std::size_t k = 0; k < plages.size(); k += 2) {
    std::fill_n(m.begin() + static_cast<std::ptrdiff_t>(pos), plages[k + 1],
                static_cast<std::int16_t>(plages[k]));
    pos += static_cast<std::size_t>(plages[k + 1]);
  }
  auto v = f.Donnees.Plan(0);
  if (partout) {
    std::copy(valeurs.begin(), valeurs.end(), v.begin());
  } else {
    std::size_t k = 0;
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = m[i] != 0 ? valeurs[k++] : 0.0;
  }
  f.MasqueVisible = 1;
  f.AxesPupille();
  return f;
}

std::string CheminTexte(const std::string& chemin) { return EnUtf8(chemin); }

}  // namespace

const char* VersionProgramme() { return "Quelvane " QUELVANE_VERSION; }

bool RessembleAUnTest(std::string_view debut) {
  for (const char c : debut) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    return c == '{';
  }
  return false;
}

std::string TexteTest(const TTestEnregistre& t) {
  Json j;
  j["format"] = "quelvane-test";
  j["version"] = VersionFichierTest;
  j["nature"] = t.Nature;
  j["programme"] = t.Programme.empty() ? VersionProgramme() : t.Programme;
  j["date_obs"] = t.DateObs;
  j["rotation_deg"] = t.RotationDeg;
  j["polynomes"] = {{"type", t.TypePolynomes == 0 ? "Mahajan" : "Zernike"}, {"termes", t.NbTermes}};
  j["parametres"] = t.Parametres;
  j["preferences"] = t.Preferences;
  j["preparation"] = t.Preparation;
  Json sources = Json::array();
  for (const TSourceImage& s : t.Sources)
    sources.push_back({{"cote", s.Cote},
                       {"fichier", EnUtf8(s.Fichier)},
                       {"octets", s.Octets},
                       {"sha256", s.Sha256}});
  j["sources"] = sources;
  Json composition = Json::array();
  for (const TTestComposant& c : t.Composition)
    composition.push_back(
        {{"fichier", EnUtf8(c.Fichier)}, {"date_obs", c.DateObs}, {"rotation_deg", c.RotationDeg}});
  j["composition"] = composition;
  Json banc = Json::array();
  for (const TTermeBanc& b : t.TermesBanc)
    banc.push_back({{"j", b.J}, {"valeur_nm", b.ValeurNm}, {"ecart_type_nm", b.EcartNm}});
  j["termes_du_banc"] = banc;
  j["note_separation"] = t.NoteSeparation;
  j["front"] = Carte(t.Front);
  if (t.Front.Variantes) {
    const TVariantesFront& v = *t.Front.Variantes;
    Json fronts = Json::array();
    for (const TPupille& f : v.Fronts) fronts.push_back(Carte(f));
    j["variantes"] = {{"facteur", v.Facteur},
                      {"methode", v.Methode},
                      {"comprend", v.Comprend},
                      {"fronts", fronts}};
  }
  return j.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {
TTestEnregistre LireDocument(std::string_view texte);
}  // namespace

TTestEnregistre LireTest(std::string_view texte) {
  try {
    return LireDocument(texte);
  } catch (const nlohmann::json::exception&) {
    // A field of an unexpected kind that no check above named.
    Refuser("un champ n'a pas la forme attendue");
  }
}

namespace {
TTestEnregistre LireDocument(std::string_view texte) {
  Json j;
  try {
    j = Json::parse(texte.begin(), texte.end());
  } catch (const std::exception&) {
    throw ErreurFichierTest(
        "Fichier de test illisible : ce n'est pas un document JSON complet (fichier coupé ou "
        "modifié ?).");
  }
  const auto format = j.is_object() ? j.find("format") : j.end();
  if (!j.is_object() || format == j.end() || !format->is_string() ||
      format->get<std::string>() != "quelvane-test")
    throw ErreurFichierTest("Ce fichier n'est pas un test de Quelvane.");
  const auto itv = j.find("version");
  if (itv == j.end() || !itv->is_number_integer()) Refuser("la version du format manque");
  const int version = itv->get<int>();
  if (version > VersionFichierTest)
    throw ErreurFichierTest(
        "Ce test a été enregistré par une version plus récente de Quelvane "
        "(format " +
        std::to_string(version) + ", celle-ci lit le format " + std::to_string(VersionFichierTest) +
        ") : mettez le programme à jour.");
  if (version < 1) Refuser("version du format inconnue");
  TTestEnregistre t;
  const std::string racine = "le document";
  t.Nature = Champ<std::string>(j, "nature", racine);
  if (t.Nature != "test" && t.Nature != "moyenne" && t.Nature != "difference")
    Refuser("nature inconnue « " + t.Nature + " »");
  t.Programme = Champ<std::string>(j, "programme", racine);
  t.DateObs = Champ<std::string>(j, "date_obs", racine);
  t.RotationDeg = Nombre(j, "rotation_deg", racine, -36000, 36000);
  const Json poly = Champ<Json>(j, "polynomes", racine);
  const std::string type = Champ<std::string>(poly, "type", "« polynomes »");
  if (type != "Mahajan" && type != "Zernike") Refuser("type de polynômes inconnu");
  t.TypePolynomes = type == "Mahajan" ? 0 : 1;
  t.NbTermes = static_cast<int>(Nombre(poly, "termes", "« polynomes »", 1, NMaxZern));
  t.Parametres = Champ<Json>(j, "parametres", racine);
  t.Preparation = Champ<Json>(j, "preparation", racine);
  t.Preferences = Champ<std::vector<std::string>>(j, "preferences", racine);
  for (const Json& s : Champ<Json>(j, "sources", racine)) {
    TSourceImage src;
    src.Cote = Champ<std::string>(s, "cote", "une source");
    src.Fichier = Champ<std::string>(s, "fichier", "une source");
    src.Octets = Champ<std::uintmax_t>(s, "octets", "une source");
    src.Sha256 = Champ<std::string>(s, "sha256", "une source");
    t.Sources.push_back(std::move(src));
  }
  for (const Json& c : Champ<Json>(j, "composition", racine)) {
    TTestComposant k;
    k.Fichier = Champ<std::string>(c, "fichier", "la composition");
    k.DateObs = Champ<std::string>(c, "date_obs", "la composition");
    k.RotationDeg = Nombre(c, "rotation_deg", "la composition", -36000, 36000);
    t.Composition.push_back(std::move(k));
  }
  for (const Json& b : Champ<Json>(j, "termes_du_banc", racine)) {
    TTermeBanc k;
    k.J = static_cast<int>(Nombre(b, "j", "les termes du banc", 1, NMaxZern));
    k.ValeurNm = Nombre(b, "valeur_nm", "les termes du banc", -1e9, 1e9);
    k.EcartNm = Nombre(b, "ecart_type_nm", "les termes du banc", 0, 1e9);
    t.TermesBanc.push_back(k);
  }
  t.NoteSeparation = Champ<std::string>(j, "note_separation", racine);
  t.Front = LireCarte(Champ<Json>(j, "front", racine), "le front d'onde");
  if (const auto it = j.find("variantes"); it != j.end()) {
    auto v = std::make_shared<TVariantesFront>();
    const std::string ou = "les variantes";
    v->Facteur = Nombre(*it, "facteur", ou, 0, 1e6);
    v->Methode = Champ<std::string>(*it, "methode", ou);
    v->Comprend = Champ<std::string>(*it, "comprend", ou);
    const Json fronts = Champ<Json>(*it, "fronts", ou);
    if (!fronts.is_array() || fronts.size() > VariantesMax) Refuser("trop de variantes");
    for (std::size_t k = 0; k < fronts.size(); ++k) {
      TPupille f = LireCarte(fronts[k], "la variante " + std::to_string(k + 1));
      if (f.NX != t.Front.NX || f.NY != t.Front.NY)
        Refuser("une variante n'a pas la taille du front");
      v->Fronts.push_back(std::move(f));
    }
    t.Front.Variantes = std::move(v);
  }
  return t;
}
}  // namespace

void EnregistrerTest(const TTestEnregistre& test, const std::string& chemin) {
  EcrireFichierAtomique(chemin, TexteTest(test));
}

TTestEnregistre OuvrirTest(const std::string& chemin) {
  std::error_code ec;
  const auto statut = std::filesystem::status(chemin, ec);
  if (ec || !std::filesystem::exists(statut))
    throw ErreurFichierTest("Fichier de test introuvable : " + CheminTexte(chemin));
  if (!std::filesystem::is_regular_file(statut))
    throw ErreurFichierTest(CheminTexte(chemin) + " n'est pas un fichier.");
  const auto taille = std::filesystem::file_size(chemin, ec);
  if (ec || taille > TailleMax)
    throw ErreurFichierTest(CheminTexte(chemin) + " est trop grand pour un fichier de test.");
  if (taille == 0) throw ErreurFichierTest(CheminTexte(chemin) + " est vide.");
  std::ifstream f(chemin, std::ios::binary);
  std::ostringstream contenu;
  if (!f || !(contenu << f.rdbuf()) || f.bad())
    throw ErreurFichierTest("Impossible de lire " + CheminTexte(chemin));
  try {
    return LireTest(contenu.str());
  } catch (const ErreurFichierTest& e) {
    throw ErreurFichierTest(std::string(e.what()) + "\n(" + CheminTexte(chemin) + ")");
  }
}

std::string VerifierSource(const TSourceImage& s) {
  const auto empreinte = Sha256Fichier(s.Fichier);
  if (!empreinte) return "L'image " + CheminTexte(s.Fichier) + " est introuvable.";
  if (!s.Sha256.empty() && *empreinte != s.Sha256)
    return "L'image " + CheminTexte(s.Fichier) + " a changé depuis le test.";
  return {};
}

}  // namespace quelvane
