// The 8-lane listing of a slice's blocks against the plain one: the same
// forced heights, block starts and links, and block ends that agree with the
// links, for both directions and every length of the last, partial group.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/sweep/block_list.h"
#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"

namespace lozengia {
namespace {

#ifdef LOZENGIA_AVX512

// A slice's old heights and the new heights of the slice before, drawn so
// that free particles, links and runs of every length are all common: each
// old height is the new one below it or one off, and the new heights below
// mostly climb by one (a link) with gaps now and then.
struct Slice {
  std::vector<int32_t> old_heights, new_before;
};

Slice random_slice(int32_t N, std::mt19937& gen) {
  Slice s;
  std::uniform_int_distribution<int> coin(0, 5);
  int32_t b = 3;
  for (int32_t i = 0; i < N; ++i) {
    b += coin(gen) == 0 ? 2 : 1;
    s.new_before.push_back(b);
    s.old_heights.push_back(b + (coin(gen) % 3) - 1);  // b - 1, b or b + 1
  }
  return s;
}

template <bool Plus>
void expect_same_listing(int32_t N, const Slice& s) {
  const std::size_t pad = 64;
  std::vector<int32_t> plain_new(N + pad, -7), vec_new(N + pad, -7);
  std::vector<int32_t> plain_starts(N + pad), vec_starts(N + pad), vec_ends(N + pad);
  std::vector<uint8_t> plain_links(sweep::flag_bytes(N) + pad, 0),
      vec_links(sweep::flag_bytes(N) + pad, 0), is_free(sweep::flag_bytes(N) + pad, 0);
  const int32_t plain_count =
      sweep::list_plain<Plus>(N, s.old_heights.data(), s.new_before.data(), plain_new.data(),
                              plain_starts.data(), plain_links.data(), is_free.data());
  const int32_t vec_count =
      sweep::list_avx512<Plus, true>(N, s.old_heights.data(), s.new_before.data(), vec_new.data(),
                                     vec_starts.data(), vec_ends.data(), vec_links.data());
  ASSERT_EQ(vec_count, plain_count) << "N = " << N;
  for (int32_t i = 0; i < N; ++i) {
    // Free particles are written later by the blocks; only forced ones count.
    if (!is_free[static_cast<std::size_t>(i)]) {
      ASSERT_EQ(vec_new[i], plain_new[i]) << i;
    }
    ASSERT_EQ(vec_links[i], plain_links[i]) << "N = " << N << ", particle " << i;
  }
  // Nothing written past the slice.
  for (std::size_t i = static_cast<std::size_t>(N); i < vec_new.size(); ++i)
    ASSERT_EQ(vec_new[i], -7);
  for (int32_t b = 0; b < plain_count; ++b) {
    ASSERT_EQ(vec_starts[b], plain_starts[b]) << "N = " << N << ", block " << b;
    // The end is the first particle from the start without a link.
    int32_t end = plain_starts[b];
    while (plain_links[static_cast<std::size_t>(end)]) ++end;
    ASSERT_EQ(vec_ends[b], end) << "N = " << N << ", block " << b;
  }
  // The list without links gives the same starts and ends.
  std::vector<int32_t> starts2(N + pad), ends2(N + pad);
  ASSERT_EQ(
      (sweep::list_avx512<Plus, false>(N, s.old_heights.data(), s.new_before.data(), vec_new.data(),
                                       starts2.data(), ends2.data(), nullptr)),
      plain_count);
  for (int32_t b = 0; b < plain_count; ++b) {
    ASSERT_EQ(starts2[b], vec_starts[b]);
    ASSERT_EQ(ends2[b], vec_ends[b]);
  }
}

TEST(BlockList, EightLaneListingAsThePlainOne) {
  if (!sweep::processor_has_avx512()) GTEST_SKIP() << "this processor has no AVX-512";
  std::mt19937 gen(2026);
  for (int32_t N = 1; N <= 70; ++N)
    for (int rep = 0; rep < 30; ++rep) {
      const Slice s = random_slice(N, gen);
      expect_same_listing<true>(N, s);
      expect_same_listing<false>(N, s);
    }
  for (int32_t N : {255, 256, 257, 1000}) {
    const Slice s = random_slice(N, gen);
    expect_same_listing<true>(N, s);
    expect_same_listing<false>(N, s);
  }
}

TEST(BlockList, AllFreeOrAllForcedSlices) {
  if (!sweep::processor_has_avx512()) GTEST_SKIP() << "this processor has no AVX-512";
  for (int32_t N : {1, 15, 16, 17, 33, 100}) {
    Slice linked, apart, forced;
    for (int32_t i = 0; i < N; ++i) {
      linked.new_before.push_back(10 + i);  // one block of every particle
      linked.old_heights.push_back(10 + i);
      apart.new_before.push_back(10 + 2 * i);  // every particle a block of its own
      apart.old_heights.push_back(10 + 2 * i);
      forced.new_before.push_back(10 + 2 * i);  // nothing free in S->S+1
      forced.old_heights.push_back(12 + 2 * i);
    }
    expect_same_listing<true>(N, linked);
    expect_same_listing<true>(N, apart);
    expect_same_listing<true>(N, forced);
    expect_same_listing<false>(N, forced);
  }
}

#else

TEST(BlockList, NotBuilt) { GTEST_SKIP() << "built without the 8-lane path"; }

#endif

}  // namespace
}  // namespace lozengia
