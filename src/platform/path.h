// Paths as text. The program's paths are UTF-8; these functions hand them to
// the system as they must go: UTF-16 on Windows, where the C++ library and
// the C runtime would read narrow text in the ANSI code page and so lose
// every character that page lacks ("Jürgen" in code page 932, any CJK
// name in 1252). Nothing outside this folder builds a std::filesystem::path
// from a UTF-8 string or passes one to fopen.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool IsRelativePath(std::string_view path);
// `name` below `folder`; `name` itself when it is absolute.
std::string JoinPath(std::string_view folder, std::string_view name);
// The folder part: "/a/b/c.mdb" gives "/a/b", "C:\c.mdb" gives "C:\".
std::string ParentFolder(std::string_view path);
// `path` made absolute against the current folder; `path` when that fails.
std::string AbsolutePath(std::string_view path);
// The file name without its folder and its last extension.
std::string FileStem(std::string_view path);
// The last part of `path`: "/a/b/c.mdb" gives "c.mdb".
std::string FileName(std::string_view path);
// The names (not paths) of what `folder` holds; empty when it cannot be read.
std::vector<std::string> FolderEntries(std::string_view folder);

enum class PathType {
  kUnknown,  // the system could not tell (no permission to look, say)
  kNotFound,
  kFolder,
  kOther,  // a file, or anything else that is not a folder
};
// What is at `path`, a symbolic link followed.
PathType TypeOf(std::string_view path);

// Makes `folder` and the folders on the way to it; true when it is there
// afterwards.
bool MakeFolders(std::string_view folder);

// fopen() for a UTF-8 path.
std::FILE* OpenStdioFile(std::string_view path, const char* mode);

}  // namespace platform
