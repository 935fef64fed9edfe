#pragma once
// What a long computation tells whoever shows its progress (the progress window, a text bar
// on a terminal, or nothing at all in tests), and how it learns that the user cancelled.

#include <atomic>
#include <stdexcept>
#include <string>

namespace quelvane {

class IProgression {
 public:
  virtual ~IProgression() = default;
  // `pas` is how far one step advances the bar (0 to 100).
  virtual void Demarrer(const std::string& titre, int pas) = 0;
  virtual void Avancer() = 0;
  virtual void Terminer() = 0;  // the bar at its end
  virtual void Masquer() = 0;
  // Whether the user asked to stop: the computation then throws ErreurAnnulation at its next
  // step, leaving what it was given as it was.
  virtual bool Annulee() const { return false; }
};

// A computation stopped at the user's request.
struct ErreurAnnulation : std::runtime_error {
  ErreurAnnulation() : std::runtime_error("Calcul annulé") {}
};

inline void VerifierAnnulation(const IProgression& p) {
  if (p.Annulee()) throw ErreurAnnulation();
}

class TSansProgression final : public IProgression {
 public:
  void Demarrer(const std::string&, int) override {}
  void Avancer() override {}
  void Terminer() override {}
  void Masquer() override {}
};

}  // namespace quelvane
