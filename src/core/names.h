// Names that come from a DAT or a settings file become folder and file names.
// None of them may step outside the folder it belongs in.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// True when `name` can be used as one file or folder name: not empty, not
// "." or "..", and free of "/" and NUL.
bool isSafeFileName(std::string_view name);

// A game's archive is its name + ".zip" in the system folder: a safe file
// name that does not start with "." (such an archive would be hidden, and a
// scan never lists hidden files).
bool isSafeGameName(std::string_view name);

// The file extensions a game's set may have in its system folder: zip, and
// the packed formats a set is kept in as found (".7z", ".rar"). Fix and
// rebuild write ".zip" or ".7z" as the output setting says.
inline constexpr const char* kSetExtensions[] = {".zip", ".7z", ".rar"};

// True when the file `fileName` is a set of `game`: the game's name and one
// of kSetExtensions, letter case as written.
bool isSetFileOf(std::string_view fileName, std::string_view game);

// True when `name` can name an entry of an archive that others may unpack:
// relative ("/" only between folder steps, never first or last), no empty,
// "." or ".." step, no "\" (a separator to some unpackers) and no NUL.
bool isSafeEntryName(std::string_view name);

// The message shown when a name is refused.
std::string unsafeNameMessage(std::string_view what, std::string_view name);

}  // namespace quorvane
