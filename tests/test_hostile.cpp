// Input nobody should trust: colour files of any bytes, typed fields and
// command-line options of any text, hexagons too large to hold. Each case must
// end in the values it can read or in the program's message, never in a crash,
// a hang or a half-changed state.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "cli/cli_app.h"
#include "core/hexagon.h"
#include "core/params.h"
#include "core/step_command.h"
#include "render/color_config.h"
#include "support/config_text.h"
#include "support/files.h"
#include "support/models.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

const char* const kConfigBad =
    "Configuration file config.cfg not found or in bad format. Default values are loaded.";

using testing::config_text;

// The colours and style used when no colour file can be read.
TEST(HostileConfig, TheDefaults) {
  const ColorConfig defaults;
  EXPECT_EQ(defaults.colors.flat, Rgb{0xD0FFD0});
  EXPECT_EQ(defaults.colors.rising, Rgb{0xD0D0FF});
  EXPECT_EQ(defaults.colors.hexagon, Rgb{0xDDB0B0});
  EXPECT_EQ(defaults.style, 2);  // with borders
}

void expect_defaults(const ColorConfig& cfg, const std::string& what) {
  const ColorConfig defaults;
  EXPECT_FALSE(cfg.loaded) << what;
  EXPECT_EQ(cfg.colors.flat, defaults.colors.flat) << what;
  EXPECT_EQ(cfg.colors.rising, defaults.colors.rising) << what;
  EXPECT_EQ(cfg.colors.hexagon, defaults.colors.hexagon) << what;
  EXPECT_EQ(cfg.style, defaults.style) << what;
  ASSERT_GE(cfg.message.size(), 2u) << what;
  EXPECT_EQ(cfg.message[0], kConfigBad) << what;
  EXPECT_EQ(cfg.message.back(), "") << what;
  // Each line in between names a line that was missing or bad; nothing is
  // said to be read.
  for (std::size_t i = 1; i + 1 < cfg.message.size(); ++i)
    EXPECT_EQ(cfg.message[i].rfind("Line ", 0), 0u) << what << ": " << cfg.message[i];
}

std::string random_bytes(std::size_t n, uint32_t seed, bool with_newlines) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) {
    c = static_cast<char>(gen() & 0xFF);
    if (!with_newlines && c == '\n') c = 'x';
  }
  return s;
}

TEST(HostileConfig, UnreadableTextGivesTheDefaultsAndTheMessage) {
  std::string ten_mb_line = config_text();
  ten_mb_line.insert(ten_mb_line.find("B0B0DD"), std::string(10 << 20, 'Z'));
  const std::string nul_in_colour = config_text(std::string("B0\0DDD", 6));
  std::string five_lines;
  for (int i = 0; i < 5; ++i) five_lines += "FFFFFF\n";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"binary", random_bytes(4096, 1, true)},
      {"binary without newlines", random_bytes(4096, 2, false)},
      {"10 MB without a newline", std::string(10 << 20, 'A')},
      {"five lines", five_lines},
  };
  for (const auto& c : cases) expect_defaults(parse_color_config(c.text), c.what);
  // An empty file, as a missing one, gives the message alone.
  EXPECT_EQ(parse_color_config("").message.size(), 2u);
}

