#include "render/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace lozengia {

namespace {

// zlib's default level: the files are as small as those of the usual
// encoders, and with the work spread over the bands it costs little more
// than the faster levels.
constexpr int kLevel = 6;
// Bands of at least this many rows: each piece of the stream starts without
// the window of the one before, which costs a little size at each seam.
constexpr int kMinBandRows = 64;
// The compressed data is split into IDAT chunks of this size.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

void put32(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

void put_chunk(std::string& out, const char* type, const char* data, std::size_t size) {
  put32(out, static_cast<uint32_t>(size));
  const std::size_t from = out.size();
  out.append(type, 4);
  if (size > 0) out.append(data, size);
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + from),
                          static_cast<uInt>(size + 4));
  put32(out, static_cast<uint32_t>(crc));
}

// Paeth's predictor, as the format defines it.
inline int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Row y as RGB bytes.
void rgb_row(const PngPixels& im, int y, uint8_t* out) {
  const uint32_t* row = im.pixels + static_cast<std::ptrdiff_t>(y) * im.stride;
  for (int x = 0; x < im.width; ++x) {
    out[3 * x] = static_cast<uint8_t>(row[x] >> 16);
    out[3 * x + 1] = static_cast<uint8_t>(row[x] >> 8);
    out[3 * x + 2] = static_cast<uint8_t>(row[x]);
  }
}

// Appends the filter byte and the filtered row: of the five filters, the one
// whose bytes, taken as signed, have the least sum of magnitudes (the usual
// choice; it suits the flat colours and sharp edges of these pictures).
void filter_row(const uint8_t* cur, const uint8_t* prev, std::size_t n, std::vector<uint8_t>& out,
                std::vector<uint8_t> (&trial)[5]) {
  constexpr std::size_t bpp = 3;
  for (auto& t : trial) t.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int a = i >= bpp ? cur[i - bpp] : 0, b = prev ? prev[i] : 0,
              c = prev && i >= bpp ? prev[i - bpp] : 0;
    trial[0][i] = cur[i];
    trial[1][i] = static_cast<uint8_t>(cur[i] - a);
    trial[2][i] = static_cast<uint8_t>(cur[i] - b);
    trial[3][i] = static_cast<uint8_t>(cur[i] - ((a + b) >> 1));
    trial[4][i] = static_cast<uint8_t>(cur[i] - paeth(a, b, c));
  }
  int best = 0;
  uint64_t best_sum = UINT64_MAX;
  for (int f = 0; f < 5; ++f) {
    uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(trial[f][i])));
    if (sum < best_sum) {
      best_sum = sum;
      best = f;
    }
  }
  out.push_back(static_cast<uint8_t>(best));
  out.insert(out.end(), trial[best].begin(), trial[best].end());
}

// One band's piece of the zlib stream: its rows filtered and deflated as
// they are made (nothing but the compressed bytes is kept), without a header,
// ended on a byte boundary (the last band ends the stream), and the Adler-32
// and length of its uncompressed bytes.
struct Piece {
  std::string deflated;
  uLong adler = 1;
  std::size_t raw_size = 0;
  bool ok = false;
};

void compress_band(const PngPixels& im, int y0, int y1, bool last, Piece& piece) {
  const std::size_t n = static_cast<std::size_t>(im.width) * 3;
  std::vector<uint8_t> cur(n), prev(n), row, trial[5];
  row.reserve(n + 1);
  z_stream z{};
  if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  piece.deflated.resize(std::max<std::size_t>(n, 1 << 16));
  // Deflates what z holds with `flush`, growing the output as needed.
  auto pump = [&](int flush) {
    for (;;) {
      if (piece.deflated.size() - z.total_out < 64) piece.deflated.resize(piece.deflated.size() * 2);
      z.next_out = reinterpret_cast<Bytef*>(piece.deflated.data() + z.total_out);
      z.avail_out = static_cast<uInt>(piece.deflated.size() - z.total_out);
      const int r = deflate(&z, flush);
      if (r == Z_STREAM_END) return true;
      if (r != Z_OK && r != Z_BUF_ERROR) return false;
      // Done when the input is taken and the output did not fill up.
      if (z.avail_in == 0 && z.avail_out > 0 && flush != Z_FINISH) return true;
    }
  };
  bool ok = true;
  if (y0 > 0) rgb_row(im, y0 - 1, prev.data());
  for (int y = y0; y < y1 && ok; ++y) {
    rgb_row(im, y, cur.data());
    row.clear();
    filter_row(cur.data(), y > 0 ? prev.data() : nullptr, n, row, trial);
    piece.adler = adler32(piece.adler, row.data(), static_cast<uInt>(row.size()));
    piece.raw_size += row.size();
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    ok = pump(Z_NO_FLUSH);
    std::swap(cur, prev);
  }
  if (ok) ok = pump(last ? Z_FINISH : Z_SYNC_FLUSH);
  piece.deflated.resize(z.total_out);
  piece.ok = ok;
  deflateEnd(&z);
}

}  // namespace

std::string encode_png(const PngPixels& im, unsigned threads) {
  if (im.pixels == nullptr || im.width < 1 || im.height < 1) return {};
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const int bands = std::clamp(static_cast<int>(threads), 1, std::max(1, im.height / kMinBandRows));
  std::vector<Piece> pieces(static_cast<std::size_t>(bands));
  auto band = [&](int k) {
    const int y0 = static_cast<int>(static_cast<int64_t>(im.height) * k / bands);
    const int y1 = static_cast<int>(static_cast<int64_t>(im.height) * (k + 1) / bands);
    compress_band(im, y0, y1, k == bands - 1, pieces[static_cast<std::size_t>(k)]);
  };
  std::vector<std::thread> pool;
  int started = 1;
  try {
    for (; started < bands; ++started)
      pool.emplace_back(band, started);
  } catch (const std::system_error&) {
    // No more threads to be had: the bands left are compressed here.
  }
  band(0);
  for (int k = started; k < bands; ++k) band(k);
  for (auto& th : pool) th.join();

  std::string idat = {'\x78', '\x9c'};  // deflate, 32 KiB window, default level
  uLong adler = 1;
  for (const Piece& p : pieces) {
    if (!p.ok) return {};
    idat += p.deflated;
    adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.raw_size));
  }
  put32(idat, static_cast<uint32_t>(adler));

  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  put32(ihdr, static_cast<uint32_t>(im.width));
  put32(ihdr, static_cast<uint32_t>(im.height));
  ihdr += {'\x08', '\x02', '\x00', '\x00', '\x00'};  // 8-bit RGB, no interlace
  put_chunk(out, "IHDR", ihdr.data(), ihdr.size());
  for (std::size_t at = 0; at < idat.size(); at += kChunkBytes)
    put_chunk(out, "IDAT", idat.data() + at, std::min(kChunkBytes, idat.size() - at));
  put_chunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace lozengia
