#include "report/rapport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "analysis/analyse_front.h"
#include "files/ecriture.h"
#include "files/jpeg.h"
#include "files/nombres.h"
#include "files/utf8.h"
#include "rendu/rendu.h"
#include "settings/saisie_parametres.h"

namespace quelvane {

namespace {

// The title of each family of pictures by role (roles 5 to 10 are reported as families).
struct TFamille {
  std::uint8_t Role;
  const char* Titre;  // "%s" takes "s" for several pictures
};
constexpr TFamille Familles[] = {
    {RolePSF, "Image de diffraction au foyer"},
    {RolePSFTheorique, "Image théorique de diffraction au foyer"},
    {RoleInterferogramme, "Interférogramme%s"},
    {RoleRonchigramme, "Ronchigramme%s"},
    {RoleFoucault, "Foucaultgramme%s"},
    {RoleSpot, "Spot diagramme%s"},
};

class TPage {
 public:
  void Ouvrir(bool bordure) {
    l_.push_back(
        bordure ? R"(<p>&nbsp;</p><table width="75%" border="1" cellspacing="0" align="center">)"
                : R"(<p>&nbsp;</p><table width="75%" border="0" align="center">)");
    l_.push_back("<tr>");
  }
  void Rangee() {
    l_.push_back("</tr>");
    l_.push_back("<tr>");
  }
  void Fermer() {
    l_.push_back("</tr>");
    l_.push_back("</table>");
  }
  void Cellule(const std::string& t) {
    l_.push_back("<td>");
    l_.push_back(R"(<div align="center">)" + t + "</div>");
    l_.push_back("</td>");
  }
  void Image(const std::string& f) {
    l_.push_back("<td>");
    l_.push_back(R"(<div align="center"><img src=)" + f + "></div>");  // f: quoted, escaped
    l_.push_back("</td>");
  }
  void Libelle(const std::string& t, bool premiere) {
    if (!premiere) Rangee();
    Cellule("<div align=left>" + t + "</div>");
  }
  void Titre(const std::string& t, int n) {
    l_.push_back(R"(<p><font size= "+)" + std::to_string(n) + R"("> <b>)" + t + "</b></font></p>");
  }
  void Ligne(const std::string& t) { l_.push_back(t); }
  std::string Texte() const {
    std::string s;
    for (const auto& l : l_) s += l + "\n";
    return s;
  }

 private:
  std::vector<std::string> l_;
};

std::string Format(const char* f, double v, int decimales) {
  return FormaterFixe(v, decimales) + f;
}

// A length with the decimals it needs (at least `decimales`, three at most): 3.632 mm is not
// "4 mm".
std::string Longueur(double v, int decimales, const char* unite) {
  std::string t = FormaterFixe(v, std::max(decimales, 3));
  const char sep = t.find(',') != std::string::npos ? ',' : '.';
  const auto point = t.find(sep);
  if (point != std::string::npos) {
    std::size_t fin = t.size();
    while (fin > point + 1 + static_cast<std::size_t>(decimales) && t[fin - 1] == '0') --fin;
    if (fin == point + 1) --fin;  // no decimals left: no separator either
    t.resize(fin);
  }
  return t + unite;
}

}  // namespace

std::string EchapperHtml(const std::string& t) {
  std::string s;
  for (char c : t) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      case '\'': s += "&#39;"; break;
      default: s += c;
    }
  }
  return s;
}

namespace {

// A file name from a window caption: no folder separators nor characters a file system or a
// browser's address would trip on.
std::string NomFichier(const std::string& legende) {
  std::string n;
  for (unsigned char c : legende)
    n += (c < 32 || c == '/' || c == '\\' || c == '"' || c == ':' || c == '*' || c == '?' ||
          c == '<' || c == '>' || c == '|')
             ? '_'
             : static_cast<char>(c);
  return n.empty() ? "image" : n;
}

}  // namespace

