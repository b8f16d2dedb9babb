// Full local paths and the folders that must never be removed. A folder that
// another program names is removed only after its path has been made full
// here and found to lie clear of the system's and this program's folders.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "services/types.h"

namespace quillane {

// The full form of an absolute local path: "\" as the only separator, repeated
// separators collapsed, "." and ".." resolved (".." never climbs above the
// root), trailing dots and blanks of every name dropped as the system drops
// them, no trailing separator except the root's own ("C:\"). Empty for a
// relative path, a drive-relative one ("C:x"), a network or device path
// ("\\server\share", "\\?\C:\"), a name made only of dots or blanks, or a
// character no file name may hold. Natively, where the core is tested, an
// absolute POSIX path ("/tmp/x") is local too, with "/" as its root.
std::optional<Text> FullLocalPath(std::string_view path);

// True when one of the path's names is "." or "..".
bool HasDotNames(std::string_view path);

// True for the root of a drive ("C:\", or "/" natively).
bool IsDriveRoot(std::string_view fullPath);

// True when `folder` is `inner` itself or one of the folders above it. Both
// are full local paths; letters are compared without case, as the file
// system does.
bool IsSameOrAbove(std::string_view folder, std::string_view inner);

// The path the file system itself gives an existing folder, with every
// junction, link and short name resolved; empty when it cannot tell (the
// folder does not exist).
Text ResolvedPath(std::string_view fullPath);

// The Windows folder, the system folder and the user's profile folder
// (natively the home folder), as full local paths; those the system cannot
// tell are left out.
std::vector<Text> SystemFolders();

}  // namespace quillane