// A bad colour or style line falls back to its own default; the other values
// are still taken and the bad-format message is shown.
TEST(HostileConfig, ABadLineFallsBackAlone) {
  std::string ten_mb_line = config_text();
  ten_mb_line.insert(ten_mb_line.find("B0B0DD"), std::string(10 << 20, 'Z'));
  const std::string nul_in_colour = config_text(std::string("B0\0DDD", 6));
  const ColorConfig defaults;
  const Rgb d1 = defaults.colors.flat, d2 = defaults.colors.rising, d3 = defaults.colors.hexagon;
  const int32_t ds = defaults.style;
  const struct {
    const char* what;
    std::string text;
    Rgb c1, c2, c3;
    int32_t style;
  } cases[] = {
      {"twenty lines", config_text().substr(0, config_text().rfind("free text")), 0xB0B0DD,
       0xD0FFD0, 0xFFD0D0, 3},
      {"a 10 MB line before the colours", ten_mb_line, d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"colour not hexadecimal", config_text("GGGGGG"), d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"negative colour", config_text("-1"), d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"colour with a sign", config_text("+FFFF"), d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"empty colour", config_text("B0B0DD", ""), 0xB0B0DD, d2, 0xFFD0D0, 3},
      {"blank colour", config_text("B0B0DD", "D0FFD0", "      "), 0xB0B0DD, 0xD0FFD0, d3, 3},
      {"colour with a NUL", nul_in_colour, d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"colour with text inside the field", config_text("12 34"), d1, 0xD0FFD0, 0xFFD0D0, 3},
      {"style not a number", config_text("B0B0DD", "D0FFD0", "FFD0D0", "two"), 0xB0B0DD, 0xD0FFD0,
       0xFFD0D0, ds},
      {"style overflowing 32 bits", config_text("B0B0DD", "D0FFD0", "FFD0D0", "99999999999"),
       0xB0B0DD, 0xD0FFD0, 0xFFD0D0, ds},
      {"style huge", config_text("B0B0DD", "D0FFD0", "FFD0D0", std::string(400, '9')), 0xB0B0DD,
       0xD0FFD0, 0xFFD0D0, ds},
      {"style glued to text", config_text("B0B0DD", "D0FFD0", "FFD0D0", "3styles"), 0xB0B0DD,
       0xD0FFD0, 0xFFD0D0, ds},
      {"style as a real", config_text("B0B0DD", "D0FFD0", "FFD0D0", "3.0"), 0xB0B0DD, 0xD0FFD0,
       0xFFD0D0, ds},
      {"style hexadecimal", config_text("B0B0DD", "D0FFD0", "FFD0D0", "0x3"), 0xB0B0DD, 0xD0FFD0,
       0xFFD0D0, ds},
      {"style empty", config_text("B0B0DD", "D0FFD0", "FFD0D0", ""), 0xB0B0DD, 0xD0FFD0, 0xFFD0D0,
       ds},
      {"style a sign alone", config_text("B0B0DD", "D0FFD0", "FFD0D0", "-"), 0xB0B0DD, 0xD0FFD0,
       0xFFD0D0, ds},
  };
  for (const auto& c : cases) {
    const ColorConfig cfg = parse_color_config(c.text);
    EXPECT_FALSE(cfg.loaded) << c.what;
    EXPECT_EQ(cfg.colors.flat, c.c1) << c.what;
    EXPECT_EQ(cfg.colors.rising, c.c2) << c.what;
    EXPECT_EQ(cfg.colors.hexagon, c.c3) << c.what;
    EXPECT_EQ(cfg.style, c.style) << c.what;
    ASSERT_GE(cfg.message.size(), 2u) << c.what;
    EXPECT_EQ(cfg.message[0], kConfigBad) << c.what;
    EXPECT_EQ(cfg.message.back(), "") << c.what;
  }
}

