#pragma once
// FITS files the program writes: a stacked image, as 32-bit floating-point samples with the
// header that says what it is made of.

#include <string>
#include <utility>
#include <vector>

#include "core/grille.h"

namespace quelvane {

// One header card: the keyword and its value as FITS writes it (a string quoted with its
// quotes doubled, a number as it stands), and an optional comment.
struct TCarte {
  std::string Nom, Valeur, Commentaire;
};
TCarte CarteTexte(const std::string& nom, const std::string& texte,
                  const std::string& commentaire = "");
TCarte CarteNombre(const std::string& nom, double valeur, const std::string& commentaire = "");
TCarte CarteEntier(const std::string& nom, long long valeur, const std::string& commentaire = "");

// The whole file: SIMPLE, BITPIX = −32, NAXIS 2, the cards, END; the samples row by row from
// the top, big-endian, padded to blocks of 2880 bytes. Texts beyond a card are cut.
std::string TexteFITSReel(const TGrilleReelle& image, const std::vector<TCarte>& cartes);

}  // namespace quelvane
