#include "files/surveillance.h"

#include <algorithm>
#include <cctype>

#include "files/fichier_test.h"
#include "files/utf8.h"

namespace quelvane {

namespace {

bool ExtensionImage(const std::filesystem::path& p) {
  std::string e = p.extension().string();
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
  return e == ".fit" || e == ".fits" || e == ".fts" || e == ".ser" || e == ".jpg" || e == ".jpeg";
}

bool EstFITS(const std::filesystem::path& p) {
  std::string e = p.extension().string();
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
  return e == ".fit" || e == ".fits" || e == ".fts";
}

}  // namespace

std::pair<std::string, int> CleDePaire(const std::string& nom) {
  std::string bas = nom;
  std::transform(bas.begin(), bas.end(), bas.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const auto i = bas.find("intra"), e = bas.find("extra");
  if (i == std::string::npos && e == std::string::npos) return {"", 0};
  // The first of the two words names the side (a name holding both is read by the first).
  const bool intra = e == std::string::npos || (i != std::string::npos && i < e);
  const std::size_t p = intra ? i : e;
  return {nom.substr(0, p) + "*" + nom.substr(p + 5), intra ? 1 : 2};
}

TSurveillance::TSurveillance(std::filesystem::path dossier, bool parOrdre, double stabilite)
    : dossier_(std::move(dossier)), parOrdre_(parOrdre), stabilite_(stabilite) {}

std::vector<TPaireArrivee> TSurveillance::Examiner(Horloge::time_point maintenant) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dossier_, ec))
    throw ErreurSurveillance("Le dossier surveillé n'existe plus : " + EnUtf8(dossier_.string()));
  std::vector<std::filesystem::path> complets;
  std::vector<std::filesystem::path> vus;
  std::filesystem::directory_iterator it(dossier_, ec), fin;
  if (ec)
    throw ErreurSurveillance("Le dossier surveillé ne peut pas être lu : " +
                             EnUtf8(dossier_.string()) + " (" + ec.message() + ")");
  for (; it != fin; it.increment(ec)) {
    if (ec) break;
    const std::filesystem::path p = it->path();
    if (!ExtensionImage(p) || p.filename().string().starts_with(".")) continue;
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    const auto taille = it->file_size(e2);
    if (e2) continue;
    const auto date = it->last_write_time(e2);
    if (e2) continue;
    vus.push_back(p);
    auto [f, nouveau] = fichiers_.try_emplace(p);
    TEtat& s = f->second;
    if (nouveau || s.Taille != taille || s.Date != date) {
      s = {taille, date, maintenant, false};
      continue;
    }
    const double stable = std::chrono::duration<double>(maintenant - s.Depuis).count();
    if (!s.Complet && taille > 0 && stable >= stabilite_ && (!EstFITS(p) || taille % 2880 == 0)) {
      s.Complet = true;
      complets.push_back(p);
    }
  }
  // Files that went away are forgotten (a capture program may rename as it finishes).
  for (auto f = fichiers_.begin(); f != fichiers_.end();)
    f = std::find(vus.begin(), vus.end(), f->first) == vus.end() ? fichiers_.erase(f)
                                                                 : std::next(f);
  std::sort(complets.begin(), complets.end(), [&](const auto& a, const auto& b) {
    return fichiers_[a].Date != fichiers_[b].Date ? fichiers_[a].Date < fichiers_[b].Date : a < b;
  });

  std::vector<TPaireArrivee> paires;
  for (const auto& p : complets) {
    if (rendus_.count(p)) continue;
    const auto [cle, cote] = CleDePaire(p.filename().string());
    if (cote == 0 && !parOrdre_) continue;
    if (cote == 0) {
      enAttente_.push_back(p);
      if (enAttente_.size() == 2) {
        paires.push_back({enAttente_[0].stem().string() + "+" + enAttente_[1].stem().string(),
                          enAttente_[0], enAttente_[1]});
        for (const auto& q : enAttente_) rendus_.insert(q);
        enAttente_.clear();
      }
      continue;
    }
    // Its partner, complete and not yet handed over.
    for (const auto& [q, etat] : fichiers_) {
      if (!etat.Complet || q == p || rendus_.count(q)) continue;
      const auto [cleQ, coteQ] = CleDePaire(q.filename().string());
      if (cleQ != cle || coteQ == cote || coteQ == 0) continue;
      TPaireArrivee a;
      a.Nom = std::filesystem::path(cle).stem().string();
      a.Intra = cote == 1 ? p : q;
      a.Extra = cote == 1 ? q : p;
      rendus_.insert(p);
      rendus_.insert(q);
      paires.push_back(std::move(a));
      break;
    }
  }
  return paires;
}

// "M42_*_2130" → "M42_2130.qvt", never over an existing file.
std::filesystem::path CheminDuTest(const std::filesystem::path& dossier, const std::string& cle) {
  // The word "intra"/"extra" taken out with one of the separators around it.
  std::string nom;
  const auto separateur = [](char c) { return c == '_' || c == '-' || c == ' ' || c == '.'; };
  for (std::size_t i = 0; i < cle.size(); ++i) {
    const char c = cle[i];
    if (c == '*') {
      if (!nom.empty() && separateur(nom.back()) && i + 1 < cle.size() && separateur(cle[i + 1]))
        ++i;
      continue;
    }
    nom += (c == '/' || c == '\\') ? '_' : c;
  }
  if (nom.empty()) nom = "test";
  std::filesystem::path p = dossier / (nom + ExtensionTest);
  for (int k = 2; std::filesystem::exists(p); ++k)
    p = dossier / (nom + "-" + std::to_string(k) + ExtensionTest);
  return p;
}

}  // namespace quelvane
