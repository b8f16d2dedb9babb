#include "table/storage.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "table/errors.h"

namespace quillane::table {

namespace {
constexpr std::int64_t kWholeLength = 2147483647;
}  // namespace

int DataFile::Read(std::int64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  const int rc = file.ReadAt(offset, buffer, n, got);
  if (rc == 0 && cipher && *got) cipher->Apply(offset, static_cast<std::uint8_t*>(buffer), *got);
  return rc;
}

int DataFile::ReadExact(std::int64_t offset, void* buffer, std::size_t n, int shortCode) {
  std::size_t got = 0;
  const int rc = Read(offset, buffer, n, &got);
  if (rc != 0) return rc;
  return got == n ? 0 : shortCode;
}

int DataFile::Write(std::int64_t offset, const void* buffer, std::size_t n) {
  if (!cipher) return file.WriteAt(offset, buffer, n);
  std::vector<std::uint8_t> copy(static_cast<const std::uint8_t*>(buffer),
                                 static_cast<const std::uint8_t*>(buffer) + n);
  cipher->Apply(offset, copy.data(), copy.size());
  return file.WriteAt(offset, copy.data(), copy.size());
}

int DataFile::WriteScrambling(std::int64_t offset, std::uint8_t* buffer, std::size_t n) {
  if (cipher) cipher->Apply(offset, buffer, n);
  return file.WriteAt(offset, buffer, n);
}

int DataFile::LockByte(std::int64_t offset, int waitMs) {
  if (lockless || wholeDepth_ > 0) {
    passed_.push_back(offset);
    return 0;
  }
  auto it = held_.find(offset);
  if (it != held_.end()) {
    ++it->second;
    return 0;
  }
  const int rc = WithRetry(waitMs, [&] { return file.Lock(offset, 1); });
  if (rc != 0) return rc;
  held_[offset] = 1;
  return 0;
}

int DataFile::UnlockByte(std::int64_t offset) {
  auto passed = std::find(passed_.begin(), passed_.end(), offset);
  if (passed != passed_.end()) {
    passed_.erase(passed);
    return 0;
  }
  auto it = held_.find(offset);
  if (it == held_.end()) return kUnlockFailed;
  if (--it->second > 0) return 0;
  held_.erase(it);
  return file.Unlock(offset, 1);
}

int DataFile::LockWhole(int waitMs) {
  if (lockless) return 0;
  if (wholeDepth_ > 0) {
    ++wholeDepth_;
    return 0;
  }
  // The gaps between the bytes already held: byte-range locks of one opening
  // may not overlap on Windows, and unlocking a range must not drop them.
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  std::int64_t start = 0;
  for (const auto& [offset, count] : held_) {
    (void)count;
    if (offset >= kWholeLength) break;
    if (offset > start) ranges.emplace_back(start, offset - start);
    start = offset + 1;
  }
  if (start < kWholeLength) ranges.emplace_back(start, kWholeLength - start);
  for (std::size_t k = 0; k < ranges.size(); ++k) {
    const auto [offset, length] = ranges[k];
    const int rc = WithRetry(
        waitMs, [&, offset = offset, length = length] { return file.Lock(offset, length); });
    if (rc != 0) {
      for (std::size_t u = 0; u < k; ++u) file.Unlock(ranges[u].first, ranges[u].second);
      return rc;
    }
  }
  wholeRanges_ = std::move(ranges);
  wholeDepth_ = 1;
  return 0;
}

int DataFile::UnlockWhole() {
  if (lockless) return 0;
  if (wholeDepth_ == 0) return kUnlockFailed;
  if (--wholeDepth_ > 0) return 0;
  int result = 0;
  for (const auto& [offset, length] : wholeRanges_)
    if (file.Unlock(offset, length) != 0) result = kUnlockFailed;
  wholeRanges_.clear();
  return result;
}

void DataFile::ReleaseAll() {
  if (wholeDepth_ > 0) {
    wholeDepth_ = 1;
    UnlockWhole();
  }
  for (const auto& [offset, count] : held_) {
    (void)count;
    file.Unlock(offset, 1);
  }
  held_.clear();
  passed_.clear();
}

namespace {

struct Block {
  BlockHead head;
  std::uint8_t data[kBlockData];
};

int ReadHead(DataFile& f, std::int32_t number, BlockHead* head) {
  std::uint8_t raw[12];
  const int rc = f.ReadExact(static_cast<std::int64_t>(number) * kBlockSize, raw, sizeof raw,
                             kCompanionAccessFailed);
  if (rc != 0) return rc;
  ParseBlockHead(raw, *head);
  return 0;
}

int WriteHead(DataFile& f, std::int32_t number, const BlockHead& head) {
  std::uint8_t raw[12];
  SerializeBlockHead(head, raw);
  return f.Write(static_cast<std::int64_t>(number) * kBlockSize, raw, sizeof raw);
}

// Reads the head of block `number`, lets `change` alter it and writes it back.
template <typename Change>
int ChangeHead(DataFile& f, std::int32_t number, Change change) {
  BlockHead head;
  const int rc = ReadHead(f, number, &head);
  if (rc != 0) return rc;
  change(head);
  return WriteHead(f, number, head);
}

int WriteBlock(DataFile& f, std::int32_t number, const BlockHead& head, const std::uint8_t* data,
               std::size_t n) {
  std::uint8_t raw[kBlockSize] = {};
  SerializeBlockHead(head, raw);
  if (n) std::memcpy(raw + 12, data, n);
  return f.Write(static_cast<std::int64_t>(number) * kBlockSize, raw, sizeof raw);
}

}  // namespace

int ReadChain(DataFile& companion, std::int32_t first, Bytes* out) {
  out->clear();
  if (first <= 0) return 0;
  std::int64_t size = 0;
  int rc = companion.Size(&size);
  if (rc != 0) return kCompanionAccessFailed;
  const std::int64_t blocks = size / kBlockSize;
  std::int64_t steps = 0;
  std::uint8_t raw[kBlockSize];
  for (std::int32_t number = first; number > 0;) {
    // A chain visits each block at most once; more steps than blocks is a cycle.
    if (number >= blocks || ++steps > blocks) return kCompanionAccessFailed;
    rc = companion.ReadExact(static_cast<std::int64_t>(number) * kBlockSize, raw, sizeof raw,
                             kCompanionAccessFailed);
    if (rc != 0) return kCompanionAccessFailed;
    BlockHead head;
    ParseBlockHead(raw, head);
    if (head.used < 0 || head.used > kBlockData) return kCompanionAccessFailed;
    out->insert(out->end(), raw + 12, raw + 12 + head.used);
    number = head.next;
  }
  return 0;
}

int WriteChain(DataFile& companion, std::int32_t oldFirst, const std::uint8_t* data,
               std::size_t length, std::int32_t* newFirst) {
  *newFirst = 0;
  if (length == 0 && oldFirst <= 0) return 0;

  std::uint8_t rawHeader[kCompanionHeaderSize];
  int rc = companion.ReadExact(0, rawHeader, sizeof rawHeader, kCompanionAccessFailed);
  if (rc != 0) return rc;
  CompanionHeader header;
  ParseCompanionHeader(rawHeader, header);
  if (header.blockCount < 1) return kCompanionAccessFailed;
  auto inRange = [&](std::int32_t b) { return b > 0 && b < header.blockCount; };

  // The old chain, refused when it leaves the file or loops.
  std::vector<std::int32_t> old;
  std::set<std::int32_t> oldSet;
  for (std::int32_t b = oldFirst; b > 0;) {
    if (!inRange(b) || !oldSet.insert(b).second) return kCompanionAccessFailed;
    old.push_back(b);
    BlockHead head;
    rc = ReadHead(companion, b, &head);
    if (rc != 0) return rc;
    b = head.next;
  }

  // One block per piece: the old chain, then the free list, then new blocks.
  const std::size_t pieces = (length + kBlockData - 1) / kBlockData;
  std::vector<std::int32_t> chain;
  std::set<std::int32_t> chainSet(old.begin(), old.end());
  for (std::size_t k = 0; k < pieces; ++k) {
    if (k < old.size()) {
      chain.push_back(old[k]);
      continue;
    }
    std::int32_t taken = 0;
    if (header.firstFree > 0) {
      const std::int32_t candidate = header.firstFree;
      BlockHead head;
      if (inRange(candidate) && !chainSet.count(candidate) &&
          ReadHead(companion, candidate, &head) == 0 && head.used == 0) {
        taken = candidate;
        header.firstFree = inRange(head.next) ? head.next : 0;
        header.freeCount = std::max(0, header.freeCount - 1);
        if (header.firstFree > 0) {
          BlockHead nextHead;
          if (ReadHead(companion, header.firstFree, &nextHead) == 0) {
            nextHead.previous = 0;
            rc = WriteHead(companion, header.firstFree, nextHead);
            if (rc != 0) return rc;
          }
        }
      } else {
        // A damaged free list is dropped rather than followed; its blocks stay unused.
        header.firstFree = 0;
        header.freeCount = 0;
      }
    }
    if (taken == 0) {
      if (header.blockCount == INT32_MAX) return kCompanionAccessFailed;
      taken = header.blockCount++;
    }
    chain.push_back(taken);
    chainSet.insert(taken);
  }

  for (std::size_t k = 0; k < chain.size(); ++k) {
    BlockHead head;
    head.previous = k ? chain[k - 1] : 0;
    head.next = k + 1 < chain.size() ? chain[k + 1] : 0;
    const std::size_t n = std::min<std::size_t>(kBlockData, length - k * kBlockData);
    head.used = static_cast<std::int32_t>(n);
    rc = WriteBlock(companion, chain[k], head, data + k * kBlockData, n);
    if (rc != 0) return rc;
  }

  // Old blocks left over go to the front of the free list.
  std::vector<std::int32_t> freed(
      old.begin() + static_cast<std::ptrdiff_t>(std::min(old.size(), pieces)), old.end());
  bool freedLast = false;
  if (!freed.empty()) {
    const std::int32_t oldHead = header.firstFree;
    for (std::size_t k = 0; k < freed.size(); ++k) {
      BlockHead head;
      head.previous = k ? freed[k - 1] : 0;
      head.next = k + 1 < freed.size() ? freed[k + 1] : oldHead;
      head.used = 0;
      rc = WriteBlock(companion, freed[k], head, nullptr, 0);
      if (rc != 0) return rc;
      if (freed[k] == header.blockCount - 1) freedLast = true;
    }
    if (inRange(oldHead)) {
      rc = ChangeHead(companion, oldHead, [&](BlockHead& head) { head.previous = freed.back(); });
      if (rc != 0) return rc;
    }
    header.firstFree = freed.front();
    header.freeCount += static_cast<std::int32_t>(freed.size());
  }

  // Trimming: free blocks at the end of the file leave the list and the file.
  if (freedLast) {
    std::int32_t b = header.blockCount - 1;
    while (b > 0) {
      BlockHead head;
      rc = ReadHead(companion, b, &head);
      if (rc != 0) return rc;
      if (head.used != 0) break;
      if (header.firstFree == b) {
        header.firstFree = inRange(head.next) ? head.next : 0;
        if (header.firstFree > 0) {
          rc = ChangeHead(companion, header.firstFree, [](BlockHead& next) { next.previous = 0; });
          if (rc != 0) return rc;
        }
      } else {
        // Unlinked from the middle of the free list.
        if (inRange(head.previous)) {
          rc = ChangeHead(companion, head.previous,
                          [&](BlockHead& previous) { previous.next = head.next; });
          if (rc != 0) return rc;
        }
        if (inRange(head.next)) {
          rc = ChangeHead(companion, head.next,
                          [&](BlockHead& next) { next.previous = head.previous; });
          if (rc != 0) return rc;
        }
      }
      header.freeCount = std::max(0, header.freeCount - 1);
      --b;
    }
    header.blockCount = b + 1;
    if (header.firstFree >= header.blockCount) header.firstFree = 0;
    rc = companion.file.Truncate(static_cast<std::int64_t>(header.blockCount) * kBlockSize);
    if (rc != 0) return rc;
  }

  SerializeCompanionHeader(header, rawHeader);
  rc = companion.Write(0, rawHeader, sizeof rawHeader);
  if (rc != 0) return rc;
  *newFirst = chain.empty() ? 0 : chain.front();
  return 0;
}

}  // namespace quillane::table
