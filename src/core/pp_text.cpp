#include "core/pp_text.h"

#include <algorithm>
#include <cstdio>

#include "core/memory_limit.h"

namespace lozengia {

namespace {

constexpr std::size_t kTokenTextMax = 24;
// T + 1 slices must be indexable with 32-bit integers.
constexpr int64_t kMaxSide = INT32_MAX - 1;

template <class V>
uint64_t capacity_bytes(const V& v) {
  return static_cast<uint64_t>(v.capacity()) * sizeof(typename V::value_type);
}

std::string quoted(const std::string& text, bool cut) { return "'" + text + (cut ? "...'" : "'"); }

}  // namespace

std::string TextFault::text() const {
  return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column) + ": " + what;
}

PartitionTextReader::PartitionTextReader(const PartitionTextLimits& limits) : limits_(limits) {}

bool PartitionTextReader::fail(TextPlace at, std::string what) {
  if (fault_.what.empty()) fault_ = TextFault{at, std::move(what)};
  return false;
}

// Whether `more_entries` more entries of 8 bytes fit beside what is held;
// the vectors grow by doubling, so a growth is counted at its new capacity.
bool PartitionTextReader::room_for(uint64_t more_entries) {
  uint64_t held =
      held_bytes_ + capacity_bytes(values_) + capacity_bytes(columns_) + capacity_bytes(fields_);
  if (open_) held = add_bytes(held, capacity_bytes(partitions_.back().pp.cells));
  if (add_bytes(held, times_bytes(more_entries, 8)) <= limits_.max_bytes) return true;
  return fail({line_, col_}, "the file's plane partitions need more memory than may be taken (" +
                                 format_bytes(limits_.max_bytes) + ")");
}

bool PartitionTextReader::feed(const char* data, std::size_t size) {
  for (std::size_t k = 0; k < size && fault_.what.empty(); ++k) take(data[k]);
  return fault_.what.empty();
}

void PartitionTextReader::take(char ch) {
  if (pending_cr_) {
    pending_cr_ = false;
    if (ch == '\n') {
      end_line();
      return;
    }
    // A carriage return inside a line separates like a blank, but the line
    // is then no longer in the export's form.
    ++col_;
    end_token();
    fixed_ = false;
  }
  const auto u = static_cast<unsigned char>(ch);
  if (ch == '\n') {
    end_line();
    return;
  }
  if (ch == '\r') {
    pending_cr_ = true;
    return;
  }
  const int64_t pos = col_++;
  // Control bytes and bytes beyond ASCII have no place in the text: such a
  // file is another kind of file (a picture, say), told as such.
  if ((u < 0x20 && ch != '\t') || u >= 0x7f) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "binary data (byte 0x%02x): not a plane partition text file", u);
    fail({line_, col_}, buf);
    return;
  }
  // The export's form: fields of 8 bytes, blanks then digits.
  if (fixed_) {
    const int64_t offset = pos % 8;
    if (offset == 0) {
      field_digit_ = false;
      field_value_ = 0;
    }
    if (ch >= '0' && ch <= '9') {
      field_digit_ = true;
      field_value_ = field_value_ * 10 + (ch - '0');
    } else if (ch != ' ' || field_digit_) {
      fixed_ = false;
    }
    if (fixed_ && offset == 7) {
      if (!field_digit_) {
        fixed_ = false;
      } else {
        if (fields_.size() == fields_.capacity() && !room_for(fields_.size() + 1)) return;
        fields_.push_back(field_value_);
      }
    }
  }
  // Blank-separated numbers.
  if (ch == ' ' || ch == '\t') {
    end_token();
    return;
  }
  if (!in_token_) {
    in_token_ = true;
    token_col_ = col_;
    token_value_ = 0;
    token_text_.clear();
    token_number_ = true;
    token_negative_ = ch == '-';
    if (token_negative_ || ch == '+') {
      token_text_ += ch;
      token_number_ = false;  // until a digit follows
      return;
    }
  }
  if (token_text_.size() < kTokenTextMax + 1) token_text_ += ch;
  if (ch >= '0' && ch <= '9') {
    if (token_text_.size() == 2 && (token_text_[0] == '-' || token_text_[0] == '+'))
      token_number_ = true;
    // Held below 2^62: anything beyond 32 bits is refused all the same.
    token_value_ = std::min<int64_t>(token_value_ * 10 + (ch - '0'), int64_t{1} << 40);
  } else {
    token_number_ = false;
    token_negative_ = false;
  }
}

void PartitionTextReader::end_token() {
  if (!in_token_) return;
  in_token_ = false;
  const bool cut = token_text_.size() > kTokenTextMax;
  const std::string shown = quoted(token_text_.substr(0, kTokenTextMax), cut);
  const TextPlace at{line_, token_col_};
  if (!line_fault_.what.empty()) return;
  if (token_negative_ && token_number_) {
    line_fault_ = {at, "entry " + shown + " is negative: entries lie in 0..N"};
  } else if (!token_number_ || (token_text_[0] == '+')) {
    line_fault_ = {at, shown + " is not a whole number"};
  } else if (token_value_ > limits_.largest_entry) {
    line_fault_ = {at, "entry " + shown + " is too large: entries lie in 0.." +
                           std::to_string(limits_.largest_entry)};
  } else {
    if (values_.size() == values_.capacity() && !room_for(2 * (values_.size() + 1))) return;
    values_.push_back(token_value_);
    columns_.push_back(token_col_);
  }
}

