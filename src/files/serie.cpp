#include "files/serie.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "files/fichier_binaire.h"
#include "files/fits.h"
#include "files/ser.h"
#include "files/utf8.h"

namespace quelvane {

std::string ImagesLuesSurAnnoncees(int lues, int annoncees) {
  return std::to_string(lues) + " images lues sur " + std::to_string(annoncees) + " annoncées";
}

void LuminanceMosaique(TGrilleReelle& g) {
  const int ny = g.Lignes(), nx = g.Colonnes();
  if (nx < 2 || ny < 2) return;
  std::vector<double> precedente(g.Ligne(ny - 2), g.Ligne(ny - 2) + nx);  // as read
  for (int r = 0; r < ny; ++r) {
    double* l = g.Ligne(r);
    const double* s = r + 1 < ny ? g.Ligne(r + 1) : precedente.data();
    if (r == ny - 2) std::copy(l, l + nx, precedente.begin());
    const double avantDerniere = l[nx - 2];
    for (int c = 0; c + 1 < nx; ++c) l[c] = 0.25 * (l[c] + l[c + 1] + s[c] + s[c + 1]);
    l[nx - 1] = 0.25 * (l[nx - 1] + avantDerniere + s[nx - 1] + s[nx - 2]);
  }
}

namespace {

std::string NomCourt(const std::string& chemin) {
  return EnUtf8(std::filesystem::path(chemin).filename().string());
}

// A buffer per thread for the bytes of one frame, kept from frame to frame.
std::vector<std::byte>& Tampon(std::size_t octets) {
  thread_local std::vector<std::byte> tampon;
  if (tampon.size() < octets) tampon.resize(octets);
  return tampon;
}

// One file's frames.
class TSource {
 public:
  virtual ~TSource() = default;
  std::string Chemin;
  int Largeur = 0, Hauteur = 0;
  int Annoncees = 0, Nombre = 0;
  bool Mosaique = false;
  virtual void Lire(int k, TGrilleReelle& g) const = 0;
  virtual std::string Date(int k) const = 0;
};

// ---------------------------------------------------------------- SER

class TSourceSER final : public TSource {
 public:
  TSourceSER(std::string chemin, TDescriptionSerie& d) : fichier_(chemin) {
    Chemin = std::move(chemin);
    if (!fichier_.Ouvert()) throw ErreurSerie(fichier_.Erreur());
    std::array<std::byte, TailleEnTeteSER> octets{};
    std::string raison;
    if (fichier_.Taille() < TailleEnTeteSER || !fichier_.Lire(0, octets.size(), octets.data()))
      throw ErreurSerie("fichier SER plus court que son en-tête de 178 octets");
    if (!LireEnTeteSER(octets, e_, raison)) throw ErreurSerie(raison);
    Largeur = e_.Largeur;
    Hauteur = e_.Hauteur;
    Mosaique = MosaiqueSER(e_);
    plans_ = PlansSER(e_);
    octetsEchantillon_ = OctetsSER(e_);
    octetsImage_ = static_cast<std::uint64_t>(Largeur) * Hauteur * plans_ * octetsEchantillon_;
    Annoncees = e_.NbImages;
    const std::uint64_t place = fichier_.Taille() - TailleEnTeteSER;
    const std::uint64_t entieres = place / octetsImage_;
    Nombre =
        static_cast<int>(std::min<std::uint64_t>(entieres, static_cast<std::uint64_t>(Annoncees)));
    if (Annoncees == 0) throw ErreurSerie("la vidéo ne contient aucune image");
    if (Nombre == 0)
      throw ErreurSerie("aucune image entière dans le fichier (" +
                        ImagesLuesSurAnnoncees(0, Annoncees) + ")");
    if (Nombre < Annoncees)
      d.Avertissements.push_back(NomCourt(Chemin) + " : " +
                                 ImagesLuesSurAnnoncees(Nombre, Annoncees) + " (fichier tronqué)");
    LireHorodatages();
    if (octetsEchantillon_ == 2) DeciderOrdreOctets(d);
    pleineEchelle_ = std::ldexp(1.0, e_.Profondeur) - 1;
    if (octetsEchantillon_ == 2 && !alignesBas_) pleineEchelle_ = 65535;
  }

