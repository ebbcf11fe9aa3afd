// File-system helpers shared by every part of the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb {

// The per-user application-data folder: $XDG_DATA_HOME, else
// ~/.local/share, else the directory of the program file. No trailing '/'.
std::string AppDataDir();

// The directory holding the running program, without a trailing '/'.
std::string ProgramDir();

// The program's read-only data files (help manual, sounds, artwork, message
// catalogues), without a trailing '/': $QUILLBOX_DATA_DIR when set; else
// <program dir>/../share/quillbox in an installed prefix; else
// <program dir>/data, where the build tree keeps them beside the programs.
std::string ProgramDataDir();

// Appends '/' to a non-empty directory that does not end in one.
std::string IncludeTrailingSlash(const std::string& dir);

// Creates a directory with all missing parents. True when it exists after.
bool ForceDirectories(const std::string& dir);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Resolves name inside dir the way a file system that ignores case would:
// the exact name wins; otherwise the first entry whose name matches without
// regard to ASCII case. Returns dir + '/' + the entry's real name, or the
// plain join when nothing matches (so the caller's open fails normally).
std::string ResolveNoCase(const std::string& dir, const std::string& name);

// Reads a whole file. nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Opens path for reading only when it is a regular file (after links), and
// without ever blocking on the open: a FIFO, a device or a socket is
// refused (-1, errno EINVAL) instead of waiting for a writer or reading
// without end. The descriptor returned reads blocking, close-on-exec.
int OpenRegularFile(const std::string& path);
// ReadWholeFile of a file OpenRegularFile opens.
std::optional<std::string> ReadRegularFile(const std::string& path);

// Writes bytes to path, creating or replacing the file. False on failure.
bool SaveBytesToFile(const std::string& path, const std::string& bytes);

// Writes data to a temporary file in the same directory and renames it over
// path, so readers see either the old or the new content, never a part.
// Throws EQuillboxError (InOut) on failure, leaving the old file untouched.
void WriteFileAtomically(const std::string& path, const std::string& data);

// Expands %NAME% references from the environment; unknown names and lone
// '%' stay as written.
std::string ExpandEnvironmentStrings(const std::string& text);

// Value of an environment variable, or "" when unset.
std::string GetEnv(const char* name);

// dir without trailing slashes ("/" stays).
std::string StripTrailingSlashes(std::string dir);
// The user's home directory: chosen when given, else $HOME, else the
// password database's; without trailing slashes ("" when none is known).
std::string HomeDirectory(const std::string& chosen = "");

}  // namespace qb
