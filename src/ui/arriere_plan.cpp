#include "ui/arriere_plan.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <exception>
#include <thread>

#include "ui/aide.h"

namespace quelvane {

namespace {

// The progress the worker reports, passed on to the window on the interface thread.
class TProgressionRelayee final : public IProgression {
 public:
  explicit TProgressionRelayee(TFormProgress& f) : f_(&f) {}
  void Demarrer(const std::string& titre, int pas) override {
    Relayer([f = f_, titre, pas] { f->Demarrer(titre, pas); });
  }
  void Avancer() override {
    Relayer([f = f_] { f->Avancer(); });
  }
  void Terminer() override {
    Relayer([f = f_] { f->Terminer(); });
  }
  void Masquer() override {}  // the window goes when the work is over
  bool Annulee() const override { return f_->Annulee(); }

 private:
  template <class F>
  void Relayer(F&& f) {
    QMetaObject::invokeMethod(f_, std::forward<F>(f), Qt::QueuedConnection);
  }
  TFormProgress* f_;
};

}  // namespace

bool ExecuterEnArrierePlan(TFormProgress& fenetre,
                           const std::function<void(IProgression&)>& travail) {
  fenetre.DebutArrierePlan();
  TProgressionRelayee relais(fenetre);
  QEventLoop boucle;
  std::exception_ptr erreur;
  std::thread fil([&] {
    try {
      travail(relais);
    } catch (...) {
      erreur = std::current_exception();
    }
    QMetaObject::invokeMethod(&boucle, &QEventLoop::quit, Qt::QueuedConnection);
  });
  boucle.exec();
  fil.join();
  // What the worker still had to say arrives before the window goes.
  QCoreApplication::sendPostedEvents(&fenetre);
  fenetre.FinArrierePlan();
  if (!erreur) return true;
  try {
    std::rethrow_exception(erreur);
  } catch (const ErreurAnnulation&) {
    return false;
  }
}

}  // namespace quelvane
