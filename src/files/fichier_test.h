#pragma once
// The test file: a whole test kept to be opened again, averaged, compared or followed over a
// night. One UTF-8 JSON document (format "quelvane-test", version 1, described in
// doc/format-test.md): what gave the figures (parameters, preferences, the source images'
// names and SHA-256, capture time, the optic's rotation on its cell, the program's version),
// the figures, and the wavefront maps themselves (the test's and its variants'), exact to the
// bit, so that opening it gives the same figures to the last decimal.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/pupille.h"

namespace quelvane {

constexpr int VersionFichierTest = 1;
// Extension of the files the windows offer ("Test Quelvane (*.qvt)").
constexpr const char* ExtensionTest = ".qvt";

struct ErreurFichierTest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TSourceImage {
  std::string Cote;     // "intra" or "extra"
  std::string Fichier;  // as given (several for a series)
  std::uintmax_t Octets = 0;
  std::string Sha256;  // empty when the file could not be read
};

// A test of an average, as it went in.
struct TTestComposant {
  std::string Fichier, DateObs;
  double RotationDeg = 0;
};

// A term that stayed with the test stand when the optic was turned (un-normalised nm).
struct TTermeBanc {
  int J = 0;
  double ValeurNm = 0, EcartNm = 0;
};

struct TTestEnregistre {
  std::string Nature = "test";  // "test", "moyenne" or "difference"
  std::string Programme;        // "Quelvane 3.0"
  std::string DateObs;          // ISO 8601, UTC when the camera said so; may be empty
  double RotationDeg = 0;       // the optic on its cell, counter-clockwise as displayed
  int TypePolynomes = 0;        // PolyMahajan or PolyZernike
  int NbTermes = 0;
  nlohmann::ordered_json Parametres = nlohmann::ordered_json::object();
  nlohmann::ordered_json Preparation = nlohmann::ordered_json::object();
  std::vector<std::string> Preferences;  // the Prefs.txt lines in force
  std::vector<TSourceImage> Sources;
  std::vector<TTestComposant> Composition;  // an average's or a difference's tests
  std::vector<TTermeBanc> TermesBanc;
  std::string NoteSeparation;  // what the angles could and could not separate
  // The wavefront with its coefficients, selection and variants (its ±).
  TPupille Front;
};

const char* VersionProgramme();

// The document; figures beside the maps are for readers, the maps are what counts.
std::string TexteTest(const TTestEnregistre& test);
// Throws ErreurFichierTest with a French message naming what is wrong.
TTestEnregistre LireTest(std::string_view texte);
// Atomic; throws ErreurEcriture.
void EnregistrerTest(const TTestEnregistre& test, const std::string& chemin);
// Throws ErreurFichierTest (unreadable, too large, damaged, another version).
TTestEnregistre OuvrirTest(const std::string& chemin);
// Whether the text looks like a test file rather than an OPD export (for the subcommands that
// read either).
bool RessembleAUnTest(std::string_view debut);

// Where a source image lies now: the checksum of the file at its path, compared. Empty when
// it is there and the same; else a French sentence.
std::string VerifierSource(const TSourceImage& source);

}  // namespace quelvane
