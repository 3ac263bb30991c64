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

// The style line holds one integer; trailing text after it is a read error.
bool parse_style(const std::string& line, int32_t& out) {
  const std::string field = trim(line);
  if (field.empty()) return false;
  const char* b = field.data();
  const char* e = b + field.size();
  if (*b == '+') ++b;
  const auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e;
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
  Rgb c1 = 0, c2 = 0, c3 = 0;
  int32_t style = 0;
  const bool ok = static_cast<int>(lines.size()) == kLinesRead && parse_color(lines[14], c1) &&
                  parse_color(lines[15], c2) && parse_color(lines[16], c3) &&
                  parse_style(lines[18], style);
  if (!ok) {
    cfg.message = {
        "Configuration file config.cfg not found or in bad format. Default values are loaded.",
        ""};
    return cfg;
  }
  cfg.loaded = true;
  cfg.colors = {c1, c2, c3};
  if (style >= 1 && style <= 4) cfg.style = style;
  cfg.message = {"Colors loaded from config.cfg. Blue-Green-Red format:",
                 color_field(c1) + color_field(c2) + color_field(c3), ""};
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
