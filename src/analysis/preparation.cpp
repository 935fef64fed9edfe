#include "analysis/preparation.h"

namespace quelvane {

bool PreparerImage(TPupille& image, const TkwValue& prefs, bool extraFocale) {
  if (image.NX < TailleImageMin || image.NY < TailleImageMin) return false;
  image.SeuilAutomatique(prefs.ExtractDim, prefs.ExtractSeuil);
  image.TrouverPupille();
  image.AxesPupille();
  image.MinMax();
  image.SeuilBas = image.Mini;
  image.SeuilHaut = image.Maxi;
  image.Contraste = 1;
  if (extraFocale) {
    // The centre found above is not mirrored: the reconstruction finds it again.
    image.Symetrie180();
    image.Role = RoleExtra;
  } else {
    image.Role = RoleIntra;
  }
  return true;
}

std::shared_ptr<TPupille> CopieImage(const TPupille& source) {
  auto p = std::make_shared<TPupille>();
  p->Allouer(source.NX, source.NY);
  p->CopierPupille(source);
  return p;
}

}  // namespace quelvane
