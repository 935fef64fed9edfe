#include "files/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace quelvane {

namespace {

// libjpeg's default error_exit calls exit(): this one jumps back to the caller, keeping the
// message; warnings are counted (a premature end of the data is only a warning).
struct TErreurJPEG {
  jpeg_error_mgr Gestionnaire;
  std::jmp_buf Retour;
  char Message[JMSG_LENGTH_MAX];
  int Avertissements;
};

void SortieErreur(j_common_ptr c) {
  auto* e = reinterpret_cast<TErreurJPEG*>(c->err);
  (*c->err->format_message)(c, e->Message);
  std::longjmp(e->Retour, 1);
}

void Message(j_common_ptr c, int niveau) {
  auto* e = reinterpret_cast<TErreurJPEG*>(c->err);
  if (niveau < 0) {
    if (e->Avertissements++ == 0) (*c->err->format_message)(c, e->Message);
  }
}

void Installer(TErreurJPEG& e, jpeg_error_mgr*& err) {
  err = jpeg_std_error(&e.Gestionnaire);
  e.Gestionnaire.error_exit = SortieErreur;
  e.Gestionnaire.emit_message = Message;
  e.Message[0] = '\0';
  e.Avertissements = 0;
}

constexpr int MaxBalayages = 1000;

// What the decoder leaves: plain data only, so that the longjmp skips no destructor.
struct TDecodage {
  int Largeur, Hauteur, Composantes;
  const char* Refus;  // a reason of ours, or null
};

// A progressive file of endless tiny scans would keep the decoder busy inside
// jpeg_start_decompress: the progress hook stops it there.
struct TSuivi {
  jpeg_progress_mgr Gestionnaire;
  TErreurJPEG* Erreur;
  TDecodage* Decodage;
};

void Suivre(j_common_ptr c) {
  auto* s = reinterpret_cast<TSuivi*>(c->progress);
  if (c->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > MaxBalayages) {
    s->Decodage->Refus = "image progressive de trop nombreux balayages";
    std::longjmp(s->Erreur->Retour, 1);
  }
}

bool Decoder(const unsigned char* donnees, unsigned long taille, TErreurJPEG& erreur, TDecodage& d,
             std::vector<std::uint8_t>& pixels) {
  jpeg_decompress_struct c;
  Installer(erreur, c.err);
  d.Refus = nullptr;
  TSuivi suivi{};
  suivi.Gestionnaire.progress_monitor = Suivre;
  suivi.Erreur = &erreur;
  suivi.Decodage = &d;
  if (setjmp(erreur.Retour)) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  jpeg_create_decompress(&c);
  c.progress = &suivi.Gestionnaire;
  jpeg_mem_src(&c, donnees, taille);
  jpeg_read_header(&c, TRUE);
  // Every 8 × 8 block of the first component costs at least a bit: a file shorter than that
  // cannot hold the picture it announces, and is refused before the decoder allocates for it.
  const unsigned long long blocs =
      (static_cast<unsigned long long>(c.image_width) + 7) / 8 * ((c.image_height + 7ULL) / 8);
  if (static_cast<long long>(c.image_width) * c.image_height > MaxPixelsJPEG) {
    d.Refus = "image trop grande";
  } else if (taille < blocs / 8) {
    d.Refus = "image JPEG tronquée : le fichier est trop court pour l'image qu'il annonce";
  } else if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) {
    d.Refus =
        "image CMJN (quadrichromie) : seules les images en couleurs RVB ou en gris sont prises";
  }
  if (d.Refus) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  c.out_color_space = c.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_calc_output_dimensions(&c);
  d.Largeur = static_cast<int>(c.output_width);
  d.Hauteur = static_cast<int>(c.output_height);
  d.Composantes = c.output_components;
  pixels.resize(static_cast<std::size_t>(d.Largeur) * d.Hauteur * d.Composantes);
  jpeg_start_decompress(&c);
  while (c.output_scanline < c.output_height) {
    JSAMPROW ligne =
        pixels.data() + static_cast<std::size_t>(c.output_scanline) * d.Largeur * d.Composantes;
    jpeg_read_scanlines(&c, &ligne, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return true;
}

bool Coder(const std::uint8_t* rgb, int largeur, int hauteur, int qualite, TErreurJPEG& erreur,
           unsigned char*& sortie, unsigned long& taille) {
  jpeg_compress_struct c;
  Installer(erreur, c.err);
  if (setjmp(erreur.Retour)) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &sortie, &taille);
  c.image_width = static_cast<JDIMENSION>(largeur);
  c.image_height = static_cast<JDIMENSION>(hauteur);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, qualite, TRUE);  // baseline: no progression asked for
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    auto ligne =
        const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(c.next_scanline) * largeur * 3);
    jpeg_write_scanlines(&c, &ligne, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

}  // namespace

