#pragma once
// How every window test starts and ends: the program's globals at their defaults, scripted
// dialogs installed, a main window whose preferences live in the test's folder.

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSpinBox>
#include <memory>

#include "core/regional.h"
#include "core/zernike.h"
#include "settings/parametres.h"
#include "settings/preferences.h"
#include "support/dialogues_scriptes.h"
#include "ui/dialogue_parametres.h"
#include "ui/fenetre_principale.h"

namespace quelvane::essais {

inline void RemettreLesGlobales() {
  Preferences = TPreferences{};
  ParametresTest = ParametresInitiaux;
  ParametresSimulation = {};
  InitZernike(Preferences.NPolyZern, Preferences.ModePoly);
  DefinirSeparateurDecimal('.');
}

// The scripted dialogs, answering Yes to every question unless told otherwise.
inline std::unique_ptr<TDialoguesInstalles> InstallerDialogues(TDialoguesScriptes*& d,
                                                               bool oui = true) {
  auto installes = std::make_unique<TDialoguesInstalles>();
  d = &installes->Dialogues;
  d->ReponseParDefaut = oui;
  return installes;
}

inline std::unique_ptr<TMainForm> FenetrePrincipale(const QString& prefs) {
  auto f = std::make_unique<TMainForm>(prefs);
  f->show();
  return f;
}

// Windows first (they may still ask the dialogs), then what they left to delete, then the dialogs.
inline void Demonter(std::unique_ptr<TMainForm>& f, std::unique_ptr<TDialoguesInstalles>& d) {
  f.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  d.reset();
  DefinirSeparateurDecimal('.');
}

// The image window of that caption, if one is open.
inline TForm1* FenetreNommee(const TMainForm& f, const QString& legende) {
  for (TForm1* w : f.Fenetres())
    if (w->windowTitle() == legende) return w;
  return nullptr;
}

// The demonstration pair's instrument (200 mm f/5, 5.2 µm pixels) entered and confirmed;
// mode 0 simple, 1 three colours.
inline void SaisirParametresEchantillon(TFormParam& p, int mode = 0) {
  p.PreparerAffichage();
  p.ComboBoxMode->setCurrentIndex(mode);
  p.SpinEditDiametre->setValue(200);
  p.SpinEditFocale->setValue(1000);
  p.EditPixel->setText("5.2");
  p.AfficherRayons();
  p.CalculerDefocalisation();
  p.Valider();
}

}  // namespace quelvane::essais
