// Framing and validation of GDSII records, and the decoders of their data.
#include "gdsii/record_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/files.h"
#include "support/compressed_file.h"

namespace kavrinth {

namespace {

// GdsDataItemSize as a table built once: Next looks it up for every record.
constexpr std::array<uint8_t, kGdsTypeAscii + 1> kItemSizes = [] {
  std::array<uint8_t, kGdsTypeAscii + 1> sizes{};
  for (int type = 0; type <= kGdsTypeAscii; ++type) {
    sizes[type] = static_cast<uint8_t>(GdsDataItemSize(type));
  }
  return sizes;
}();

// Item sizes are powers of two, so a mask tells whether a length holds whole items.
static_assert([] {
  for (uint8_t size : kItemSizes) {
    if ((size & (size - 1)) != 0) return false;
  }
  return true;
}());

// --- Mapped files cut short ---
//
// A file another program truncates while it is mapped here would end the process with
// SIGBUS at the first page past its new end. The handler below puts zero pages in place
// of the lost ones and marks the mapping: zeros frame no record, so the reader stops at
// the first of them and reports the file as cut short. Faults outside the mappings take
// the action that was there before.

struct MappedRange {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut_short{false};
};
constexpr size_t kMaxMappedRanges = 256;
MappedRange mapped_ranges[kMaxMappedRanges];
struct sigaction previous_bus_action;
uintptr_t page_size = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (MappedRange& range : mapped_ranges) {
    const uintptr_t begin = range.begin.load(), end = range.end.load();
    if (begin == 0 || address < begin || address >= end) continue;
    const uintptr_t first = address & ~(page_size - 1);
    if (::mmap(reinterpret_cast<void*>(first), end - first, PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      range.cut_short = true;
      return;
    }
    break;
  }
  if ((previous_bus_action.sa_flags & SA_SIGINFO) != 0 &&
      previous_bus_action.sa_sigaction != nullptr) {
    previous_bus_action.sa_sigaction(signal, info, context);
    return;
  }
  if (previous_bus_action.sa_handler != SIG_DFL && previous_bus_action.sa_handler != SIG_IGN) {
    previous_bus_action.sa_handler(signal);
    return;
  }
  ::signal(SIGBUS, SIG_DFL);
  ::raise(SIGBUS);
}

// Registers a mapping (installing the handler once); false when every slot is taken,
// and the file is then read through the buffer instead.
bool RegisterMapping(const void* address, size_t length) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    page_size = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previous_bus_action);
  });
  const auto begin = reinterpret_cast<uintptr_t>(address);
  for (MappedRange& range : mapped_ranges) {
    uintptr_t expected = 0;
    if (range.begin.compare_exchange_strong(expected, begin)) {
      range.cut_short = false;
      range.end = begin + length;
      return true;
    }
  }
  return false;
}

void UnregisterMapping(const void* address) {
  const auto begin = reinterpret_cast<uintptr_t>(address);
  for (MappedRange& range : mapped_ranges) {
    if (range.begin.load() == begin) {
      range.end = 0;
      range.begin = 0;
      return;
    }
  }
}

// Whether the mapping that holds the address lost pages to a truncation.
bool MappingCutShort(const void* address) {
  const auto at = reinterpret_cast<uintptr_t>(address);
  for (const MappedRange& range : mapped_ranges) {
    const uintptr_t begin = range.begin.load();
    if (begin != 0 && at >= begin && at <= range.end.load()) return range.cut_short.load();
  }
  return false;
}

}  // namespace

// --- Decoders ---

size_t GdsRecordView::Count() const {
  const size_t item = GdsDataItemSize(data_type);
  return item == 0 ? 0 : data.size() / item;
}

std::optional<double> GdsRecordView::Real8(size_t index) const {
  if (index >= data.size() / 8) return std::nullopt;
  return GdsDecodeReal8(data.subspan(8 * index).first<8>());
}

std::string_view GdsRecordView::Text() const {
  size_t length = data.size();
  while (length > 0 && data[length - 1] == 0) --length;
  return {reinterpret_cast<const char*>(data.data()), length};
}

// --- Reader ---

GdsRecordReader::GdsRecordReader(size_t buffer_size, size_t max_record_length)
    : max_record_length_(std::min(max_record_length, kGdsMaxRecordLength)),
      buffer_size_(std::max(buffer_size, kGdsMaxRecordLength + kGdsRecordHeaderSize)) {}