  void Decrire(TDescriptionSerie& d) const {
    d.Format = "SER";
    d.Profondeur = e_.Profondeur;
    d.PleineEchelle = pleineEchelle_;
    d.Infos.Largeur = Largeur;
    d.Infos.Hauteur = Hauteur;
    d.Infos.NbAxes = 2;
    d.Infos.Bitpix = octetsEchantillon_ * 8;
    d.Infos.Observateur = e_.Observateur.substr(0, 80);
    d.Infos.Instrument = e_.Instrument.substr(0, 80);
    d.Infos.Telescope = e_.Telescope.substr(0, 80);
    d.Infos.DateObs = DateSER(e_.DateUTC != 0 ? e_.DateUTC : e_.Date);
  }

  void Lire(int k, TGrilleReelle& g) const override {
    auto& tampon = Tampon(octetsImage_);
    if (!fichier_.Lire(TailleEnTeteSER + static_cast<std::uint64_t>(k) * octetsImage_, octetsImage_,
                       tampon.data()))
      throw ErreurSerie("lecture impossible");
    g.AllouerSansInit(1, Hauteur, Largeur);
    const auto* o = reinterpret_cast<const unsigned char*>(tampon.data());
    const std::size_t n = static_cast<std::size_t>(Largeur) * Hauteur * plans_;
    // Samples first (one loop per storage, which the compiler vectorises), then the planes.
    double* v = g.Ligne(0);
    std::vector<double> couleurs;
    if (plans_ > 1) {
      couleurs.resize(n);
      v = couleurs.data();
    }
    if (octetsEchantillon_ == 1)
      for (std::size_t i = 0; i < n; ++i) v[i] = o[i];
    else if (petitBoutiste_)
      for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned>(o[2 * i + 1] << 8 | o[2 * i]);
    else
      for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned>(o[2 * i] << 8 | o[2 * i + 1]);
    if (plans_ > 1) {
      double* l = g.Ligne(0);
      for (std::size_t i = 0; i < n / 3; ++i) l[i] = (v[3 * i] + v[3 * i + 1] + v[3 * i + 2]) / 3;
    }
    if (Mosaique) LuminanceMosaique(g);
  }

  std::string Date(int k) const override {
    if (k < static_cast<int>(horodatages_.size())) {
      const std::string d = DateSER(horodatages_[static_cast<std::size_t>(k)]);
      if (!d.empty()) return d;
    }
    return DateSER(e_.DateUTC != 0 ? e_.DateUTC : e_.Date);
  }

 private:
  // The trailer: one 64-bit little-endian timestamp per announced frame, after the frames.
  void LireHorodatages() {
    const std::uint64_t debut =
        TailleEnTeteSER + static_cast<std::uint64_t>(Annoncees) * octetsImage_;
    const std::uint64_t octets = 8ULL * static_cast<std::uint64_t>(Annoncees);
    if (Nombre < Annoncees || Annoncees > 10'000'000 || fichier_.Taille() < debut + octets) return;
    std::vector<std::byte> t(octets);
    if (!fichier_.Lire(debut, octets, t.data())) return;
    horodatages_.resize(static_cast<std::size_t>(Annoncees));
    for (std::size_t i = 0; i < horodatages_.size(); ++i) {
      std::uint64_t v = 0;
      for (int b = 7; b >= 0; --b) v = (v << 8) | std::to_integer<std::uint64_t>(t[8 * i + b]);
      horodatages_[i] = static_cast<std::int64_t>(v);
    }
  }