void PartitionTextReader::end_line() {
  end_token();
  if (!fault_.what.empty()) return;
  // A line in the export's form is read by its fields: entries of 8 digits
  // touch there, and read as blank-separated numbers they would merge.
  const bool fixed = fixed_ && col_ > 0 && col_ % 8 == 0;
  if (fixed) {
    std::vector<int64_t> at(fields_.size());
    for (std::size_t k = 0; k < at.size(); ++k) at[k] = static_cast<int64_t>(k) * 8 + 1;
    for (std::size_t k = 0; k < fields_.size(); ++k)
      if (fields_[k] > limits_.largest_entry) {
        fail({line_, at[k]}, "entry " + std::to_string(fields_[k]) +
                                 " is too large: entries lie in 0.." +
                                 std::to_string(limits_.largest_entry));
        return;
      }
    add_row(fields_, at);
  } else if (!line_fault_.what.empty()) {
    fail(line_fault_.at, line_fault_.what);
    return;
  } else {
    add_row(values_, columns_);
  }
  if (!fault_.what.empty()) return;
  ++line_;
  col_ = 0;
  values_.clear();
  columns_.clear();
  fields_.clear();
  line_fault_ = TextFault{};
  fixed_ = true;
  field_digit_ = false;
}

void PartitionTextReader::add_row(const std::vector<int64_t>& values,
                                  const std::vector<int64_t>& columns) {
  if (values.empty()) {  // an empty line ends a partition
    open_ = false;
    return;
  }
  const auto n = static_cast<int64_t>(values.size());
  if (!open_) {
    if (!partitions_.empty()) held_bytes_ += capacity_bytes(partitions_.back().pp.cells);
    if (n > kMaxSide)
      return void(fail({line_, columns[static_cast<std::size_t>(kMaxSide)]},
                       "too many entries on one line: T would pass " + std::to_string(kMaxSide)));
    partitions_.emplace_back();
    ReadPartition& r = partitions_.back();
    r.pp.cols = static_cast<int32_t>(n);
    r.first_line = line_;
    open_ = true;
  }
  ReadPartition& r = partitions_.back();
  PlanePartition& pp = r.pp;
  if (n != pp.cols) {
    const TextPlace at{line_, n > pp.cols ? columns[static_cast<std::size_t>(pp.cols)]
                                          : col_ + 1};  // where the next entry is missing
    return void(fail(at, "this line has " + std::to_string(n) + (n == 1 ? " entry" : " entries") +
                             ", the line above it " + std::to_string(pp.cols) +
                             ": the rows of a plane partition are of one length"));
  }
  if (static_cast<int64_t>(pp.rows) + pp.cols >= kMaxSide)
    return void(fail({line_, 1}, "too many lines: T would pass " + std::to_string(kMaxSide)));
  const std::size_t size = pp.cells.size();
  if (size + values.size() > pp.cells.capacity()) {
    const std::size_t grown = std::max(size + values.size(), size + size / 2);
    // The old cells and the new stay side by side while they are copied.
    if (!room_for((static_cast<uint64_t>(grown) * sizeof(int32_t) + 7) / 8)) return;
    pp.cells.reserve(grown);
  }
  const int32_t* above = pp.rows > 0 ? pp.cells.data() + size - values.size() : nullptr;
  for (std::size_t c = 0; c < values.size(); ++c) {
    const int64_t v = values[c];
    const TextPlace at{line_, columns[c]};
    if (c > 0 && v > values[c - 1])
      return void(fail(at, "entry " + std::to_string(v) + " is larger than the entry " +
                               std::to_string(values[c - 1]) +
                               " left of it: rows must decrease (weakly) to the right"));
    if (above && v > above[c])
      return void(fail(at, "entry " + std::to_string(v) + " is larger than the entry " +
                               std::to_string(above[c]) +
                               " above it: columns must decrease (weakly) downwards"));
    if (v > r.largest || (pp.rows == 0 && c == 0)) {
      r.largest = static_cast<int32_t>(v);
      r.largest_at = at;
    }
  }
  for (const int64_t v : values) pp.cells.push_back(static_cast<int32_t>(v));
  ++pp.rows;
}

bool PartitionTextReader::finish() {
  if (!fault_.what.empty()) return false;
  if (pending_cr_ || col_ > 0 || in_token_) {
    pending_cr_ = false;
    end_line();
    if (!fault_.what.empty()) return false;
  }
  if (partitions_.empty())
    return fail({1, 1},
                "no plane partition in the file: it holds no numbers (a hexagon with S = 0 or "
                "S = T, whose one tiling is exported as an empty file, is made with New hexagon)");
  return true;
}

std::string check_partition_bound(const ReadPartition& r, int64_t N) {
  if (r.largest <= N) return {};
  return TextFault{r.largest_at, "entry " + std::to_string(r.largest) +
                                     " exceeds N = " + std::to_string(N) + ": entries lie in 0..N"}
      .text();
}

}  // namespace lozengia
