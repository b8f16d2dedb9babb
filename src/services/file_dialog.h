// The system's dialogs for choosing a file to open or a file to save. On
// Windows they are the common open and save dialogs; natively, where the
// window logic is tested, a stand-in answers from a queue and records every
// call, the way message boxes do.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "services/types.h"

namespace quillane {

enum class FileDialogKind { Open, Save };

// What the dialog shows: its title, one file type (a name such as
// "CSV 文件 (*.csv)" with its pattern "*.csv"; every file can be chosen as
// well), the extension a typed name without one gets, and the file name it
// offers (the save dialog).
struct FileDialogRequest {
  FileDialogKind kind = FileDialogKind::Open;
  Text title;
  Text typeName;
  Text pattern;
  Text defaultExtension;
  Text fileName;
  std::uintptr_t owner = 0;  // native handle of the owner window, or 0
};

// What came of the dialog. Unusable: a file was chosen whose path this
// program cannot name (a character outside GBK, the program's text encoding).
struct ChosenFile {
  enum class Outcome { Chosen, Cancelled, Unusable };
  Outcome outcome = Outcome::Cancelled;
  Text path;  // the full path (GBK) when chosen
};

// Shows the dialog and waits for the user. The open dialog offers only
// existing files; the save dialog asks before an existing file is replaced.
// The current directory is left as it was.
ChosenFile ChooseFile(const FileDialogRequest& request);

// Native stand-in: the next dialog answers with this path, or, with no path,
// as if cancelled; an empty queue cancels. Every request is recorded
// (TakeFileDialogCalls). Thread-safe.
void QueueFileDialogAnswer(std::optional<Text> path);
std::vector<FileDialogRequest> TakeFileDialogCalls();

}  // namespace quillane
