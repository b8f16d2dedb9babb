// Result codes of the table engine and their fixed texts (GBK).
#pragma once

namespace quillane::table {

enum ErrorCode : int {
  kOk = 0,
  kUnknown = -1,
  kCreateTableFailed = -2,
  kFileNotFound = -3,
  kInvalidPath = -4,
  kTooManyOpenFiles = -5,
  kAccessDenied = -6,
  kInvalidHandle = -7,
  kCurrentDirectory = -8,
  kDirectoryFull = -9,
  kSeekFailed = -10,
  kHardwareFault = -11,
  kSharingViolation = -12,
  kLockViolation = -13,
  kDiskFull = -14,
  kEndOfFile = -15,
  kNotATable = -22,
  kVersionTooHigh = -23,
  kInvalidAlias = -24,
  kNoOpenFile = -27,
  kLockFailed = -28,
  kUnlockFailed = -29,
  kCompanionReadFailed = -35,
  kCompanionVersion = -36,
  kCompanionDamaged = -37,
  kAlreadyOpen = -38,
  kOutOfMemory = -45,
  kReadFieldFailed = -46,
  kWriteFieldFailed = -47,
  kFileSizeWrong = -48,
  kCreateCompanionFailed = -50,
  kCompanionAccessFailed = -59,
  kNoCurrentRecord = -60,
  kNoSuchField = -61,
  kReadRecordFailed = -62,
  kWriteRecordFailed = -63,
  kRecordCountFailed = -65,
  kTableNotOpen = -66,
  kNoCurrentTable = -67,
  kBadKeyField = -71,
  kTypeMismatch = -72,
  kBadPassword = -78,
};

// The fixed text of a result code: "" for 0, the engine's text for every code
// from -1 to -80 (-77 has none), "" for anything else. The texts are GBK.
const char* ErrorText(int code);

}  // namespace quillane::table
