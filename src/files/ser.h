#pragma once
// SER videos, the frame format of planetary cameras: a 178-byte header of little-endian 32-bit
// integers, the frames one after the other (top row first, no padding), then optionally one
// 64-bit timestamp per frame.

#include <cstdint>
#include <span>
#include <string>

namespace quelvane {

constexpr int TailleEnTeteSER = 178;

struct TEnTeteSER {
  std::int32_t LuID = 0;
  std::int32_t ColorID = 0;       // 0 mono, 8–19 colour mosaics, 100 RGB, 101 BGR
  std::int32_t LittleEndian = 0;  // as written: capture programs disagree on its meaning
  std::int32_t Largeur = 0;
  std::int32_t Hauteur = 0;
  std::int32_t Profondeur = 0;  // bits per sample and plane, 1 to 16
  std::int32_t NbImages = 0;
  std::string Observateur, Instrument, Telescope;
  std::int64_t Date = 0;     // 100 ns ticks since 1 January of year 1, local time
  std::int64_t DateUTC = 0;  // the same in UTC
};

// False, with the reason in French, when the bytes are not a SER header or describe frames no
// camera makes (sizes, depth or colour identifier out of range).
bool LireEnTeteSER(std::span<const std::byte> octets, TEnTeteSER& entete, std::string& raison);

// Whether the first bytes are those of a SER file ("LUCAM-RECORDER").
bool EstSER(std::span<const std::byte> debut);

// Samples per pixel (3 for RGB and BGR, else 1) and bytes per sample (1 up to 8 bits, else 2).
int PlansSER(const TEnTeteSER& e);
int OctetsSER(const TEnTeteSER& e);
// A colour mosaic (Bayer or CMY), one sample per pixel.
bool MosaiqueSER(const TEnTeteSER& e);

// A SER timestamp (100 ns ticks since 1 January of year 1) as an ISO 8601 date
// "2026-12-08T21:04:05.123"; empty for 0 or a value outside years 1900–2200.
std::string DateSER(std::int64_t ticks);

}  // namespace quelvane