std::string VersLatin1Html(const std::string& t) {
  std::string s;
  for (std::size_t i = 0; i < t.size();) {
    const auto c = static_cast<unsigned char>(t[i]);
    unsigned v = c;
    int n = 1;
    if (c >= 0xF0)
      n = 4, v = c & 0x07;
    else if (c >= 0xE0)
      n = 3, v = c & 0x0F;
    else if (c >= 0xC0)
      n = 2, v = c & 0x1F;
    if (n > 1) {
      if (i + n > t.size()) break;
      for (int k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(t[i + k]) & 0x3F);
    }
    // Only ASCII in the file: whatever code page a browser guesses for a page without a
    // head, "é" written &#233; reads right.
    if (v < 128)
      s += static_cast<char>(v);
    else
      s += "&#" + std::to_string(v) + ";";
    i += n;
  }
  return s;
}

TRapport ConstruireRapport(const TContexteRapport& x) {
  if (!x.Test || !x.Test->FrontOnde || !x.Parametres || !x.Prefs || !x.Jeu)
    throw std::runtime_error("Rapport impossible : il faut un front d'onde reconstruit.");
  const TRoddier& test = *x.Test;
  const TParametresTest& p = *x.Parametres;
  const TkwValue& pr = *x.Prefs;
  TRapport rapport;
  TPalettes palettes;
  std::set<std::string> noms;
  // Each picture saved once under its name; a second caption alike gets a number.
  auto image = [&](const TFenetreRapport& f, std::string nom) {
    if (noms.count(nom)) {
      const auto point = nom.rfind('.');
      for (int k = 2;; ++k) {
        const std::string essai =
            nom.substr(0, point) + "-" + std::to_string(k) + nom.substr(point);
        if (!noms.count(essai)) {
          nom = essai;
          break;
        }
      }
    }
    noms.insert(nom);
    palettes.ChoisirPalette(f.Champ->Palette);
    const TImage24 im =
        ImageDuChamp(*f.Champ, palettes, f.Champ->Lambda, f.CouleurLambda, f.Echelle);
    rapport.Images.emplace_back(nom, CoderJPEG(im.Pixels, im.Largeur, im.Hauteur));
    return nom;
  };

  TPage page;
  page.Ouvrir(true);
  page.Cellule("<Font size= +3>Test de Roddier</font>");
  page.Fermer();
  page.Titre(R"(<div align= "center">1. Paramètres du test)", 2);

  const TEntreesTest e = EntreesDepuis(p);
  // Texts from the images' headers and from the user go in escaped: a header holding markup
  // shows as text, never as part of the page. A field nobody filled is left out.
  page.Ouvrir(true);
  bool premiere = true;
  auto champ = [&](const char* libelle, const std::string& valeur) {
    if (valeur.empty()) return;
    page.Libelle(libelle, premiere);
    premiere = false;
    page.Cellule(valeur);
  };
  champ("Instrument :", EchapperHtml(EnUtf8(x.Instrument)));
  champ("Diamètre :", Longueur(e.DiametreMm, pr.NDecMilli, " mm"));
  champ("Distance focale :", Longueur(e.FocaleMm, pr.NDecMilli, " mm"));
  champ("Obstruction (Diam. ratio d'après signal) :",
        Format(" %", (test.Signal ? test.Signal->Obstruction : 0) * 100, 0));
  champ("Camera :", EchapperHtml(EnUtf8(x.Camera)));
  champ("Défocalisation :", Longueur(e.DefocalisationMm, pr.NDecMilli, " mm"));
  switch (x.Source) {
    case SourceInfini: champ("Source :", "Etoile à l'infini"); break;
    case SourceArtificielle:
      champ("Source :", "Etoile artificielle à " + Longueur(p.DistanceSource / 1e9, 0, " m"));
      break;
    case SourceCourbure: champ("Source :", "Au rayon de courbure"); break;
    default: champ("Source :", "Autocollimation"); break;
  }
  auto pose = [](const std::string& t) {
    const auto v = LireReelFITS(t);
    return v && *v > 0 ? EchapperHtml(t) + " s" : std::string();
  };
  const std::string poseIntra = pose(x.PoseIntra), poseExtra = pose(x.PoseExtra);
  if (!poseIntra.empty() || !poseExtra.empty())
    champ("Temps de pose :",
          (poseIntra.empty() ? "?" : poseIntra) + " / " + (poseExtra.empty() ? "?" : poseExtra));
  page.Fermer();

  // The defocused images and the signal, from the test's own prepared copies' statistics.
  page.Ouvrir(false);
  std::vector<std::pair<std::string, const TPupille*>> images;
  if (x.Intra)
    images.emplace_back("Intra", test.Intra.get()), page.Image(image(*x.Intra, "intra.jpg"));
  if (x.Extra)
    images.emplace_back("Extra", test.Extra.get()), page.Image(image(*x.Extra, "extra.jpg"));
  if (x.Signal)
    images.emplace_back("Signal", test.Signal.get()), page.Image(image(*x.Signal, "signal.jpg"));
  page.Rangee();
  for (const auto& [nom, f] : images) page.Cellule(nom);
  page.Rangee();
  for (const auto& [nom, f] : images) {
    char t[80];
    long pupille = 0;
    if (f)
      for (std::int16_t m : f->Masque.Plan(0)) pupille += m == 1;
    std::snprintf(t, sizeof t, "[%dx%d] %ld pix", f ? f->NX : 0, f ? f->NY : 0, pupille);
    page.Cellule(t);
  }
  page.Rangee();
  for (const auto& [nom, f] : images)
    page.Cellule("r = " + FormaterFixe(f ? f->RayonPupille : 0, pr.NDecPix) + " pix");
  page.Fermer();

  page.Titre(R"(<div align= "center">2. Reconstruction du front d'onde)", 2);
  page.Ouvrir(false);
  TPupille front = *test.FrontOnde;
  front.Lambda = front.Lambda > 0 ? front.Lambda : pr.LambdaRef;
  std::vector<TPupille> champs{front};
  if (x.Front) page.Image(image(*x.Front, "front.jpg"));
  if (x.Residu && test.FrontResiduel) {
    page.Image(image(*x.Residu, "Residu.jpg"));
    champs.push_back(*test.FrontResiduel);
    champs.back().Lambda = front.Lambda;
  }
  for (TPupille& c : champs) {
    c.MoyenneEcartType();
    c.MinMaxMasque();
    CalculerStrehl(c);
  }
  page.Rangee();
  page.Cellule("Front d'onde");
  if (champs.size() > 1) page.Cellule("Front résiduel");
  // The standard errors of the wavefront's figures (the residual's are not measured).
  const TIncertitudes u = Incertitudes(front, *x.Jeu);
  auto pm = [&](const TPupille& c, double e, int d) {
    return u.Connues && &c == &champs.front() ? " &plusmn; " + FormaterFixe(e, d) : std::string();
  };
  auto rangee = [&](auto texte) {
    page.Rangee();
    for (const TPupille& c : champs) page.Cellule(texte(c));
  };
  // S against a perfect unobstructed instrument, S/Smax against one of the same obstruction:
  // the same two figures, under the same names, as the panel and the JSON.
  rangee([&](const TPupille& c) {
    return "S = " + FormaterFixe(c.Strehl, pr.NDecStrehl) + pm(c, u.Strehl, pr.NDecStrehl + 1);
  });
  rangee([&](const TPupille& c) {
    return "S/Smax = " + FormaterFixe(c.StrehlRMS, pr.NDecStrehl) +
           pm(c, u.StrehlRMS, pr.NDecStrehl + 1);
  });
  rangee([&](const TPupille& c) {
    return "Ecart RMS = " + FormaterFixe(c.EcartType, pr.NDecNano) + pm(c, u.RMS, pr.NDecNano) +
           " nm";
  });
  rangee(
      [&](const TPupille& c) { return FractionLambda(c.EcartType, pr.LambdaRef, pr.NDecLambda); });
  rangee([&](const TPupille& c) {
    return "Ecart PTV = " + FormaterFixe(c.Etendue, pr.NDecNano) + pm(c, u.PTV, pr.NDecNano) +
           " nm";
  });
  rangee([&](const TPupille& c) { return FractionLambda(c.Etendue, pr.LambdaRef, pr.NDecLambda); });
  page.Fermer();
  page.Titre(
      R"(<div align= "center">Avec Lambda = )" + FormaterFixe(pr.LambdaRef, pr.NDecLambda) + " nm",
      1);

  page.Titre(R"(<div align= "center">3. Aberrations selon Zernike)", 2);
  TCoefZernike rms = test.FrontOnde->Coefficients, ecarts = u.Coefficients;
  CoefVersRMS(*x.Jeu, rms);
  CoefVersRMS(*x.Jeu, ecarts);
  page.Ouvrir(true);
  std::vector<std::string> entetes = {"n&deg;", "Nom", "Valeur RMS (nm)"};
  if (u.Connues) entetes.push_back("&plusmn; (nm)");
  entetes.push_back("");
  for (const std::string& t : entetes) page.Cellule(t);
  for (int j = 1; j <= pr.NPolyZern && j <= NMaxZern; ++j) {
    page.Rangee();
    page.Cellule(std::to_string(j));
    page.Cellule(R"(<div align="left">)" + NomZernike(j) + "</div>");
    page.Cellule(R"(<div align="right">)" + FormaterFixe(rms[j - 1], pr.NDecNano) + "</div>");
    if (u.Connues)
      page.Cellule(R"(<div align="right">)" + FormaterFixe(ecarts[j - 1], pr.NDecNano) + "</div>");
    page.Cellule(test.FrontOnde->Selection[j - 1] ? "" : "[Soustrait]");
  }
  page.Fermer();

  // The families of simulated pictures, from the table: a new family needs no code here.
  int numero = 4;
  for (const TFamille& fam : Familles) {
    std::vector<const TFenetreRapport*> fenetres;
    for (const TFenetreRapport& f : x.Fenetres)
      if (f.Champ && f.Champ->Role == fam.Role) fenetres.push_back(&f);
    if (fenetres.empty()) continue;
    char titre[128];
    std::snprintf(titre, sizeof titre, fam.Titre, fenetres.size() >= 2 ? "s" : "");
    page.Titre(R"(<div align= "center">)" + std::to_string(numero) + ". " + titre, 2);
    if (fam.Role == RoleInterferogramme)
      page.Titre(R"(<div align= "center">Avec Lambda = )" +
                     FormaterFixe(pr.LambdaInterfero, pr.NDecLambda) + " nm",
                 1);
    page.Ouvrir(false);
    for (std::size_t k = 0; k < fenetres.size(); ++k) {
      if (k > 0 && k % 2 == 0) page.Rangee();
      page.Image("\"" +
                 EchapperHtml(image(*fenetres[k], NomFichier(fenetres[k]->Legende) + ".jpg")) +
                 "\"");
    }
    page.Fermer();
    ++numero;
  }

  // The tests a combined test was made of, and the stand's terms told apart.
  if (x.Enregistre && !x.Enregistre->Composition.empty()) {
    const TTestEnregistre& t = *x.Enregistre;
    const bool moyenne = t.Nature == "moyenne";
    page.Titre(R"(<div align= "center">)" + std::to_string(numero++) + ". " +
                   (moyenne ? "Moyenne de " + std::to_string(t.Composition.size()) + " tests"
                            : std::string("Différence de deux tests (le premier moins le second)")),
               2);
    page.Ouvrir(true);
    for (const char* e : {"Test", "Prise de vue", "Rotation de l'optique"}) page.Cellule(e);
    for (const TTestComposant& c : t.Composition) {
      page.Rangee();
      page.Cellule(EchapperHtml(EnUtf8(c.Fichier)));
      page.Cellule(c.DateObs.empty() ? std::string("?") : EchapperHtml(c.DateObs));
      page.Cellule(FormaterFixe(c.RotationDeg, 1) + "&deg;");
    }
    page.Fermer();
    if (!t.TermesBanc.empty()) {
      page.Titre(R"(<div align= "center">Termes du banc (restés fixes quand l'optique tournait))",
                 1);
      page.Ouvrir(true);
      for (const char* e : {"n&deg;", "Nom", "Valeur RMS (nm)", "&plusmn; (nm)"}) page.Cellule(e);
      for (const TTermeBanc& b : t.TermesBanc) {
        const double f = b.J >= 1 && b.J <= NMaxZern ? x.Jeu->FacteurNorm[b.J - 1] : 1;
        page.Rangee();
        page.Cellule(std::to_string(b.J));
        page.Cellule(R"(<div align="left">)" + NomZernike(b.J) + "</div>");
        page.Cellule(R"(<div align="right">)" + FormaterFixe(b.ValeurNm / f, pr.NDecNano) +
                     "</div>");
        page.Cellule(R"(<div align="right">)" + FormaterFixe(b.EcartNm / f, pr.NDecNano) +
                     "</div>");
      }
      page.Fermer();
    }
    if (!t.NoteSeparation.empty()) page.Ligne("<p>" + EchapperHtml(t.NoteSeparation) + "</p>");
  }

  // A night's trend, test by test.
  if (!x.Tendance.empty()) {
    page.Titre(R"(<div align= "center">)" + std::to_string(numero++) + ". Évolution des tests", 2);
    page.Ouvrir(true);
    std::vector<std::string> entetes = {"Heure (h)", "Test", "RMS (nm)", "S"};
    for (int j : x.TermesTendance) entetes.push_back("Z" + std::to_string(j) + " RMS (nm)");
    for (const std::string& e : entetes) page.Cellule(e);
    for (const TPointTendance& p : x.Tendance) {
      auto pm = [&](double v, double e, int d) {
        return FormaterFixe(v, d) + (p.EcartsConnus ? " &plusmn; " + FormaterFixe(e, d) : "");
      };
      page.Rangee();
      page.Cellule(p.DateConnue ? FormaterFixe(p.Heures, 2) : std::string("?"));
      page.Cellule(EchapperHtml(EnUtf8(p.Fichier)));
      page.Cellule(pm(p.RMS, p.RMSEcart, pr.NDecNano));
      page.Cellule(pm(p.Strehl, p.StrehlEcart, pr.NDecStrehl));
      for (int j : x.TermesTendance)
        if (j >= 1 && j <= NMaxZern)
          page.Cellule(pm(p.CoefficientsRMS[j - 1], p.EcartsRMS[j - 1], pr.NDecNano));
    }
    page.Fermer();
  }

  // How the figures are to be read, and what was done to the images.
  page.Titre(R"(<div align= "center">Conventions)", 1);
  page.Ouvrir(true);
  page.Libelle("Polynômes :", true);
  page.Cellule(x.Jeu->Type == PolyMahajan
                   ? "de Zernike annulaires (obstruction " +
                         FormaterFixe(test.FrontOnde->Obstruction * 100, 0) + " %)"
                   : std::string("de Zernike classiques"));
  page.Libelle("Valeurs :", false);
  page.Cellule("RMS normalisées, en nanomètres de front d'onde");
  page.Libelle("Signe :", false);
  page.Cellule(
      "front positif en avance ; Z11 positif : miroir sous-corrigé (bord brillant en intrafocale)");
  page.Libelle("Longueur d'onde :", false);
  page.Cellule(FormaterFixe(pr.LambdaRef, pr.NDecLambda) + " nm");
  if (u.Connues) {
    page.Libelle("&plusmn; :", false);
    page.Cellule("un écart-type (" + u.Methode + ", " + std::to_string(u.Echantillons) +
                 ") ; comprend " + u.Comprend + " ; pas " + IncertitudesExclues);
  }
  page.Libelle("Fond et flux :", false);
  const TPreparationPaire& prep = test.Preparation;
  page.Cellule(prep.FondCorrige
                   ? "fond soustrait (intra " + FormaterFixe(prep.FondIntra.Niveau, 0) +
                         " ADU, extra " + FormaterFixe(prep.FondExtra.Niveau, 0) +
                         " ADU), flux égalisés (extra/intra " + FormaterFixe(prep.RapportFlux, 3) +
                         ")"
                   : std::string("non corrigés"));
  for (const std::string& a : AvertissementsPreparation(prep)) {
    page.Libelle("Attention :", false);
    page.Cellule(a);
  }
  page.Fermer();
  page.Titre("Rapport édité avec Quelvane " + x.Version, 0);
  rapport.Html = VersLatin1Html(page.Texte());
  return rapport;
}

std::vector<std::pair<std::string, std::string>> FichiersRapport(const std::string& chemin,
                                                                 const TRapport& r) {
  const auto dossier = std::filesystem::path(chemin).parent_path();
  std::vector<std::pair<std::string, std::string>> fichiers;
  for (const auto& [nom, octets] : r.Images)
    fichiers.emplace_back((dossier / nom).string(), octets);
  fichiers.emplace_back(chemin, r.Html);
  return fichiers;
}

void EcrireRapport(const std::string& chemin, const TRapport& r) {
  EcrireFichiersAtomiques(FichiersRapport(chemin, r));
}

}  // namespace quelvane