std::string CoderJPEG(std::span<const std::uint8_t> rgb, int largeur, int hauteur, int qualite) {
  if (largeur <= 0 || hauteur <= 0 || largeur > 65500 || hauteur > 65500 ||
      rgb.size() < static_cast<std::size_t>(largeur) * hauteur * 3)
    throw std::runtime_error("Image vide ou trop grande pour le format JPEG");
  TErreurJPEG erreur;
  unsigned char* sortie = nullptr;
  unsigned long taille = 0;
  const bool ok = Coder(rgb.data(), largeur, hauteur, qualite, erreur, sortie, taille);
  std::string fichier;
  if (ok) fichier.assign(reinterpret_cast<const char*>(sortie), taille);
  std::free(sortie);
  if (!ok) throw std::runtime_error(std::string("Codage JPEG impossible : ") + erreur.Message);
  return fichier;
}

TImageJPEG DecoderJPEG(std::span<const std::byte> octets) {
  TImageJPEG image;
  if (octets.size() < 3 || std::to_integer<int>(octets[0]) != 0xFF ||
      std::to_integer<int>(octets[1]) != 0xD8) {
    image.Erreur = octets.empty() ? "fichier vide" : "ce n'est pas une image JPEG";
    return image;
  }
  TErreurJPEG erreur;
  TDecodage d{};
  std::vector<std::uint8_t> pixels;
  const bool ok = Decoder(reinterpret_cast<const unsigned char*>(octets.data()),
                          static_cast<unsigned long>(octets.size()), erreur, d, pixels);
  if (!ok) {
    image.Erreur = d.Refus ? d.Refus : std::string("image JPEG illisible : ") + erreur.Message;
  } else if (erreur.Avertissements > 0) {
    image.Erreur = std::string("image JPEG incomplète ou abîmée : ") + erreur.Message;
  } else {
    image.Largeur = d.Largeur;
    image.Hauteur = d.Hauteur;
    image.Composantes = d.Composantes;
    image.Pixels = std::move(pixels);
  }
  return image;
}

TImageJPEG LireJPEG(const std::string& chemin) {
  // Even uncompressed, the largest picture accepted holds 3 bytes a pixel: a larger file is not
  // read into memory.
  std::error_code ec;
  if (const auto taille = std::filesystem::file_size(chemin, ec);
      !ec && taille > static_cast<std::uintmax_t>(3 * MaxPixelsJPEG)) {
    TImageJPEG image;
    image.Erreur = "fichier trop grand pour une image JPEG : " + chemin;
    return image;
  }
  std::ifstream f(chemin, std::ios::binary);
  if (!f) {
    TImageJPEG image;
    image.Erreur = "fichier introuvable ou illisible : " + chemin;
    return image;
  }
  const std::vector<char> octets((std::istreambuf_iterator<char>(f)), {});
  return DecoderJPEG(std::as_bytes(std::span(octets)));
}

}  // namespace quelvane