GdsRecordReader::~GdsRecordReader() { Close(); }

void GdsRecordReader::Unmap() {
  if (map_ != nullptr) {
    UnregisterMapping(map_);
    ::munmap(map_, map_length_);
  }
  map_ = nullptr;
  map_length_ = 0;
}

void GdsRecordReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  Unmap();
  open_ = false;
  whole_ = false;
  view_base_ = 0;
  buffer_ = {};
  data_ = nullptr;
  end_ = 0;
  Reset();
}

void GdsRecordReader::Reset() {
  fast_ = false;
  position_ = 0;
  base_offset_ = view_base_;
  ended_ = failed_ = false;
  first_ = true;
  byte_order_ = GdsByteOrder::kBigEndian;
  error_.clear();
}

bool GdsRecordReader::Open(std::string_view path) {
  Close();
  const std::string native = ResolveExistingPath(path);
  fd_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = "cannot open '" + native + "': " + std::strerror(errno);
    failed_ = true;
    return false;
  }
  open_ = true;
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= SIZE_MAX) {
    // The whole file at once: the pages come in by read-ahead, with no read call per
    // buffer and no copy out of the page cache.
    void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd_, 0);
    if (map != MAP_FAILED && !RegisterMapping(map, static_cast<size_t>(st.st_size))) {
      ::munmap(map, static_cast<size_t>(st.st_size));
      map = MAP_FAILED;
    }
    if (map != MAP_FAILED) {
      ::madvise(map, static_cast<size_t>(st.st_size), MADV_SEQUENTIAL);
      ::madvise(map, static_cast<size_t>(st.st_size), MADV_WILLNEED);
      map_ = map;
      map_length_ = static_cast<size_t>(st.st_size);
      data_ = static_cast<const uint8_t*>(map);
      end_ = map_length_;
      at_eof_ = true;
      whole_ = true;
      ::close(fd_);
      fd_ = -1;
      return true;
    }
  }
  buffer_.assign(buffer_size_, 0);
  data_ = buffer_.data();
  at_eof_ = false;
  return true;
}

bool GdsRecordReader::OpenBytes(std::span<const uint8_t> bytes) {
  Close();
  buffer_.assign(bytes.begin(), bytes.end());
  data_ = buffer_.data();
  end_ = buffer_.size();
  at_eof_ = true;
  open_ = true;
  whole_ = true;
  return true;
}

bool GdsRecordReader::OpenView(std::span<const uint8_t> bytes, uint64_t base_offset) {
  Close();
  data_ = bytes.data();
  end_ = bytes.size();
  at_eof_ = true;
  open_ = true;
  whole_ = true;
  view_base_ = base_offset;
  base_offset_ = base_offset;
  return true;
}

bool GdsRecordReader::SkipTo(uint64_t offset) {
  if (!whole_ || failed_ || ended_ || offset < this->offset() || offset - base_offset_ > end_) {
    return false;
  }
  position_ = static_cast<size_t>(offset - base_offset_);
  return true;
}

bool GdsRecordReader::Rewind() {
  if (!open_) return false;
  if (fd_ < 0) {
    Reset();  // bytes in memory (or mapped) stay where they are
    return true;
  }
  Reset();
  end_ = 0;
  at_eof_ = false;
  if (::lseek(fd_, 0, SEEK_SET) != 0) {
    Fail(std::string("cannot rewind: ") + std::strerror(errno));
    return false;
  }
  return true;
}

GdsReadStatus GdsRecordReader::Fail(std::string message) {
  failed_ = true;
  fast_ = false;
  error_ = std::move(message);
  return GdsReadStatus::kError;
}

bool GdsRecordReader::Refill(size_t count) {
  if (at_eof_ || fd_ < 0) return false;
  // Move the unread bytes to the front and fill the rest of the buffer.
  std::memmove(buffer_.data(), data_ + position_, end_ - position_);
  base_offset_ += position_;
  end_ -= position_;
  position_ = 0;
  while (end_ < count) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fail(std::string("read error: ") + std::strerror(errno));
      return false;
    }
    if (n == 0) {
      at_eof_ = true;
      return false;
    }
    end_ += static_cast<size_t>(n);
  }
  return true;
}

