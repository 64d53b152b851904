#pragma once
// A folder of the test's own under the system's temporary folder, named after the test, empty at
// the start and gone at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace tz::test {

struct TempFolder {
  std::string path;
  explicit TempFolder(const char* prefix) {
    path = (std::filesystem::temp_directory_path() /
            (std::string(prefix) + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  // The folder a user's run writes into: the one its command line names, "C:\\Loader", which the
  // host's files find under the current folder.
  void make_program_folder() const {
    std::filesystem::create_directories(std::filesystem::path(path) / "C:" / "Loader");
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The files of the folder and its subfolders whose names end in `extension` (".trace").
  std::vector<std::string> files(const std::string& extension) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
      if (entry.path().extension() == extension) found.push_back(entry.path().string());
    }
    return found;
  }
  // Writes `text` as the file `name` of the folder; its path.
  std::string write(const char* name, const std::string& text) const {
    const std::string file = (std::filesystem::path(path) / name).string();
    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
    }
    return file;
  }
};

}  // namespace tz::test
