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
  // Each value falls back to its default alone: a bad style line does not
  // cost the user's colours, nor a bad colour the other two.
  const LozengeColors defaults;
  Rgb* const targets[3] = {&cfg.colors.flat, &cfg.colors.rising, &cfg.colors.hexagon};
  const Rgb fallback[3] = {defaults.flat, defaults.rising, defaults.hexagon};
  std::vector<std::string> taken;
  bool all_good = static_cast<int>(lines.size()) == kLinesRead;
  for (int k = 0; k < 3; ++k) {
    const int at = 14 + k;
    Rgb c = 0;
    if (at < static_cast<int>(lines.size()) && parse_color(lines[at], c)) {
      *targets[k] = c;
      taken.push_back("colour " + std::to_string(k + 1));
    } else {
      *targets[k] = fallback[k];
      all_good = false;
    }
  }
  int32_t style = 0;
  const bool style_read = 18 < static_cast<int>(lines.size()) && parse_style(lines[18], style);
  if (style_read) {
    if (style >= 1 && style <= 4) cfg.style = style;
    taken.push_back("style");
  } else {
    all_good = false;
  }
  if (!all_good) {
    cfg.message = {
        "Configuration file config.cfg not found or in bad format. Default values are loaded."};
    if (!taken.empty()) {
      std::string l = "Read from config.cfg all the same:";
      for (std::size_t i = 0; i < taken.size(); ++i) l += (i ? ", " : " ") + taken[i];
      cfg.message.push_back(l + ".");
    }
    cfg.message.push_back("");
    return cfg;
  }
  cfg.loaded = true;
  cfg.message = {"Colors loaded from config.cfg. Blue-Green-Red format:",
                 color_field(cfg.colors.flat) + color_field(cfg.colors.rising) +
                     color_field(cfg.colors.hexagon),
                 ""};
  return cfg;
}

ColorConfig load_color_config(const std::string& path) {
  // Only a regular file is read: opening a pipe would wait for a writer
  // forever and a device may never end. The open does not block, and the
  // check is made on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return parse_color_config("");
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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