  // Capture programs write the LittleEndian flag both ways. The right order keeps the samples
  // within the announced depth when the data sit in the low bits, and in any case gives the
  // smoother picture: the low byte carries the noise, which read as the high byte jumps by
  // hundreds between neighbours.
  void DeciderOrdreOctets(TDescriptionSerie& d) {
    auto& tampon = Tampon(octetsImage_);
    if (!fichier_.Lire(TailleEnTeteSER, octetsImage_, tampon.data()))
      throw ErreurSerie("lecture impossible de la première image");
    const auto* o = reinterpret_cast<const unsigned char*>(tampon.data());
    const std::size_t n = octetsImage_ / 2;
    const double maximum = std::ldexp(1.0, e_.Profondeur) - 1;
    long depassePetit = 0, depasseGrand = 0;
    double variationPetit = 0, variationGrand = 0;
    unsigned precedentPetit = 0, precedentGrand = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned a = o[2 * i], b = o[2 * i + 1];
      const unsigned petit = b << 8 | a, grand = a << 8 | b;
      depassePetit += petit > maximum;
      depasseGrand += grand > maximum;
      if (i % static_cast<std::size_t>(Largeur * plans_) != 0) {
        variationPetit += std::abs(static_cast<double>(petit) - precedentPetit);
        variationGrand += std::abs(static_cast<double>(grand) - precedentGrand);
      }
      precedentPetit = petit, precedentGrand = grand;
    }
    std::string pourquoi;
    if (depassePetit == 0 && depasseGrand > 0) {
      petitBoutiste_ = true;
      pourquoi = "seul cet ordre garde les valeurs sur " + std::to_string(e_.Profondeur) + " bits";
    } else if (depasseGrand == 0 && depassePetit > 0) {
      petitBoutiste_ = false;
      pourquoi = "seul cet ordre garde les valeurs sur " + std::to_string(e_.Profondeur) + " bits";
    } else if (variationPetit != variationGrand) {
      petitBoutiste_ = variationPetit < variationGrand;
      pourquoi = "l'image est la plus régulière dans cet ordre";
    } else {
      petitBoutiste_ = true;
      pourquoi =
          "les données ne départagent pas les deux ordres : celui qu'écrivent la plupart "
          "des logiciels";
    }
    alignesBas_ = (petitBoutiste_ ? depassePetit : depasseGrand) == 0;
    d.OrdreOctets = std::string(petitBoutiste_ ? "petit-boutiste" : "gros-boutiste") +
                    " (indicateur LittleEndian = " + std::to_string(e_.LittleEndian) +
                    ") : " + pourquoi;
  }

  TFichierBinaire fichier_;
  TEnTeteSER e_;
  int plans_ = 1, octetsEchantillon_ = 1;
  std::uint64_t octetsImage_ = 0;
  bool petitBoutiste_ = true, alignesBas_ = true;
  double pleineEchelle_ = 0;
  std::vector<std::int64_t> horodatages_;
};

// ---------------------------------------------------------------- FITS

class TSourceFITS final : public TSource {
 public:
  TSourceFITS(std::string chemin, TDescriptionSerie& d) : fichier_(chemin) {
    Chemin = std::move(chemin);
    if (!fichier_.Ouvert()) throw ErreurSerie(fichier_.Erreur());
    std::string raison;
    if (!LireEnTeteFITS(Chemin, tailleEnTete_, infos_, &raison)) throw ErreurSerie(raison);
    switch (infos_.Bitpix) {
      case 8: octets_ = 1; break;
      case 16: octets_ = 2; break;
      case 32:
      case -32: octets_ = 4; break;
      case 64:
      case -64: octets_ = 8; break;
      default: throw ErreurSerie("BITPIX " + std::to_string(infos_.Bitpix) + " non pris en charge");
    }
    if (infos_.NbAxes < 2 || infos_.NbAxes > 3)
      throw ErreurSerie("image à " + std::to_string(infos_.NbAxes) + " axes (NAXIS) : non lue");
    if (infos_.BScale == 0) throw ErreurSerie("BSCALE nul");
    Largeur = infos_.Largeur;
    Hauteur = infos_.Hauteur;
    if (Largeur <= 0 || Hauteur <= 0 ||
        static_cast<long long>(Largeur) * Hauteur > MaxEchantillonsFITS)
      throw ErreurSerie("dimensions invalides (NAXIS1 " + std::to_string(Largeur) + ", NAXIS2 " +
                        std::to_string(Hauteur) + ")");
    Annoncees = 1;
    if (infos_.NbAxes == 3) {
      if (infos_.NbPlans <= 0) throw ErreurSerie("NAXIS3 nul ou absent");
      // Three planes: the colours of one image, of which the first is read, as for an image.
      if (infos_.NbPlans != 3) Annoncees = infos_.NbPlans;
    }
    octetsImage_ = static_cast<std::uint64_t>(Largeur) * Hauteur * octets_;
    const std::uint64_t place =
        fichier_.Taille() - std::min<std::uint64_t>(fichier_.Taille(), tailleEnTete_);
    Nombre = static_cast<int>(
        std::min<std::uint64_t>(place / octetsImage_, static_cast<std::uint64_t>(Annoncees)));
    if (Nombre == 0) throw ErreurSerie("données tronquées : pas une image entière après l'en-tête");
    if (Nombre < Annoncees)
      d.Avertissements.push_back(NomCourt(Chemin) + " : " +
                                 ImagesLuesSurAnnoncees(Nombre, Annoncees) + " (fichier tronqué)");
    Mosaique = !infos_.Mosaique.empty() && infos_.NbPlans != 3;
  }

