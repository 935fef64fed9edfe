#pragma once
// Fingerprints and binary text: SHA-256 of files and blocks, base64 for data kept inside a
// text file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quelvane {

// Lower-case hexadecimal SHA-256 of the bytes.
std::string Sha256(std::string_view octets);
// Of a whole file, read by blocks; nullopt when it cannot be read.
std::optional<std::string> Sha256Fichier(const std::string& chemin);

std::string EnBase64(std::string_view octets);
// nullopt on a character outside the alphabet or a length that is not a multiple of 4.
std::optional<std::string> DepuisBase64(std::string_view texte);

}  // namespace quelvane
