#include "render/color_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace lozengia {

const char* const kConfigFileName = "config.cfg";

namespace {

constexpr int kLinesRead = 21;

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// The colour field is the first six characters of the line; shorter lines are
// padded with blanks. Blanks around the digits are allowed, nothing else.
bool parse_color(const std::string& line, Rgb& out) {
  const std::string field = trim(line.substr(0, 6));
  if (field.empty()) return false;
  unsigned value = 0;
  const auto r = std::from_chars(field.data(), field.data() + field.size(), value, 16);
  if (r.ec != std::errc() || r.ptr != field.data() + field.size()) return false;
  out = value;  // six hex digits never exceed 0xFFFFFF
  return true;
}

// The style line starts with one integer; after a blank, the rest of the line
// is a comment, as after a colour's field ("3  default style").
bool parse_style(const std::string& line, int32_t& out) {
  const std::string field = trim(line);
  if (field.empty()) return false;
  const char* b = field.data();
  const char* e = b + field.size();
  if (*b == '+') ++b;
  const auto r = std::from_chars(b, e, out);
  if (r.ec != std::errc()) return false;
  return r.ptr == e || std::isspace(static_cast<unsigned char>(*r.ptr));
}

}  // namespace

std::string color_field(Rgb c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%8X", static_cast<unsigned>(c));
  return buf;
}

ColorConfig parse_color_config(const std::string& text) {
  ColorConfig cfg;
  std::vector<std::string> lines;
  std::istringstream is(text);
  std::string line;
  while (static_cast<int>(lines.size()) < kLinesRead && std::getline(is, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  const int count = static_cast<int>(lines.size());
  // Each value falls back to its default alone: a bad style line does not
  // cost the user's colours, nor a bad colour the other two. Each line that
  // is missing, bad or ignored is named, and only what was taken is listed.
  const LozengeColors defaults;
  Rgb* const targets[3] = {&cfg.colors.flat, &cfg.colors.rising, &cfg.colors.hexagon};
  const Rgb fallback[3] = {defaults.flat, defaults.rising, defaults.hexagon};
  std::vector<std::string> taken, notes;
  const std::string length = " (the file has " + std::to_string(count) + " lines)";
  for (int k = 0; k < 3; ++k) {
    const int at = 14 + k;
    const std::string what =
        "Line " + std::to_string(at + 1) + " (colour " + std::to_string(k + 1) + ")";
    Rgb c = 0;
    if (at < count && parse_color(lines[at], c)) {
      *targets[k] = c;
      taken.push_back("colour " + std::to_string(k + 1));
      continue;
    }
    *targets[k] = fallback[k];
    notes.push_back(at < count ? what + " does not start with six hexadecimal digits BBGGRR; "
                                        "its default is used."
                               : what + " is missing" + length + "; its default is used.");
  }
  const bool colours_read = taken.size() == 3;
  int32_t style = 0;
  bool style_read = false;
  if (18 >= count) {
    notes.push_back("Line 19 (style) is missing" + length + "; style " +
                    std::to_string(cfg.style) + " is used.");
  } else if (!parse_style(lines[18], style)) {
    notes.push_back("Line 19 (style) does not start with a whole number; style " +
                    std::to_string(cfg.style) + " is used.");
  } else if (style < 1 || style > 4) {
    // Read, but not taken: the file sets one of the four lozenge styles.
    style_read = true;
    notes.push_back("Line 19 (style): " + std::to_string(style) +
                    " is not a style from 1 to 4; style " + std::to_string(cfg.style) +
                    " is used.");
  } else {
    style_read = true;
    cfg.style = static_cast<StyleNumber>(style);  // 1..4, checked above
    taken.push_back("style");
  }
  if (count == kLinesRead && colours_read && style_read) {
    cfg.loaded = true;
    cfg.message = {"Colors loaded from config.cfg. Blue-Green-Red format:",
                   color_field(cfg.colors.flat) + color_field(cfg.colors.rising) +
                       color_field(cfg.colors.hexagon)};
    // A style out of range is ignored, as the format says, and said so.
    cfg.message.insert(cfg.message.end(), notes.begin(), notes.end());
    cfg.message.push_back("");
    return cfg;
  }
  cfg.message = {
      "Configuration file config.cfg not found or in bad format. Default values are loaded."};
  // No file, or an empty one: nothing more to say.
  if (count > 0) {
    if (notes.empty())  // the values were all there, the lines after them not
      cfg.message.push_back("The file has " + std::to_string(count) + " of its " +
                            std::to_string(kLinesRead) + " lines.");
    cfg.message.insert(cfg.message.end(), notes.begin(), notes.end());
    if (!taken.empty()) {
      std::string l = "Read from config.cfg all the same:";
      for (std::size_t i = 0; i < taken.size(); ++i) l += (i ? ", " : " ") + taken[i];
      cfg.message.push_back(l + ".");
    }
  }
  cfg.message.push_back("");
  return cfg;
}

ColorConfig load_color_config(const std::string& path) {
  // Only a regular file is read: opening a pipe would wait for a writer
  // forever and a device may never end. The open does not block, and the
  // check is made on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return parse_color_config("");
  struct stat file_info {};
  if (::fstat(fd, &file_info) != 0 || !S_ISREG(file_info.st_mode)) {
    ::close(fd);
    return parse_color_config("");
  }
  // The file is tiny; anything beyond a sane size is not a colour file.
  std::string text(64 * 1024, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return parse_color_config(text);
}

}  // namespace lozengia
