#include "tests/support/core_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "shell/app_state.h"

namespace testsupport {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

bool HaveTool(const std::string& tool) { return Run("command -v " + tool + " >/dev/null 2>&1") == 0; }

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
#ifdef _WIN32
  return status;  // the command's exit code itself
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TempDir::TempDir() {
  // A name of this process's own, made by whoever creates it first.
  std::mt19937_64 random(std::random_device{}());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::filesystem::path dir = base / ("talverine-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (std::filesystem::create_directory(dir, error)) path_ = dir.string();
  }
  if (path_.empty()) std::abort();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void CoreTest::SetUp() {
  core_.emplace(CoreSession::Setup::WithoutWindow);
  ASSERT_TRUE(core_->ready());
  P().SetCurrentDirectoryForTest(temp_.path());
  P().SetConfigDirectory(temp_.path());
}

void CoreTest::TearDown() { core_.reset(); }

std::vector<std::string> CoreTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : platform_->messageBoxes) texts.push_back(box.text);
  return texts;
}

}  // namespace testsupport