  void Decrire(TDescriptionSerie& d) const {
    d.Format = "FITS";
    d.Profondeur = infos_.Bitpix;
    d.Infos = infos_;
    d.PoseSecondes = infos_.PoseSecondes;
    // The largest stored value, as read.
    d.PleineEchelle = PleineEchelleFITS(infos_);
  }

  void Lire(int k, TGrilleReelle& g) const override {
    auto& tampon = Tampon(octetsImage_);
    if (!fichier_.Lire(static_cast<std::uint64_t>(tailleEnTete_) +
                           static_cast<std::uint64_t>(k) * octetsImage_,
                       octetsImage_, tampon.data()))
      throw ErreurSerie("lecture impossible");
    g.AllouerSansInit(1, Hauteur, Largeur);
    for (int r = 0; r < Hauteur; ++r) {
      // BOTTOM-UP files store the bottom row first; row 1 is the top.
      const int rr = infos_.LignesDeBasEnHaut ? Hauteur - 1 - r : r;
      ConvertirEchantillonsFITS(tampon.data() + static_cast<std::size_t>(r) * Largeur * octets_,
                                static_cast<std::size_t>(Largeur), infos_, g.Ligne(rr));
    }
    if (Mosaique) LuminanceMosaique(g);
  }

  std::string Date(int) const override { return infos_.DateObs; }

