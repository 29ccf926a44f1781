#pragma once
// The file-system and process services the program needs of the system.
// Paths are Windows-1250 text like every other text; the separator is "/".
// The system names its files in UTF-8: every path crosses between the two
// here, once, at the system call.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

using DWORD = std::uint32_t;

// A path of the program (Windows-1250) as the system names it (UTF-8), and
// back. A character of the system's name that the code page lacks becomes
// "?", so such a file cannot be reached.
std::string SystemPath(std::string_view path);
std::string ProgramPath(std::string_view systemPath);

// The directory for temporary files, with a trailing "/": $TMPDIR when it
// names a usable directory, else /tmp. Writes it, NUL-terminated, into
// buffer and returns its length; returns 0 when no directory is usable or
// the text does not fit into bufferLength characters with its NUL.
DWORD GetTempPathA(DWORD bufferLength, char* buffer);

bool DirectoryExists(const std::string& path);

// Creates one directory level; false when it could not be made.
bool CreateDir(const std::string& path);

bool FileExists(const std::string& path);

// The full path of the running executable.
std::string ExeName();

// Everything before the last "/" (no trailing separator); empty when none.
std::string ExtractFileDir(const std::string& path);

// Everything after the last "/".
std::string ExtractFileName(const std::string& path);

// The system calls open(2), fopen(3), rename(2) and unlink(2) for paths of
// the program.
int FileOpen(const std::string& path, int flags, unsigned mode = 0);
std::FILE* FileOpenStream(const std::string& path, const char* mode);
bool RenameFile(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);

// True when the directory exists and the process may create files in it.
bool DirectoryWritable(const std::string& path);

// Creates a directory and every missing one above it; true when it exists
// afterwards.
bool ForceDirectories(const std::string& path);

// The user's home directory: $HOME when set and not empty, else the one of
// the user's account; empty when neither is known.
std::string HomeDirectory();

// The user's cache directory by the XDG base directory rules:
// $XDG_CACHE_HOME when it is an absolute path, else HomeDirectory() +
// "/.cache". Not created here.
std::string UserCacheDirectory();

// Whole-file transfer. Failures raise EFileError: "Cannot open file " + path
// when the file cannot be opened, "Cannot create file " + path when it
// cannot be created, and the system's reason for a failed read or write.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& data);

} // namespace platform
