// Operating-system services shared by the back ends: paths, the
// configuration folder, files and the single-instance lock.
#pragma once

#include <cstdio>
#include <string>

namespace os {

std::string CurrentDirectory();
bool DirectoryExists(const std::string& path);
enum class PathKind { Missing, Regular, Directory, Other };
PathKind KindOfPath(const std::string& path);
// `path` made absolute against `base` when it is relative.
std::string ResolvePath(const std::string& base, const std::string& path);
// $TALVERINE_CONFIG_DIR, else $XDG_CONFIG_HOME/talverine, else
// ~/.config/talverine; created when missing.
std::string ConfigDirectory();
bool MakeDirectories(const std::string& path);
// fopen on a UTF-8 path, whatever the system's own encoding of names.
FILE* OpenFile(const std::string& path, const char* mode);
// Renames `from` over `to`, keeping `to`'s permissions and, when `to` is a
// symbolic link, the link.
bool RenameOver(const std::string& from, const std::string& to);
bool Remove(const std::string& path);
// Directory of the running executable.
std::string ExecutableDirectory();

// An advisory lock held for the life of the process: true when no other
// process holds the lock named `name`.
bool LockSingleInstance(const std::string& name);
void UnlockSingleInstance();

}  // namespace os
