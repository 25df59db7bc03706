// Streaming GDSII record reader: frames and validates one record at a time from a file
// mapped into memory (or, for a pipe or device, read through one large buffer), with no
// system call, copy or allocation per record, and decodes the data of a record (2- and
// 4-byte integers, 8-byte reals, text).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gdsii/encoding.h"
#include "gdsii/records.h"

namespace kavrinth {

// The data of one record with its decoders. Every accessor checks the index against the
// data it has and returns nothing beyond it.
struct GdsRecordView {
  int type = 0;
  int data_type = 0;
  std::span<const uint8_t> data;  // as stored, the padding byte of odd texts included
  GdsByteOrder byte_order = GdsByteOrder::kBigEndian;

  // Items of the record's data type (characters for text, 0 without data).
  size_t Count() const;
  // Inline: the record loop decodes a layer, a width or a flag word from most records.
  std::optional<int32_t> Int16(size_t index) const {
    if (index >= data.size() / 2) return std::nullopt;
    return GdsGetInt16(data.subspan(2 * index).first<2>(), byte_order);
  }
  std::optional<int32_t> Int32(size_t index) const {
    if (index >= data.size() / 4) return std::nullopt;
    return GdsGetInt32(data.subspan(4 * index).first<4>(), byte_order);
  }
  std::optional<double> Real8(size_t index) const;
  // The data as text, trailing zero bytes removed.
  std::string_view Text() const;
};

// A record as the reader delivers it: valid until the next call of the reader.
struct GdsRecord : GdsRecordView {
  std::span<const uint8_t> bytes;  // the whole record, header included, as read
  uint64_t offset = 0;             // of its first byte in the file
};

enum class GdsReadStatus {
  kRecord,  // a record was delivered
  kEnd,     // the ENDLIB record was delivered before; nothing follows (padding is skipped)
  kError,   // see error(); every later call gives kError too
};

class GdsRecordReader {
 public:
  // Small enough that the bytes a read brings in are still in the cache when the
  // records are framed; the buffer never gets smaller than the longest record.
  static constexpr size_t kDefaultBufferSize = size_t{128} << 10;

  // Records longer than max_record_length (header included) are refused.
  explicit GdsRecordReader(size_t buffer_size = kDefaultBufferSize,
                           size_t max_record_length = kGdsMaxRecordLength);
  ~GdsRecordReader();
  GdsRecordReader(const GdsRecordReader&) = delete;
  GdsRecordReader& operator=(const GdsRecordReader&) = delete;

  // Opens an existing file (a stored '\' path and a name of another case are found). A
  // regular file is mapped whole; anything else is read through the buffer.
  bool Open(std::string_view path);
  // Reads from a copy of the given bytes.
  bool OpenBytes(std::span<const uint8_t> bytes);
  // Reads the given bytes in place (they must outlive the reader's use of them) as the
  // part of a stream that starts at `base_offset`: offsets, in records and messages, are
  // those of the stream. For a part cut at record boundaries; it need not hold ENDLIB.
  bool OpenView(std::span<const uint8_t> bytes, uint64_t base_offset);
  // Starts again at the first record.
  bool Rewind();
  void Close();

  // Frames the next record. The length must be at least 4 and even and within the
  // limit, the whole record must be present, the data type known and the data length
  // a whole number of its items; the stream must end with ENDLIB. A file that opens
  // with the head of a compressed file, or whose first record fails and is no HEADER,
  // is refused as no GDSII stream.
  GdsReadStatus Next(GdsRecord* record) {
    // The common case in one test, inline in the caller's loop: the whole record at
    // hand, its length even and within the limit, its data type known and its data
    // whole items of that type. Everything else goes through every check.
    if (fast_ && end_ - position_ >= kGdsRecordHeaderSize) {
      const uint8_t* head = data_ + position_;
      const size_t length = static_cast<size_t>(head[0] << 8 | head[1]);
      const int data_type = head[3];
      const size_t data_length = length - kGdsRecordHeaderSize;
      if (length >= kGdsRecordHeaderSize && length <= max_record_length_ && length % 2 == 0 &&
          end_ - position_ >= length && GdsIsKnownDataType(data_type) &&
          (data_type == kGdsTypeNone ? data_length == 0
                                     : (data_length & ItemMask(data_type)) == 0)) {
        const int type = head[2];
        record->type = type;
        record->data_type = data_type;
        record->byte_order = GdsByteOrder::kBigEndian;
        record->bytes = {head, length};
        record->data = {head + kGdsRecordHeaderSize, data_length};
        record->offset = base_offset_ + position_;
        position_ += length;
        if (type == kGdsEndLib) {
          ended_ = true;
          fast_ = false;
        }
        return GdsReadStatus::kRecord;
      }
    }
    return NextChecked(record);
  }

  const std::string& error() const { return error_; }
  // The byte order of the stream: little-endian when it opens with the native-order
  // HEADER (02 00 06 00), else big-endian.
  GdsByteOrder byte_order() const { return byte_order_; }
  // Bytes of the file consumed so far.
  uint64_t offset() const { return base_offset_ + position_; }
  // Whether the whole stream is held in memory (a mapped file or OpenBytes): then the
  // spans of every record delivered stay valid until Close, and consecutive records lie
  // next to each other.
  bool whole() const { return whole_; }
  // The whole stream held in memory (empty for one read through the buffer).
  std::span<const uint8_t> held() const {
    return whole_ ? std::span<const uint8_t>(data_, end_) : std::span<const uint8_t>();
  }
  // Moves on to a record boundary ahead in a stream held in memory (as found by framing
  // the records in between): the next record read starts there. False when the stream
  // is not held whole or the offset lies behind the position or past the end.
  bool SkipTo(uint64_t offset);

 private:
  // Whether count unread bytes are at hand; the buffer is refilled only when not.
  bool Ensure(size_t count) { return end_ - position_ >= count || Refill(count); }
  bool Refill(size_t count);
  // Next with every check and its message, for the first record, a record that fails a
  // check or one that needs a refill.
  GdsReadStatus NextChecked(GdsRecord* record);
  GdsReadStatus Fail(std::string message);
  GdsReadStatus FailAt(uint64_t offset, int type, const std::string& what);
  void Reset();

  void Unmap();

  // Item size - 1 of a known data type other than none (sizes are powers of two).
  static constexpr size_t ItemMask(int data_type) {
    return data_type == kGdsTypeInt16 || data_type == kGdsTypeBitArray ? 1
           : data_type == kGdsTypeInt32 || data_type == kGdsTypeReal4  ? 3
           : data_type == kGdsTypeReal8                                ? 7
                                                                       : 0;
  }

  int fd_ = -1;
  bool open_ = false;
  // The inline path of Next may be taken: open, past the first record, big-endian, not
  // ended and not failed.
  bool fast_ = false;
  bool whole_ = false;
  std::vector<uint8_t> buffer_;
  const uint8_t* data_ = nullptr;  // the buffer's bytes, or the mapping
  void* map_ = nullptr;
  size_t map_length_ = 0;
  size_t max_record_length_;
  size_t position_ = 0;  // first unread byte in the buffer
  size_t end_ = 0;       // end of the valid bytes in the buffer
  uint64_t base_offset_ = 0;
  uint64_t view_base_ = 0;  // the stream offset of the first byte of a view
  bool at_eof_ = false;
  size_t buffer_size_;
  bool ended_ = false;
  bool failed_ = false;
  bool first_ = true;
  bool opening_ = false;  // framing the first record of a stream that starts at offset 0
  GdsByteOrder byte_order_ = GdsByteOrder::kBigEndian;
  std::string error_;
};

}  // namespace kavrinth
