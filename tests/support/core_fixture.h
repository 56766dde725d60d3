// A clean core on a fresh headless platform, with a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/platform_headless.h"
#include "shell/core_session.h"

namespace testsupport {

std::vector<uint8_t> ReadBytes(const std::string& path);
// A text file read as text: its lines end in "\n" whatever the system writes.
std::string ReadTextFile(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// True when `tool` is on the PATH.
bool HaveTool(const std::string& tool);
// Runs a shell command; returns its exit status.
int Run(const std::string& command);

// A folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // With the system's own separator, as its file dialogs give names.
  std::string File(const std::string& name) const { return path_ + kSeparator + name; }

 private:
#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif
  std::string path_;
};

// The core on a headless platform, started without a window (buffers and a
// status bar), the platform's current and configuration folders in a
// scratch folder.
class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  headless::HeadlessPlatform& P() { return *platform_; }
  std::string Path(const std::string& name) const { return temp_.File(name); }
  // Message box texts shown so far, in order.
  std::vector<std::string> BoxTexts() const;
  // The session and the parts of it the tests set and read.
  CoreSession& Session() { return *core_; }
  ImageModel& Model() { return core_->image; }
  FileSettings& Settings() { return core_->fileSettings; }
  AppState& App() { return core_->app; }
  // The image's bytes.
  BYTE* ImageBytes() const { return core_->image.imgMemory.get(); }

  TempDir temp_;
  headless::ScopedHeadless platform_;
  std::optional<CoreSession> core_;
};

}  // namespace testsupport
