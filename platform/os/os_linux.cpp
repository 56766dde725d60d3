// os_services on Linux: POSIX calls only.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/os_services.h"

namespace os {
namespace {
int g_lockFd = -1;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
  return buffer.data();
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PathKind KindOfPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  return PathKind::Other;
}

std::string ResolvePath(const std::string& base, const std::string& path) {
  if (path.empty() || path[0] == '/' || base.empty()) return path;
  if (base.back() == '/') return base + path;
  return base + "/" + path;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty() || DirectoryExists(path)) return !path.empty();
  const std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash));
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string ConfigDirectory() {
  std::string dir;
  if (const char* own = std::getenv("TALVERINE_CONFIG_DIR"); own && *own) {
    dir = own;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    dir = std::string(xdg) + "/talverine";
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dir = std::string(home) + "/.config/talverine";
  } else {
    dir = CurrentDirectory();
  }
  MakeDirectories(dir);
  return dir;
}

bool RenameOver(const std::string& from, const std::string& to) {
  // The new file takes the old one's place without taking away what the
  // user set on it: its permissions stay, and a symbolic link stays a link
  // to the file that now holds the new contents.
  std::string target = to;
  struct stat link {};
  if (lstat(to.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* real = realpath(to.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  struct stat old {};
  if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) chmod(from.c_str(), old.st_mode & 07777);
  return std::rename(from.c_str(), target.c_str()) == 0;
}

FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool Remove(const std::string& path) { return std::remove(path.c_str()) == 0; }

std::string ExecutableDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return CurrentDirectory();
  std::string path(buffer.data(), static_cast<size_t>(n));
  const std::string::size_type slash = path.find_last_of('/');
  return slash == std::string::npos ? CurrentDirectory() : path.substr(0, slash);
}

bool LockSingleInstance(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = runtime && *runtime ? std::string(runtime) : ConfigDirectory();
  const std::string path = dir + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no lock to be had: don't keep the user out
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);  // and the lock this process may hold stays held
    return false;
  }
  g_lockFd = fd;
  return true;
}

void UnlockSingleInstance() {
  if (g_lockFd >= 0) close(g_lockFd);
  g_lockFd = -1;
}

}  // namespace os
