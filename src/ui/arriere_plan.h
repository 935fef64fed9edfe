#pragma once
// Long work off the interface thread: a worker thread computes while the windows repaint and
// the progress window's "Annuler" can stop it. Only the work's own results change; the
// windows are touched afterwards, on the interface thread.

#include <functional>

#include "analysis/progression.h"

namespace quelvane {

class TFormProgress;

// Runs `travail` on a worker thread and waits for it with an event loop: the progress window
// shows its steps, no other command is taken meanwhile. True when the work finished; false
// when it was cancelled (ErreurAnnulation); anything else it threw is thrown again here.
bool ExecuterEnArrierePlan(TFormProgress& fenetre,
                           const std::function<void(IProgression&)>& travail);

}  // namespace quelvane
