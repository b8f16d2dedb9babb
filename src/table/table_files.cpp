// Whole table files: writing a new file, putting a new file in the place of
// a table file that readers may hold open, and copying a table file.
#include <new>

#include "table/registry.h"

namespace quillane::table {

using namespace detail;

bool WriteNewTableFile(const Text& file, const Bytes& bytes) {
  if (file.empty()) return SetError(kFileNotFound), false;
  Text full;
  int rc = FullPath(file, &full);
  if (rc != 0) return SetError(rc), false;
  File f;
  rc = f.Open(full, Access::kReadWrite, Share::kExclusive, Disposition::kCreateAlways);
  if (rc == 0) rc = f.WriteAt(0, bytes.data(), bytes.size());
  if (rc == 0) rc = f.Flush();
  return Report(rc);
}

Text ReplacedTablePath(const Text& file) {
  Text stem = file;
  const std::size_t dot = stem.rfind('.');
  const std::size_t slash = stem.find_last_of("\\/");
  if (dot != Text::npos && (slash == Text::npos || dot > slash)) stem.resize(dot);
  return stem + "-replaced.edb";
}

namespace {

// One attempt of ReplaceTableFile.
int ReplaceOnce(const Text& from, const Text& to, const Text& aside) {
  bool readOnly = false;
  const int probe = ProbeFile(to, &readOnly);
  if (probe == 0 && readOnly) return kAccessDenied;
  int rc = RenameFile(from, to, true);
  if (rc != kAccessDenied || probe != 0) return rc;
  // `to` is open somewhere and cannot be replaced in one step: its name is
  // freed by moving the old file aside, which a reader's delete sharing allows.
  rc = RemoveFile(aside);
  // A leftover that cannot go yet (still open, delete pending) passes later.
  if (rc != 0 && rc != kFileNotFound) return kSharingViolation;
  rc = RenameFile(to, aside, false);
  if (rc != 0) return rc;
  rc = RenameFile(from, to, false);
  if (rc != 0) {
    RenameFile(aside, to, false);
    return rc;
  }
  // Gone once its last reader closes it.
  RemoveFile(aside);
  return 0;
}

}  // namespace

bool ReplaceTableFile(const Text& from, const Text& to, int waitMs) {
  Text source, target;
  int rc = FullPath(from, &source);
  if (rc == 0) rc = FullPath(to, &target);
  if (rc == 0) {
    const Text aside = ReplacedTablePath(target);
    rc = WithRetry(waitMs, [&] { return ReplaceOnce(source, target, aside); });
  }
  return Report(rc);
}

bool CopyTableFile(const Text& from, const Text& to) {
  try {
    Text source, target;
    int rc = FullPath(from, &source);
    if (rc == 0) rc = FullPath(to, &target);
    bool readOnly = false;
    if (rc == 0 && ProbeFile(target, &readOnly) == 0) rc = kAccessDenied;
    File in;
    if (rc == 0) rc = in.Open(source, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting);
    std::int64_t size = 0;
    if (rc == 0) rc = in.Size(&size);
    Bytes bytes;
    if (rc == 0) {
      bytes.resize(static_cast<std::size_t>(size));
      std::size_t got = 0;
      rc = in.ReadAt(0, bytes.data(), bytes.size(), &got);
      if (rc == 0 && got != bytes.size()) rc = kReadRecordFailed;
    }
    if (rc != 0) return SetError(rc), false;
    return WriteNewTableFile(target, bytes);
  } catch (const std::bad_alloc&) {
    return SetError(kOutOfMemory), false;
  }
}

}  // namespace quillane::table
