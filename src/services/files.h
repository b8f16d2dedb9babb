// Files and directories. Paths are GBK texts in the Windows form
// ("D:\Q\Data.ini"). Natively, where the core is tested, a "\" in a path is
// read as "/" (NativePath), so the same path expressions work on both systems.
#pragma once

#include <initializer_list>
#include <string_view>

#include "services/types.h"

namespace quillane {

// The directory of the running program's file, without a trailing separator.
// For a program in a drive root the result is the drive alone ("C:").
Text RunDirectory();

// Creates the file, or truncates it, opened with no sharing, writes every
// non-empty array in order and closes it. An empty file name, or any failure to
// open or write, gives false.
bool WriteBytesToFile(std::string_view file, std::initializer_list<const Bytes*> parts);
bool WriteBytesToFile(std::string_view file, const Bytes& bytes);
bool WriteBytesToFile(std::string_view file, const Bytes& first, const Bytes& second);

// Why reading or writing a whole file failed.
enum class FileFailure {
  None,
  NotFound,  // no such file or folder
  InUse,     // another program holds the file (a spreadsheet that shows it)
  Denied,    // no rights, a read-only file, or a folder in its place
  Other,     // a read or write error (a full disk, a lost connection)
};

// Reads the whole file. Others may hold it open for reading and writing
// meanwhile; only a program that shuts everyone else out stops the read.
FileFailure ReadWholeFile(std::string_view file, Bytes* bytes);
// Creates the file, or replaces its content, with the bytes. A file another
// program holds open is left as it is (InUse).
FileFailure WriteWholeFile(std::string_view file, const Bytes& bytes);

// Removes a directory with everything below it. Leading spaces are skipped; an
// empty path and a drive root ("C:", "C:\") give false. Entries whose name
// begins with a dot are left alone (so such a directory cannot be removed);
// read-only files are not forced. Links (junctions, symbolic links) are
// removed as links, never followed. True if the directory itself was removed.
bool DeleteDirectoryTree(std::string_view directory);

// Renames a file in one step. With `replace` an existing target is replaced
// as one change (anyone opening the target finds the old file or the new one,
// never neither) and the rename is written through to the disk before this
// returns. False when it cannot be moved (held open, no rights, or the target
// exists and `replace` is not given).
bool MoveFileTo(std::string_view from, std::string_view to, bool replace);

// Deletes a file; false when there is none or it cannot be deleted.
bool RemoveFile(std::string_view path);

// Platform helpers the shop logic needs beside the services above.
bool PathIsDirectory(std::string_view path);  // an existing directory
bool PathFileExists(std::string_view path);   // an existing file or directory
// Creates every missing directory of a path; the last component is created
// only when the path ends in a separator (like the platform's helper).
bool MakeSureDirectoryPathExists(std::string_view path);

#ifndef _WIN32
// The native form of a Windows-style path: "\" becomes "/".
std::string NativePath(std::string_view path);
#endif

}  // namespace quillane
