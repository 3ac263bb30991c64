// What the C++ library of Debian's emscripten (libc++ 13) lacks of C++20 and
// the core uses: std::bit_cast and the floating-point <charconv> conversions.
// Force-included (-include) into every file of the web build only; the
// native builds use their library's own. Each stands in for the standard
// function with the standard's result:
//  - to_chars(first, last, v): the shortest digits that read back as v, in
//    fixed notation when that is not longer than scientific (an integral
//    value in fixed notation shows its exact digits);
//  - to_chars(first, last, v, general, precision): printf's %.{precision}g;
//  - from_chars(first, last, v, general): the longest prefix that is a
//    decimal number (no leading blank or '+', no hex), out-of-range values
//    (overflow, or a nonzero number below the smallest subnormal) refused
//    with v untouched.
#pragma once

#include <bit>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace std {

#ifndef __cpp_lib_bit_cast
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

inline to_chars_result to_chars(char* first, char* last, double v, chars_format, int precision) {
  char buf[512];
  const int n = snprintf(buf, sizeof buf, "%.*g", precision, v);
  if (n < 0 || n >= static_cast<int>(sizeof buf) || n > last - first)
    return {last, errc::value_too_large};
  memcpy(first, buf, static_cast<size_t>(n));
  return {first + n, errc()};
}

inline to_chars_result to_chars(char* first, char* last, double v) {
  string out;
  if (std::isnan(v)) {
    out = std::signbit(v) ? "-nan" : "nan";
  } else if (std::isinf(v)) {
    out = v < 0 ? "-inf" : "inf";
  } else if (v == 0.0) {
    out = std::signbit(v) ? "-0" : "0";
  } else {
    // The fewest significant digits that read back as v.
    char sci[64];
    for (int p = 1; p <= 17; ++p) {
      snprintf(sci, sizeof sci, "%.*e", p - 1, v);
      if (strtod(sci, nullptr) == v) break;
    }
    const char* e = strchr(sci, 'e');
    const int exponent = atoi(e + 1);
    string digits;
    for (const char* c = sci; c < e; ++c)
      if (*c >= '0' && *c <= '9') digits += *c;
    const string sign = v < 0 ? "-" : "";
    // Scientific: d[.ddd]e+XX, the exponent of two digits at least.
    char exp_text[16];
    snprintf(exp_text, sizeof exp_text, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    string scientific = sign + digits.substr(0, 1);
    if (digits.size() > 1) scientific += "." + digits.substr(1);
    scientific += exp_text;
    // Fixed.
    const int n = static_cast<int>(digits.size());
    string fixed;
    if (exponent >= n - 1) {
      char whole[400];
      snprintf(whole, sizeof whole, "%.0f", v);
      fixed = whole;
    } else if (exponent >= 0) {
      fixed = sign + digits.substr(0, static_cast<size_t>(exponent) + 1) + "." +
              digits.substr(static_cast<size_t>(exponent) + 1);
    } else {
      fixed = sign + "0." + string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    out = fixed.size() <= scientific.size() ? fixed : scientific;
  }
  if (static_cast<ptrdiff_t>(out.size()) > last - first) return {last, errc::value_too_large};
  memcpy(first, out.data(), out.size());
  return {first + out.size(), errc()};
}

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  // Only a decimal number: digits with one point, then an exponent.
  const char* digits = p;
  while (p < last && *p >= '0' && *p <= '9') ++p;
  bool any = p > digits;
  if (p < last && *p == '.') {
    ++p;
    const char* frac = p;
    while (p < last && *p >= '0' && *p <= '9') ++p;
    any = any || p > frac;
  }
  if (!any) return {first, errc::invalid_argument};
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < last && (*q == '+' || *q == '-')) ++q;
    const char* exp_digits = q;
    while (q < last && *q >= '0' && *q <= '9') ++q;
    if (q > exp_digits) p = q;
  }
  const string text(first, p);
  errno = 0;
  const double v = strtod(text.c_str(), nullptr);
  bool nonzero_digits = false;
  for (const char* c = first; c < p && *c != 'e' && *c != 'E'; ++c)
    if (*c >= '1' && *c <= '9') nonzero_digits = true;
  if (std::isinf(v) || (v == 0.0 && nonzero_digits)) return {p, errc::result_out_of_range};
  value = v;
  return {p, errc()};
}

}  // namespace std