GdsReadStatus GdsRecordReader::FailAt(uint64_t offset, int type, const std::string& what) {
  const std::string_view name = type < 0 ? std::string_view() : GdsRecordName(type);
  std::string label = type < 0       ? "the stream"
                      : name.empty() ? "record " + std::to_string(type)
                                     : "record " + std::string(name);
  std::string message = label + " at offset " + std::to_string(offset) + ": " + what;
  // A file whose very first record fails, and is no HEADER, is not a stream at all.
  if (opening_ && type >= 0 && type != kGdsHeader) {
    message =
        "the file is not a GDSII stream: it does not begin with a HEADER record (" + message + ")";
  }
  return Fail(std::move(message));
}

GdsReadStatus GdsRecordReader::NextChecked(GdsRecord* record) {
  opening_ = false;
  if (failed_) return GdsReadStatus::kError;
  if (ended_) return GdsReadStatus::kEnd;
  if (!open_) return Fail("no stream is open");
  if (whole_ && MappingCutShort(data_ + position_)) {
    return Fail("the file was cut short by another program while it was read");
  }
  const uint64_t offset = this->offset();
  if (!Ensure(kGdsRecordHeaderSize)) {
    if (failed_) return GdsReadStatus::kError;
    // A file without a byte (a failed copy, most often) is no stream cut short.
    if (first_ && end_ == position_) return Fail("the file is empty, not a GDSII stream");
    return FailAt(offset, -1,
                  end_ == position_ ? "ends without ENDLIB" : "ends inside a record header");
  }
  const uint8_t* head = data_ + position_;
  if (first_) {
    first_ = false;
    opening_ = offset == 0;
    // No GDSII stream begins with a compressed file's head: each frames a first record
    // that fails a check.
    if (opening_) {
      std::string compressed = CompressedFileReason(
          {head, std::min(end_ - position_, kCompressedHeadBytes)}, "a GDSII stream");
      if (!compressed.empty()) return Fail(std::move(compressed));
    }
    static constexpr uint8_t kNativeHeader[4] = {0x02, 0x00, 0x06, 0x00};
    if (std::memcmp(head, kNativeHeader, 4) == 0) byte_order_ = GdsByteOrder::kLittleEndian;
  }
  const bool big = byte_order_ == GdsByteOrder::kBigEndian;
  const size_t length = big ? (head[0] << 8 | head[1]) : (head[3] << 8 | head[2]);
  const int type = big ? head[2] : head[1];
  const int data_type = big ? head[3] : head[0];
  if (length < kGdsRecordHeaderSize) {
    return FailAt(offset, type, "length " + std::to_string(length) + " is below 4");
  }
  if (length % 2 != 0) return FailAt(offset, type, "length " + std::to_string(length) + " is odd");
  if (length > max_record_length_) {
    return FailAt(offset, type,
                  "length " + std::to_string(length) + " exceeds the limit of " +
                      std::to_string(max_record_length_));
  }
  if (!GdsIsKnownDataType(data_type)) {
    return FailAt(offset, type, "unknown data type " + std::to_string(data_type));
  }
  const size_t data_length = length - kGdsRecordHeaderSize;
  const size_t item = kItemSizes[static_cast<size_t>(data_type)];
  if ((data_type == kGdsTypeNone && data_length != 0) ||
      (item > 1 && (data_length & (item - 1)) != 0)) {
    return FailAt(offset, type,
                  std::to_string(data_length) + " data bytes do not suit data type " +
                      std::to_string(data_type));
  }
  if (!Ensure(length)) {
    if (failed_) return GdsReadStatus::kError;
    return FailAt(offset, type,
                  "the stream ends inside the record (" + std::to_string(length) +
                      " bytes needed, " + std::to_string(end_ - position_) + " left)");
  }
  const uint8_t* start = data_ + position_;
  record->type = type;
  record->data_type = data_type;
  record->byte_order = byte_order_;
  record->bytes = {start, length};
  record->data = {start + kGdsRecordHeaderSize, data_length};
  record->offset = offset;
  position_ += length;
  if (type == kGdsEndLib) ended_ = true;
  fast_ = !ended_ && byte_order_ == GdsByteOrder::kBigEndian;
  return GdsReadStatus::kRecord;
}

}  // namespace kavrinth
