#pragma once
// A file opened for reading at any position, from several threads at once (each read names its
// own position), so that the frames of a video can be read one at a time, in any order.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quelvane {

class TFichierBinaire {
 public:
  explicit TFichierBinaire(const std::string& chemin);
  ~TFichierBinaire();
  TFichierBinaire(const TFichierBinaire&) = delete;
  TFichierBinaire& operator=(const TFichierBinaire&) = delete;

  bool Ouvert() const { return fd_ >= 0; }
  // Why it could not be opened (the system's reason, in French where it has one).
  const std::string& Erreur() const { return erreur_; }
  std::uint64_t Taille() const { return taille_; }
  // Exactly `n` bytes from `position`; false when the file holds fewer or the read fails.
  bool Lire(std::uint64_t position, std::size_t n, void* destination) const;

 private:
  int fd_ = -1;
  std::uint64_t taille_ = 0;
  std::string erreur_;
};

}  // namespace quelvane
