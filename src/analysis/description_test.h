#pragma once
// A reconstructed test as the test file keeps it: the one description the windows and the
// command line both save.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analysis/preparation.h"
#include "analysis/roddier.h"
#include "files/fichier_test.h"
#include "settings/parametres.h"
#include "settings/preferences.h"

namespace quelvane {

// What the preparation found (background, flux, saturation, missing samples, crop), as the
// command line's JSON and the test file give it.
nlohmann::ordered_json JsonPreparation(const TPreparationPaire& p);

// The test's parameters in millimetres and degrees, with the preferences that shape a result.
nlohmann::ordered_json JsonParametres(const TParametresTest& p, const TkwValue& prefs);

// The source files of each side, with their size and SHA-256 (read now).
std::vector<TSourceImage> SourcesDuTest(const std::vector<std::string>& intra,
                                        const std::vector<std::string>& extra);

// The test of `front` (its figures up to date, with its variants). The capture time is the
// images' (DATE-OBS, the video's start), else the intra file's modification time in UTC.
TTestEnregistre DecrireTest(const TPupille& front, const TParametresTest& parametres,
                            const TPreferences& prefs, const TPreparationPaire& preparation,
                            std::vector<TSourceImage> sources, const std::string& dateObs);

// The inverses, for a test opened again (missing fields keep their defaults).
TParametresTest ParametresDepuisJson(const nlohmann::ordered_json& j);
TPreparationPaire PreparationDepuisJson(const nlohmann::ordered_json& j);
// TypeSource of the saved parameters.
std::uint8_t SourceDuTest(const TParametresTest& p);

// A test opened again, as the windows, the report and the simulations know a test: its
// wavefront (sharing the given one), lengths and preparation; no images.
std::unique_ptr<TRoddier> TestDepuisEnregistre(const TTestEnregistre& t,
                                               std::shared_ptr<TPupille> front);

// The file's modification time as ISO 8601 UTC ("2026-12-08T21:03:11Z"); empty if unknown.
std::string DateDuFichier(const std::string& chemin);

}  // namespace quelvane
