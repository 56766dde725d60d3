#include "tests/support/core_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "shell/app_state.h"

namespace testsupport {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "talverine-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  path_ = buffer.data();
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