TEST(HostileConfig, ReadableColoursAreTakenWhateverSurroundsThem) {
  std::string five_hundred = config_text();
  for (int i = 0; i < 479; ++i) five_hundred += random_bytes(80, 100 + i, false) + "\n";
  std::string binary_comments = config_text();
  binary_comments.replace(0, 9, std::string("\0\xff\x01\x80\r\t\v\f\x7f", 9));
  const struct {
    const char* what;
    std::string text;
    Rgb c1;
    int32_t style;
    const char* note = nullptr;  // the line that says a style was ignored
  } cases[] = {
      {"plain", config_text(), 0xB0B0DD, 3},
      {"CRLF line ends", config_text("B0B0DD", "D0FFD0", "FFD0D0", "3", "\r\n"), 0xB0B0DD, 3},
      {"500 lines", five_hundred, 0xB0B0DD, 3},
      {"binary comments", binary_comments, 0xB0B0DD, 3},
      // The field is six characters: what follows it on the line is not read,
      // so no colour can exceed 0xFFFFFF.
      {"seven digits", config_text("FFFFFFF"), 0xFFFFFF, 3},
      {"long line after the field", config_text("000001" + std::string(1 << 20, '#')), 1, 3},
      {"short field with blanks", config_text("  ff  "), 0xFF, 3},
      {"style 0 ignored", config_text("B0B0DD", "D0FFD0", "FFD0D0", "0"), 0xB0B0DD, kStyleBorders,
       "Line 19 (style): 0 is not a style from 1 to 4; style 2 is used."},
      {"style 5 ignored", config_text("B0B0DD", "D0FFD0", "FFD0D0", "5"), 0xB0B0DD, kStyleBorders,
       "Line 19 (style): 5 is not a style from 1 to 4; style 2 is used."},
      {"style negative ignored", config_text("B0B0DD", "D0FFD0", "FFD0D0", "-7"), 0xB0B0DD,
       kStyleBorders, "Line 19 (style): -7 is not a style from 1 to 4; style 2 is used."},
      {"style at the 32-bit limit ignored",
       config_text("B0B0DD", "D0FFD0", "FFD0D0", "-2147483648"), 0xB0B0DD, kStyleBorders,
       "Line 19 (style): -2147483648 is not a style from 1 to 4; style 2 is used."},
      {"style with blanks", config_text("B0B0DD", "D0FFD0", "FFD0D0", "  4 "), 0xB0B0DD, 4},
      {"style with a comment", config_text("B0B0DD", "D0FFD0", "FFD0D0", "3 styles"), 0xB0B0DD, 3},
  };
  for (const auto& c : cases) {
    const ColorConfig cfg = parse_color_config(c.text);
    EXPECT_TRUE(cfg.loaded) << c.what;
    EXPECT_EQ(cfg.colors.flat, c.c1) << c.what;
    EXPECT_EQ(cfg.colors.rising, Rgb{0xD0FFD0}) << c.what;
    EXPECT_EQ(cfg.colors.hexagon, Rgb{0xFFD0D0}) << c.what;
    EXPECT_EQ(cfg.style, c.style) << c.what;
    ASSERT_EQ(cfg.message.size(), c.note ? 4u : 3u) << c.what;
    EXPECT_EQ(cfg.message[0], "Colors loaded from config.cfg. Blue-Green-Red format:") << c.what;
    EXPECT_EQ(cfg.message[1].size(), 24u) << c.what;  // three 8-character fields
    if (c.note) {
      EXPECT_EQ(cfg.message[2], c.note) << c.what;
    }
    EXPECT_EQ(cfg.message.back(), "") << c.what;
  }
  // The colours are shown in hexadecimal, right-aligned, without leading zeros.
  const ColorConfig shown = parse_color_config(config_text("0000FF", "00FF00", "FF0000", "3"));
  ASSERT_EQ(shown.message.size(), 3u);
  EXPECT_EQ(shown.message[1], "      FF    FF00  FF0000");
}

class HostileConfigFile : public ::testing::Test {
 protected:
  testing::TempDir dir{"lozengia-hostile"};
};

