#pragma once
// The file-system and process services the program needs of the system.
// Paths are Windows-1250 text like every other text; the separator is "/".

#include <cstdint>
#include <string>

namespace platform {

using DWORD = std::uint32_t;

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
