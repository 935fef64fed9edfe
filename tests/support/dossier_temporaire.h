#pragma once
// A folder of its own for each test, and whole-file reading.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quelvane::essais {

inline std::string LireFichier(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A fresh temporary folder per test, removed afterwards.
class TestAvecDossier : public ::testing::Test {
 protected:
  void SetUp() override {
    dossier_ = std::filesystem::temp_directory_path() /
               ("quelvane-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dossier_);
  }
  void TearDown() override { std::filesystem::remove_all(dossier_); }
  std::string Chemin(const std::string& nom) const { return (dossier_ / nom).string(); }
  std::string Ecrire(const std::string& nom, const std::string& contenu) const {
    std::ofstream(Chemin(nom), std::ios::binary) << contenu;
    return Chemin(nom);
  }
  std::filesystem::path dossier_;
};

}  // namespace quelvane::essais