// Things that are not a colour file at all must not block or crash start-up:
// a missing file, a folder, a pipe nobody writes to, endless devices.
TEST_F(HostileConfigFile, SpecialFilesGiveTheDefaults) {
  expect_defaults(load_color_config((dir / "missing.cfg").string()), "missing");
  expect_defaults(load_color_config(dir.str()), "a folder");
  const std::string fifo = (dir / "fifo.cfg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  expect_defaults(load_color_config(fifo), "a pipe without a writer");
  if (std::filesystem::exists("/dev/zero")) {
    expect_defaults(load_color_config("/dev/zero"), "/dev/zero");
  }
  if (std::filesystem::exists("/dev/urandom")) {
    expect_defaults(load_color_config("/dev/urandom"), "/dev/urandom");
  }
  // A large file of garbage is read only as far as a colour file can go.
  const std::string big = (dir / "big.cfg").string();
  testing::write_file(big, random_bytes(3 << 20, 7, true));
  expect_defaults(load_color_config(big), "3 MB of random bytes");
  // A good file is read, also behind a symbolic link.
  const std::string good = (dir / "good.cfg").string();
  testing::write_file(good, config_text("00FF00", "FF0000", "0000FF", "4"));
  EXPECT_EQ(load_color_config(good).colors.flat, Rgb{0x00FF00});
  std::filesystem::create_symlink(good, dir / "link.cfg");
  const ColorConfig linked = load_color_config((dir / "link.cfg").string());
  EXPECT_TRUE(linked.loaded);
  EXPECT_EQ(linked.colors.flat, Rgb{0x00FF00});
  EXPECT_EQ(linked.colors.rising, Rgb{0xFF0000});
  EXPECT_EQ(linked.colors.hexagon, Rgb{0x0000FF});
  EXPECT_EQ(linked.style, 4);
}

// Typed numbers: (text, accepted by the integer reader, accepted by the real
// reader). Everything refused by a reader is "Bad Input" in the dialog.
TEST(HostileFields, StrictNumberReaders) {
  const struct {
    std::string text;
    bool as_int, as_real;
  } cases[] = {
      {"7", true, true},
      {" 7\t", true, true},
      {"+7", true, true},
      {"-2147483648", true, true},
      {"2147483647", true, true},
      {"2147483648", false, true},
      {"-2147483649", false, true},
      {"99999999999999999999999999", false, true},
      {std::string(5000, '9'), false, false},  // beyond the double range
      {"1e400", false, false},
      {"-1e400", false, false},
      {"1d3", false, true},
      {"1E3", false, true},
      {"nan", false, false},
      {"NaN", false, false},
      {"-nan", false, false},
      {"inf", false, false},
      {"-inf", false, false},
      {"infinity", false, false},
      {"0x10", false, false},
      {"0X1p3", false, false},
      {"010", true, true},  // decimal ten, not octal
      {"7x", false, false},
      {"7 7", false, false},
      {"7,5", false, false},
      {"7.5.1", false, false},
      {"1e", false, false},
      {"e5", false, false},
      {".", false, false},
      {"+", false, false},
      {"-", false, false},
      {"+-1", false, false},
      {"++1", false, false},
      {"--1", false, false},
      {"", false, false},
      {"   ", false, false},
      {std::string("7\0", 2), false, false},
      {"\xd9\xa3", false, false},   // a non-ASCII digit
      {"7\xc2\xa0", false, false},  // followed by a no-break space
  };
  for (const auto& c : cases) {
    int32_t i = -12345;
    double r = -12345.0;
    EXPECT_EQ(parse_int32(c.text, i), c.as_int) << "int '" << c.text.substr(0, 40) << "'";
    EXPECT_EQ(parse_real(c.text, r), c.as_real) << "real '" << c.text.substr(0, 40) << "'";
    if (!c.as_int) {
      EXPECT_EQ(i, -12345) << "a refused text changed the value";
    }
    if (c.as_real) {
      EXPECT_TRUE(std::isfinite(r)) << c.text.substr(0, 40);
    }
  }
  // What is accepted is read as the number it shows.
  const struct {
    std::string text;
    double value;
  } reals[] = {{"1d3", 1000.0},
               {"1E3", 1000.0},
               {" 7\t", 7.0},
               {"+7", 7.0},
               {"-2147483649", -2147483649.0},
               {"99999999999999999999999999", 1e26}};
  for (const auto& c : reals) {
    double v = 0;
    ASSERT_TRUE(parse_real(c.text, v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  const struct {
    std::string text;
    int32_t value;
  } ints[] = {
      {"010", 10}, {" 7\t", 7}, {"+7", 7}, {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}};
  for (const auto& c : ints) {
    int32_t n = 0;
    ASSERT_TRUE(parse_int32(c.text, n)) << c.text;
    EXPECT_EQ(n, c.value) << c.text;
  }
}

std::vector<std::string> hostile_texts(bool integer_field) {
  std::vector<std::string> t = {"",
                                " ",
                                "x",
                                "1e400",
                                "-1e400",
                                "nan",
                                "inf",
                                "-inf",
                                "0x10",
                                "7x",
                                "+",
                                "-",
                                "--1",
                                "+-2",
                                "1,5",
                                "\xff\xfe",
                                std::string("2\0", 2)};
  // Good reals, but no integers.
  if (integer_field)
    for (const char* x : {"99999999999999999999", "2147483648", "-2147483649", "1.5", "1e3"})
      t.push_back(x);
  return t;
}

// Every field a model reads refuses every hostile text with "Bad Input" and
// the field's name, whatever the other (valid) fields hold; fields the model
// does not read are ignored.
TEST(HostileFields, EveryReadFieldOfEveryModelRefusesGarbage) {
  auto valid = [](ModelKind kind) {
    NewHexagonInput in = testing::hexagon_input(kind, "3", "6", "2");
    in.q = "0.5";
    in.kappa = "2";
    in.logq_or_K = kind == kRacah ? "10" : "-10";
    in.alpha = "0.1";
    in.beta = "1";
    return in;
  };
  using Field = std::string NewHexagonInput::*;
  const struct {
    const char* name;
    Field field;
    std::vector<ModelKind> kinds;  // the models that read it
  } fields[] = {
      {"N", &NewHexagonInput::N, {std::begin(kAllModelKinds), std::end(kAllModelKinds)}},
      {"T", &NewHexagonInput::T, {std::begin(kAllModelKinds), std::end(kAllModelKinds)}},
      {"S", &NewHexagonInput::S, {std::begin(kAllModelKinds), std::end(kAllModelKinds)}},
      {"q", &NewHexagonInput::q, {kImaginaryQRacah, kRealQRacah, kQHahn}},
      {"kappa", &NewHexagonInput::kappa, {kImaginaryQRacah}},
      {"log_q(kappa) or K", &NewHexagonInput::logq_or_K, {kRealQRacah, kRacah}},
      {"alpha", &NewHexagonInput::alpha, {kTrigonometric}},
      {"beta", &NewHexagonInput::beta, {kTrigonometric}},
  };
  for (ModelKind kind : kAllModelKinds) {
    ASSERT_TRUE(check_new_hexagon(valid(kind)).ok) << kind;
    for (const auto& f : fields) {
      const bool read = std::find(f.kinds.begin(), f.kinds.end(), kind) != f.kinds.end();
      const bool integer_field = f.field == &NewHexagonInput::N || f.field == &NewHexagonInput::T ||
                                 f.field == &NewHexagonInput::S;
      for (const std::string& text : hostile_texts(integer_field)) {
        NewHexagonInput in = valid(kind);
        in.*f.field = text;
        const NewHexagonResult r = check_new_hexagon(in);
        if (read) {
          EXPECT_FALSE(r.ok) << kind << " " << f.name << "='" << text << "'";
          // The dialog's message, then the field as the model labels it.
          const std::string label =
              f.field == &NewHexagonInput::logq_or_K ? (kind == kRacah ? "K" : "log_q(kappa)")
              : f.field == &NewHexagonInput::kappa   ? "kappa/i"
                                                     : f.name;
          EXPECT_EQ(r.message.substr(0, r.message.find(':')), "Bad Input\n" + label)
              << kind << " " << f.name << "='" << text << "'";
        } else {
          EXPECT_TRUE(r.ok) << kind << " ignores " << f.name << "='" << text << "'";
        }
      }
    }
  }
}

// The step dialogs' two fields: any text that is not a count in range is
// refused, including counts whose sum with S passes 32 bits.
TEST(HostileFields, StepDialogFields) {
  const struct {
    const char *steps, *samples;
    int32_t S, T;
    bool plus, ok;
  } cases[] = {
      {"3", "1", 2, 10, true, true},
      {"8", "1", 2, 10, true, true},
      {"9", "1", 2, 10, true, false},           // past T
      {"2147483647", "1", 2, 10, true, false},  // S+steps passes 32 bits
      {"2147483647", "1", 2147483647, 2147483647, true, false},
      {"2", "1", 2, 10, false, true},
      {"3", "1", 2, 10, false, false},  // below 0
      {"-2147483648", "1", 2, 10, false, false},
      {"0", "1", 2, 10, true, false},
      {"1", "0", 2, 10, true, false},
      {"1", "2147483647", 2, 10, true, true},
      {"1", "2147483648", 2, 10, true, false},
      {"+-1", "1", 2, 10, true, false},
      {"1", "+-1", 2, 10, true, false},
      {"0x2", "1", 2, 10, true, false},
      {"2.0", "1", 2, 10, true, false},
      {"1e1", "1", 2, 10, true, false},
      {"nan", "1", 2, 10, true, false},
      {"1", "inf", 2, 10, true, false},
      {"", "1", 2, 10, true, false},
      {"1", "", 2, 10, true, false},
      {"-", "1", 2, 10, true, false},
      {" 4 ", " +2 ", 2, 10, true, true},
  };
  for (const auto& c : cases) {
    int32_t steps = -7, samples = -7;
    const bool ok = check_step_fields(c.steps, c.samples, c.S, c.T, c.plus, steps, samples);
    EXPECT_EQ(ok, c.ok) << c.steps << " " << c.samples << " S=" << c.S << " T=" << c.T;
    if (!ok) {
      EXPECT_EQ(steps, -7) << "a refused entry changed the step count";
      EXPECT_EQ(samples, -7);
    }
  }
}

// Numbers that read well but overflow what is computed from them: every
// stored value of an accepted model is finite, and a refusal says why.
TEST(HostileFields, ExtremeValuesNeverStoreNonFiniteParameters) {
  const struct {
    ModelKind kind;
    const char *q, *kappa, *logq_or_K, *alpha, *beta;
    bool ok;
  } cases[] = {
      {kQHahn, "1e-300", "", "", "", "", true},
      {kQHahn, "1e300", "", "", "", "", true},
      {kQHahn, "4.9e-324", "", "", "", "", true},              // the smallest double
      {kImaginaryQRacah, "0.5", "1e200", "", "", "", false},   // kappa^2 overflows
      {kImaginaryQRacah, "0.5", "1e-200", "", "", "", false},  // kappa^2 underflows to 0
      {kImaginaryQRacah, "0.5", "1e150", "", "", "", true},
      {kImaginaryQRacah, "4.9e-324", "2", "", "", "", false},  // 1/q overflows
      {kRealQRacah, "0.5", "", "1e6", "", "", false},          // q^(2L) underflows
      {kRealQRacah, "2", "", "1e6", "", "", false},            // q^(2L) overflows
      {kRealQRacah, "2", "", "-1e6", "", "", false},
      {kRealQRacah, "2", "", "100", "", "", true},
      {kRacah, "", "", "1.7e308", "", "", true},
      {kRacah, "", "", "-1.7e308", "", "", true},
      {kTrigonometric, "", "", "", "1e308", "0", false},  // ends at -inf and +inf
      {kTrigonometric, "", "", "", "-1e308", "1e308", false},
      {kTrigonometric, "", "", "", "0", "1", false},  // all weights 0/0
      {kTrigonometric, "", "", "", "1e-300", "1", true},
      // Ends in one interval of the dialog's 3.14159 but on both sides of a
      // true multiple of pi (318311*pi = 1000003.499): the weights change sign.
      {kTrigonometric, "", "", "", "0.01", "1000003.5", false},
      {kTrigonometric, "", "", "", "0.01", "1000001", true},
      // A beta so large that the range rounds to one point.
      {kTrigonometric, "", "", "", "0.1", "33333333333335", false},
      {kTrigonometric, "", "", "", "0.5", "1e30", false},
  };
  for (const auto& c : cases) {
    NewHexagonInput in = testing::hexagon_input(c.kind, "3", "6", "2");
    in.q = c.q;
    in.kappa = c.kappa;
    in.logq_or_K = c.logq_or_K;
    in.alpha = c.alpha;
    in.beta = c.beta;
    const NewHexagonResult r = check_new_hexagon(in);
    const std::string what = std::string(kModelNames[c.kind]) + " q=" + c.q + " kappa=" + c.kappa +
                             " L/K=" + c.logq_or_K + " alpha=" + c.alpha + " beta=" + c.beta;
    EXPECT_EQ(r.ok, c.ok) << what << ": " << r.message;
    if (r.ok) {
      const ModelParams& m = r.params.model;
      EXPECT_TRUE(std::isfinite(m.q) && std::isfinite(m.K) && std::isfinite(m.alpha) &&
                  std::isfinite(m.beta))
          << what;
      EXPECT_GT(m.q, 0.0) << what;
    } else {
      EXPECT_FALSE(r.message.empty()) << what;
    }
  }
}

// Shapes whose arrays cannot be indexed or held are refused with a message
// before anything is allocated, and the hexagon in use stays as it was.
TEST(HostileSizes, HugeHexagonsAreRefusedAndTheOldOneKept) {
  const struct {
    const char *N, *T;
  } shapes[] = {
      {"2147483647", "2147483647"},  // N*(T+1) overflows 64 bits' half
      {"1", "2147483647"},           // T+1 overflows 32 bits
      {"65536", "65536"},            // N*(T+1) passes 2^31
      {"46341", "46340"},            // just past 2^31 elements
      {"1073741823", "1"},           // indexable, but 32 GiB for the four arrays
  };
  const uint64_t memory = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) *
                          static_cast<uint64_t>(sysconf(_SC_PAGE_SIZE));
  for (const auto& s : shapes) {
    // On a machine that could hold it, the last shape is a fair request.
    if (std::string(s.N) == "1073741823" && memory > (uint64_t{30} << 30)) continue;
    const NewHexagonResult r = check_new_hexagon(testing::hexagon_input(kHahn, s.N, s.T, "0"));
    EXPECT_FALSE(r.ok) << s.N << " x " << s.T;
    EXPECT_NE(r.message.find("too large"), std::string::npos) << r.message;

    Hexagon hex = default_hexagon();
    const Hexagon before = hex;
    HexagonParams p;
    p.N = std::stoi(s.N);
    p.T = std::stoi(s.T);
    p.S = 0;
    const std::string why = set_hexagon(hex, p);
    EXPECT_NE(why.find("too large"), std::string::npos) << s.N << " x " << s.T;
    EXPECT_EQ(hex.params.N, before.params.N);
    EXPECT_EQ(hex.params.T, before.params.T);
    EXPECT_TRUE(hex.paths == before.paths);
    EXPECT_EQ(check_invariants(hex.paths, hex.params.N, hex.params.T, hex.params.S), "");
  }
  // Arrays that fit, with a model whose tables and sweep buffers do not (many
  // paths, one slice): in a child whose address space is limited, refused
  // with what it needs, before anything is allocated, the old hexagon kept.
  // (A sanitizer's shadow memory cannot be mapped in so small a space.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  const int status = testing::in_child([] {
    const rlimit space{rlim_t{1} << 30, rlim_t{1} << 30};
    if (::setrlimit(RLIMIT_AS, &space) != 0) return 3;
    Hexagon hex = default_hexagon();
    HexagonParams p;
    p.N = 20'000'000;
    p.T = 1;
    p.model.kind = kRacah;
    p.model.K = -30'000'000.0;
    const std::string why = set_hexagon(hex, p);
    if (why.rfind("Not enough memory for a hexagon of this size: needs ", 0) != 0) return 1;
    return hex.params.N == 50 && check_invariants(hex.paths, 50, 100, 0).empty() ? 0 : 2;
  });
  EXPECT_EQ(status, 0) << "1: not refused with what it needs, 2: the old hexagon changed";
#endif
  // The index limit is exact: 2^31-1 elements can be indexed, one more cannot.
  EXPECT_EQ(check_shape(1, 2147483646, 1).find("index"), std::string::npos);
  EXPECT_NE(check_shape(1, 2147483647, 1).find("index"), std::string::npos);
  EXPECT_NE(check_shape(2, 1073741823, 1).find("index"), std::string::npos);
  EXPECT_EQ(check_shape(0, 5), "Bad Input");
  EXPECT_EQ(check_shape(5, -1), "Bad Input");
}

struct CliCase {
  std::vector<std::string> args;
  CliParse want;
  const char* message;  // a part of what goes to standard error
};

CliParse parse(const std::vector<std::string>& args, std::string& err_text, CliOptions& opts,
               std::string* out_text = nullptr) {
  std::vector<const char*> argv{"lozengia-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const CliParse r = parse_cli(static_cast<int>(argv.size()), argv.data(), out, err, opts);
  err_text = err.str();
  if (out_text) *out_text = out.str();
  return r;
}

// The command line is read without sampling anything; every bad text ends in
// a clear message and exit status 2.
TEST(HostileCli, OptionsOfAnyTextAreReadOrRefusedClearly) {
  const CliCase cases[] = {
      {{"-N", "99999999999"}, CliParse::kBadInput, "Bad Input\nN: an integer of at least 1"},
      {{"-N", "1e400"}, CliParse::kBadInput, "Bad Input\nN:"},
      {{"-T", "nan"}, CliParse::kBadInput, "Bad Input\nT:"},
      {{"-S", "0x10"}, CliParse::kBadInput, "Bad Input\nS: an integer from 0 to T; T is 100"},
      {{"-N", "-"}, CliParse::kBadInput, "Bad Input"},
      {{"-N", "5abc"}, CliParse::kBadInput, "Bad Input"},
      {{"--model", "q-hahn", "--q", "inf"}, CliParse::kBadInput, "Bad Input\nq:"},
      {{"--model", "racah", "--K", "1e400"}, CliParse::kBadInput, "Bad Input\nK:"},
      {{"--model", "7"}, CliParse::kBadInput, "Unknown model"},
      {{"--model", "0x5"}, CliParse::kBadInput, "Unknown model"},
      {{"--model", ""}, CliParse::kBadInput, "Unknown model"},
      {{"--seed", "99999999999999999999"}, CliParse::kBadInput, "--seed"},
      {{"--seed", "0x10"}, CliParse::kBadInput, "--seed"},
      {{"--seed", "1.5"}, CliParse::kBadInput, "--seed"},
      {{"--seed", "-"}, CliParse::kBadInput, "--seed"},
      {{"--samples", "010"}, CliParse::kRun, ""},  // ten, read as decimal
      {{"--samples", "0"}, CliParse::kBadInput, "--samples"},
      {{"--samples", "2147483648"}, CliParse::kBadInput, "--samples"},
      {{"--samples", "1e3"}, CliParse::kBadInput, "--samples"},
      {{"--count", "-1"}, CliParse::kBadInput, "--count"},
      {{"--count", "1099511627777"}, CliParse::kBadInput, "--count"},
      {{"--count", "1099511627776", "--samples", "2147483647"}, CliParse::kBadInput, "too large"},
      {{"--threads", "0"}, CliParse::kBadInput, "--threads"},
      {{"--threads", "-1"}, CliParse::kBadInput, "--threads"},
      {{"--threads", "4294967297"}, CliParse::kBadInput, "--threads"},
      {{"--style", "0x3"}, CliParse::kBadInput, "--style"},
      {{"--style", "nan"}, CliParse::kBadInput, "--style"},
      {{"--size", "+"}, CliParse::kBadInput, "--size"},
      {{"--size", "99999999999999999999"}, CliParse::kBadInput, "--size"},
      {{"--size", ""}, CliParse::kBadInput, "--size"},
      {{"--max-memory", "12 apples"}, CliParse::kBadInput, "'12 apples' is not a size"},
      {{"--max-memory", "0"}, CliParse::kBadInput, "--max-memory"},
      {{"--max-memory", "-1G"}, CliParse::kBadInput, "--max-memory"},
      {{"--max-memory", "1e9"}, CliParse::kBadInput, "--max-memory"},
      {{"--max-memory", " 1.5GiB "}, CliParse::kRun, ""},
      {{"-N"}, CliParse::kBadInput, "--help"},
      {{"--no-such"}, CliParse::kBadInput, "--help"},
      {{"stray"}, CliParse::kBadInput, "--help"},
      {{"-N", "2147483647", "-T", "2147483647", "-S", "0"}, CliParse::kBadInput, "too large"},
      {{"--help"}, CliParse::kHelp, ""},
  };
  for (const CliCase& c : cases) {
    std::string err;
    CliOptions opts;
    std::string line;
    for (const auto& a : c.args) line += "'" + a + "' ";
    EXPECT_EQ(parse(c.args, err, opts), c.want) << line << err;
    if (c.want == CliParse::kBadInput) {
      EXPECT_NE(err.find(c.message), std::string::npos) << line << err;
      EXPECT_NE(err.find("Run 'lozengia-cli --help'"), std::string::npos) << line << err;
    } else {
      EXPECT_EQ(err, "") << line;  // what is read or asked for is no error
    }
  }
  {
    std::string err, out;
    CliOptions opts;
    ASSERT_EQ(parse({"--help"}, err, opts, &out), CliParse::kHelp);
    EXPECT_NE(out.find("--model"), std::string::npos) << out;
    EXPECT_NE(out.find("--seed"), std::string::npos) << out;
  }
  std::string err;
  CliOptions opts;
  ASSERT_EQ(parse({"--model", "racah", "--K", " 1e3 ", "-N", "+4", "-T", "8", "-S", "3", "--seed",
                   "-5", "--samples", "010", "--threads", "3", "--style", "4"},
                  err, opts),
            CliParse::kRun)
      << err;
  EXPECT_EQ(opts.params.model.kind, kRacah);
  EXPECT_EQ(opts.params.model.K, 1000.0);
  EXPECT_EQ(opts.params.N, 4);
  EXPECT_EQ(opts.seed, -5);
  EXPECT_TRUE(opts.seed_given);
  EXPECT_EQ(opts.samples, 10);
  EXPECT_EQ(opts.threads, 3u);
  EXPECT_EQ(opts.style, 4);
  EXPECT_EQ(opts.max_memory, 0u);  // the machine's room when not given
  ASSERT_EQ(parse({"--max-memory", "16G"}, err, opts), CliParse::kRun) << err;
  EXPECT_EQ(opts.max_memory, 16'000'000'000u);
}

}  // namespace
}  // namespace lozengia
