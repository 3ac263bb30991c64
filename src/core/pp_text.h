// Plane partitions read back from text: the export's own form (each entry
// right-aligned in 8 characters, no other separators, so that entries of 8
// digits touch) or numbers separated by blanks, one row a line, several
// partitions separated by empty lines. Every entry is checked as it comes
// (a whole number in 0..bound, rows and columns weakly decreasing, rows of
// one length), so that nothing unchecked ever reaches a tiling, and the
// first fault is named by its line and column. The text is fed in pieces:
// a line of any length is read without being held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/plane_partition.h"

namespace lozengia {

// Where something is in the text: lines and columns counted from 1, a
// column being a byte of its line.
struct TextPlace {
  int64_t line = 0;
  int64_t column = 0;
};

// One partition of the text, and where it stands there.
struct ReadPartition {
  PlanePartition pp;       // S = rows, T - S = cols
  int64_t first_line = 0;  // the line of its first row
  int32_t largest = 0;     // its largest entry, and where it is
  TextPlace largest_at;
};

// The first fault found: where, and what is wrong there.
struct TextFault {
  TextPlace at;
  std::string what;  // empty: no fault
  // "line 3, column 17: entry 5 is larger than ..."
  std::string text() const;
};

// What the reader may take, and what it accepts.
struct PartitionTextLimits {
  // The most bytes its partitions may hold at once; more is refused as a
  // fault, before it is allocated.
  uint64_t max_bytes = UINT64_MAX;
  // The largest entry accepted (the box's height N, when it is known).
  int64_t largest_entry = INT32_MAX;
};

class PartitionTextReader {
 public:
  explicit PartitionTextReader(const PartitionTextLimits& limits = {});
  // Reads the next piece of the text; false once a fault is found (fault()
  // says which), after which nothing more is read.
  bool feed(const char* data, std::size_t size);
  // The text has ended: reads its last line, and faults a text that holds
  // no partition at all.
  bool finish();
  const TextFault& fault() const { return fault_; }
  std::vector<ReadPartition>& partitions() { return partitions_; }

 private:
  void take(char ch);
  void end_token();
  void end_line();
  void add_row(const std::vector<int64_t>& values, const std::vector<int64_t>& columns);
  bool fail(TextPlace at, std::string what);
  bool room_for(uint64_t more_entries);

  PartitionTextLimits limits_;
  TextFault fault_;
  std::vector<ReadPartition> partitions_;
  bool open_ = false;           // the last partition takes more rows
  uint64_t held_bytes_ = 0;     // entries allocated by the partitions before the last
  int64_t line_ = 1, col_ = 0;  // col_: bytes of the line read so far
  bool pending_cr_ = false;

  // The line as blank-separated numbers.
  bool in_token_ = false;
  int64_t token_col_ = 0, token_value_ = 0;
  std::string token_text_;  // its first characters, for a message
  bool token_number_ = true, token_negative_ = false;
  std::vector<int64_t> values_, columns_;
  TextFault line_fault_;  // the first fault of this reading of the line

  // The same line as fields of 8 characters (the export's form).
  bool fixed_ = true, field_digit_ = false;
  int64_t field_value_ = 0;
  std::vector<int64_t> fields_;
};

// Empty when every entry of `r` lies in 0..N; otherwise "line L, column C:
// entry X exceeds N = n", the place of its largest entry.
std::string check_partition_bound(const ReadPartition& r, int64_t N);

}  // namespace lozengia