 private:
  TFichierBinaire fichier_;
  TImgInfos infos_;
  int tailleEnTete_ = 0, octets_ = 0;
  std::uint64_t octetsImage_ = 0;
};

// ---------------------------------------------------------------- several files

bool DebutSER(const std::string& chemin) {
  TFichierBinaire f(chemin);
  std::array<std::byte, 14> debut{};
  return f.Ouvert() && f.Lire(0, debut.size(), debut.data()) && EstSER(debut);
}

class TSerieFichiers final : public TSerieImages {
 public:
  explicit TSerieFichiers(const std::vector<std::string>& fichiers) {
    TDescriptionSerie& d = description_;
    std::string refus;
    for (const std::string& chemin : fichiers) {
      try {
        std::unique_ptr<TSource> s;
        TDescriptionSerie locale;
        if (DebutSER(chemin)) {
          auto ser = std::make_unique<TSourceSER>(chemin, locale);
          if (sources_.empty()) ser->Decrire(d);
          s = std::move(ser);
        } else {
          auto fits = std::make_unique<TSourceFITS>(chemin, locale);
          if (sources_.empty()) fits->Decrire(d);
          s = std::move(fits);
        }
        if (!sources_.empty() &&
            (s->Largeur != sources_[0]->Largeur || s->Hauteur != sources_[0]->Hauteur))
          throw ErreurSerie(
              "Images de tailles différentes dans la série : " + NomCourt(sources_[0]->Chemin) +
              " (" + Taille(*sources_[0]) + ") et " + NomCourt(chemin) + " (" + Taille(*s) + ")");
        if (d.OrdreOctets.empty()) d.OrdreOctets = locale.OrdreOctets;
        for (std::string& a : locale.Avertissements) d.Avertissements.push_back(std::move(a));
        sources_.push_back(std::move(s));
      } catch (const ErreurSerie& e) {
        const std::string m = e.what();
        if (m.rfind("Images de tailles différentes", 0) == 0) throw;
        // One file among several is skipped; a single file, or none readable, is refused.
        if (fichiers.size() == 1)
          throw ErreurSerie("Lecture impossible de " + NomCourt(chemin) + " : " + m);
        d.Avertissements.push_back("Fichier ignoré : " + NomCourt(chemin) + " (" + m + ")");
        if (refus.empty()) refus = NomCourt(chemin) + " : " + m;
      }
    }
    if (sources_.empty())
      throw ErreurSerie("Aucun fichier lisible dans la série" +
                        (refus.empty() ? std::string() : " (" + refus + ")"));
    d.Largeur = sources_[0]->Largeur;
    d.Hauteur = sources_[0]->Hauteur;
    d.Mosaique = sources_[0]->Mosaique;
    // Counts a header may announce near the largest int: their sum is held there rather than
    // overflowing.
    constexpr long long Plafond = std::numeric_limits<int>::max();
    for (const auto& s : sources_) {
      debuts_.push_back(d.Nombre);
      if (d.Nombre > Plafond - s->Nombre)
        throw ErreurSerie("Série trop longue : plus de " + std::to_string(Plafond) + " images.");
      d.Nombre += s->Nombre;
      d.Annoncees = static_cast<int>(std::min(Plafond, 0LL + d.Annoncees + s->Annoncees));
      d.Fichiers.push_back(s->Chemin);
    }
  }

  void Lire(int k, TGrilleReelle& g) const override {
    const auto [s, i] = Situer(k);
    try {
      s->Lire(i, g);
    } catch (const ErreurSerie& e) {
      throw ErreurSerie(std::string(e.what()) + " : " + NomImage(k));
    }
  }

  std::string NomImage(int k) const override {
    const auto [s, i] = Situer(k);
    return NomCourt(s->Chemin) + (s->Annoncees > 1 ? ", image " + std::to_string(i + 1) : "");
  }

  std::string Date(int k) const override {
    const auto [s, i] = Situer(k);
    return s->Date(i);
  }

 private:
  static std::string Taille(const TSource& s) {
    return std::to_string(s.Largeur) + " × " + std::to_string(s.Hauteur);
  }
  std::pair<const TSource*, int> Situer(int k) const {
    if (k < 0 || k >= description_.Nombre)
      throw ErreurSerie("image " + std::to_string(k + 1) + " hors de la série");
    const auto it = std::upper_bound(debuts_.begin(), debuts_.end(), k) - 1;
    const auto i = static_cast<std::size_t>(it - debuts_.begin());
    return {sources_[i].get(), k - *it};
  }
  std::vector<std::unique_ptr<TSource>> sources_;
  std::vector<int> debuts_;
};

}  // namespace

std::unique_ptr<TSerieImages> OuvrirSerie(const std::vector<std::string>& fichiers) {
  if (fichiers.empty()) throw ErreurSerie("Aucun fichier dans la série");
  return std::make_unique<TSerieFichiers>(fichiers);
}

bool EstUneSerie(const std::string& fichier) {
  if (DebutSER(fichier)) return true;
  int taille = 0;
  TImgInfos infos;
  return LireEnTeteFITS(fichier, taille, infos) && infos.NbAxes == 3 && infos.NbPlans != 3 &&
         infos.NbPlans > 1;
}

}  // namespace quelvane
