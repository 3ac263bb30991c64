#include "render/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "render/bands.h"

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
  const uLong crc =
      crc32(0L, reinterpret_cast<const Bytef*>(out.data() + from), static_cast<uInt>(size + 4));
  put32(out, static_cast<uint32_t>(crc));
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

// Writes the filter byte and the filtered row to out[0..n]: of the five
// filters, the one whose bytes, taken as signed, have the least sum of
// magnitudes (the usual choice; it suits the flat colours and sharp edges of
// these pictures). `prev` is the row above (zeros above the first);
// `trial` holds 5 n bytes. No branch in the loop, so it is vectorised.
void filter_row(const uint8_t* cur, const uint8_t* prev, std::size_t n, uint8_t* out,
                uint8_t* trial) {
  constexpr std::size_t bpp = 3;
  uint32_t sum[5] = {0, 0, 0, 0, 0};
  auto one = [&](std::size_t i, int a, int b, int c) {
    const int x = cur[i];
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    const uint8_t v[5] = {static_cast<uint8_t>(x), static_cast<uint8_t>(x - a),
                          static_cast<uint8_t>(x - b), static_cast<uint8_t>(x - ((a + b) >> 1)),
                          static_cast<uint8_t>(x - pred)};
    for (int f = 0; f < 5; ++f) {
      trial[f * n + i] = v[f];
      sum[f] += static_cast<uint32_t>(std::abs(static_cast<int8_t>(v[f])));
    }
  };
  for (std::size_t i = 0; i < std::min(bpp, n); ++i) one(i, 0, prev[i], 0);
  for (std::size_t i = bpp; i < n; ++i) one(i, cur[i - bpp], prev[i], prev[i - bpp]);
  int best = 0;
  for (int f = 1; f < 5; ++f)
    if (sum[f] < sum[best]) best = f;
  out[0] = static_cast<uint8_t>(best);
  std::memcpy(out + 1, trial + static_cast<std::size_t>(best) * n, n);
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

// The most a band of `raw` filtered bytes deflates to: deflate's worst case
// (stored blocks, 5 bytes every 16 KiB) with room for the flush. The output is
// sized so once, without growing, and the memory count uses the same bound.
std::size_t band_output_bound(std::size_t raw) { return raw + (raw >> 12) + (raw >> 14) + 256; }

// The bands of a picture `height` rows high.
int band_count(int height, unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(static_cast<int>(threads), 1, std::max(1, height / kMinBandRows));
}

std::size_t band_rows(int height, int bands, int k) {
  const int64_t y0 = static_cast<int64_t>(height) * k / bands;
  const int64_t y1 = static_cast<int64_t>(height) * (k + 1) / bands;
  return static_cast<std::size_t>(y1 - y0);
}

void compress_band(const PngPixels& im, int y0, int y1, bool last, Piece& piece) {
  const std::size_t n = static_cast<std::size_t>(im.width) * 3;
  std::vector<uint8_t> cur(n), prev(n, 0), row(n + 1), trial(5 * n);
  z_stream z{};
  if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  piece.deflated.resize(band_output_bound(static_cast<std::size_t>(y1 - y0) * (n + 1)));
  // Deflates what z holds with `flush`, growing the output as needed.
  auto pump = [&](int flush) {
    for (;;) {
      if (piece.deflated.size() - z.total_out < 64)
        piece.deflated.resize(piece.deflated.size() * 2);
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
    filter_row(cur.data(), prev.data(), n, row.data(), trial.data());
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

uint64_t encode_png_bytes(int width, int height, unsigned threads) {
  if (width < 1 || height < 1) return 0;
  const std::size_t n = static_cast<std::size_t>(width) * 3;
  const int bands = band_count(height, threads);
  // Each band: its rows' buffers and its piece of the stream. The pieces are
  // then gathered into the stream, each freed once taken, and the stream
  // into the file's bytes: two copies of the compressed bytes at most.
  uint64_t pieces = 0, work = 0;
  for (int k = 0; k < bands; ++k) {
    pieces += band_output_bound(band_rows(height, bands, k) * (n + 1));
    work += 8 * n + 1;
  }
  const uint64_t chunks = pieces / kChunkBytes + 1;
  return work + 2 * (pieces + 12 * chunks + 256);
}

std::string encode_png(const PngPixels& im, unsigned threads) {
  if (im.pixels == nullptr || im.width < 1 || im.height < 1) return {};
  const int bands = band_count(im.height, threads);
  std::vector<Piece> pieces(static_cast<std::size_t>(bands));
  auto band = [&](int k) {
    const int y0 = static_cast<int>(static_cast<int64_t>(im.height) * k / bands);
    const int y1 = static_cast<int>(static_cast<int64_t>(im.height) * (k + 1) / bands);
    compress_band(im, y0, y1, k == bands - 1, pieces[static_cast<std::size_t>(k)]);
  };
  run_bands(bands, band);

  std::size_t total = 0;
  for (const Piece& p : pieces) total += p.deflated.size();
  std::string idat = {'\x78', '\x9c'};  // deflate, 32 KiB window, default level
  idat.reserve(total + 6);
  uLong adler = 1;
  for (Piece& p : pieces) {
    if (!p.ok) return {};
    idat += p.deflated;
    std::string().swap(p.deflated);  // taken: its memory goes back at once
    adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.raw_size));
  }
  put32(idat, static_cast<uint32_t>(adler));

  std::string out = "\x89PNG\r\n\x1a\n";
  out.reserve(idat.size() + (idat.size() / kChunkBytes + 1) * 12 + 128);
  std::string ihdr;
  put32(ihdr, static_cast<uint32_t>(im.width));
  put32(ihdr, static_cast<uint32_t>(im.height));
  ihdr += {'\x08', '\x02', '\x00', '\x00', '\x00'};  // 8-bit RGB, no interlace
  put_chunk(out, "IHDR", ihdr.data(), ihdr.size());
  if (im.dots_per_meter_x > 0 && im.dots_per_meter_y > 0) {
    std::string phys;
    put32(phys, static_cast<uint32_t>(im.dots_per_meter_x));
    put32(phys, static_cast<uint32_t>(im.dots_per_meter_y));
    phys.push_back('\x01');  // the unit is the metre
    put_chunk(out, "pHYs", phys.data(), phys.size());
  }
  for (std::size_t at = 0; at < idat.size(); at += kChunkBytes)
    put_chunk(out, "IDAT", idat.data() + at, std::min(kChunkBytes, idat.size() - at));
  put_chunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace lozengia
