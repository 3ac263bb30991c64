// Hahn's small blocks a group at a time, one block per lane: one body for
// every lane width. It has no include guard: avx2_hahn.h includes it for 4
// lanes and avx512_hahn.h for 8, each after defining
//   LOZENGIA_GROUP_LANES     the lane width's Lanes (avx2_lanes.h, avx512_hahn.h)
//   LOZENGIA_GROUP_FUNCTION  its target attribute (isa.h)
//   LOZENGIA_GROUP_LAMBDA    the same for the body's lambdas
//   LOZENGIA_GROUP_NAME      the function's name (hahn_groups_avx2, _avx512)
// A function's target cannot depend on a template argument, so the body is
// compiled once per width this way; what differs between the widths (how a
// group's blocks are read, written and listed for redoing) is in their Lanes
// and their overloads of rows_to_columns, walk_and_write and list_redone.
//
// The slice's draws are made beforehand, so its blocks do not depend on one
// another. A block of four particles or more is weighed in its lane as if it
// had three (those writes land inside it) and then drawn and written whole
// in the redo step; so is a lane whose threshold fell past the total (which
// needs the chooser). Returns how many blocks were done; the rest are left
// to the caller.

template <bool Plus, bool Forward>
LOZENGIA_GROUP_FUNCTION int32_t LOZENGIA_GROUP_NAME(SweepWorkspace& work, int32_t t,
                                                    const int32_t* old_heights,
                                                    int32_t* new_heights, int32_t count,
                                                    const HahnSmallBlock<Plus, Forward>& small,
                                                    const HahnRatios& ratios) {
  using L = LOZENGIA_GROUP_LANES;
  using Doubles = typename L::Doubles;
  constexpr int32_t kWidth = L::kWidth;
  const double* inv = work.tables.inv_data();
  const int32_t* starts = work.block_starts.data();
  const float* spans = work.spans.data();
  const int32_t D = work.T - t - work.S, N = work.N, S = work.S;
  // Each lane's three reciprocals are consecutive in the table, rising with
  // x in S->S+1 and falling in S->S-1: rows of four read from each lane's
  // lowest index, and transposed. In S->S-1 the single-block code clamps
  // indices below 1 to 1; those factors belong past the block and are
  // unused, and the table holds a finite 0 there.
  const int32_t offset = Plus ? (Forward ? 1 : D) : (Forward ? S + N - 1 : N + t) - 2;
  constexpr int32_t direction = Plus ? 1 : -1;
  const Doubles one = L::splat(1.0), two = L::splat(2.0), three = L::splat(3.0);

  // The weights w[0..3] of outcomes 1..4 (0 past each block's last), as
  // HahnSmallBlock makes them, operation for operation.
  auto weigh = [&](const L& lanes, Doubles* w) LOZENGIA_GROUP_LAMBDA {
    Doubles col[4];
    rows_to_columns(inv + offset, direction, lanes.xs, col);
    // The reciprocals of the first, second and third factor.
    const Doubles t0 = Plus ? col[0] : col[2], t1 = col[1], t2 = Plus ? col[2] : col[0];
    if constexpr (!Forward) {
      // w(k) = w(k+1) f_k + [k = m]: 1 at the last outcome, 0 past it.
      Doubles last2, last3, last4;
      lanes.last_outcomes(last2, last3, last4);
      Doubles f1, f2, f3;
      if constexpr (Plus) {
        const Doubles xd = lanes.x_doubles();
        f1 = (xd + one) * t0;
        f2 = (xd + two) * t1;
        f3 = (xd + three) * t2;
      } else {
        const Doubles e = lanes.minus_x(S + N - 1);
        f1 = e * t0;
        f2 = (e - one) * t1;
        f3 = (e - two) * t2;
      }
      w[3] = last4;
      w[2] = w[3] * f3 + last3;
      w[1] = w[2] * f2 + last2;
      w[0] = w[1] * f1;
    } else {
      Doubles d, d1, d2;
      if constexpr (Plus) {
        d = lanes.x_plus(D);
        d1 = d + one;
        d2 = d + two;
      } else {
        d = lanes.minus_x(N + t);
        d1 = d - one;
        d2 = d - two;
      }
      w[0] = one;
      w[1] = d * t0;
      const Doubles r3 = w[1] * (d1 * t1);
      const Doubles r4 = r3 * (d2 * t2);
      w[2] = lanes.where_second(r3);
      w[3] = lanes.where_third(r4);
    }
  };

  // Lanes to redo (long blocks, and thresholds past the total, which are
  // rare) are listed without a branch; the loop over groups then has no
  // branch that could be mispredicted.
  int32_t* redo_list = work.redo_list.data();
  int32_t redo_count = 0;
  auto group = [&](int32_t block, typename L::Live live) LOZENGIA_GROUP_LAMBDA {
    const L lanes = L::read(work, old_heights, block);
    Doubles w[4];
    weigh(lanes, w);
    const int past = walk_and_write<Plus>(spans, starts, block, new_heights, lanes, w, live);
    list_redone(redo_list, redo_count, lanes, past, block, live);
  };
  int32_t block = 0;
  if constexpr (L::kTwoGroupsAtOnce) {
    // The steps of one group wait on one another, and the processor overlaps
    // two groups only when their instructions lie close together.
    for (; block + 2 * kWidth <= count; block += 2 * kWidth) {
      const L a = L::read(work, old_heights, block), b = L::read(work, old_heights, block + kWidth);
      Doubles wa[4], wb[4];
      weigh(a, wa);
      weigh(b, wb);
      const int past_a = walk_and_write<Plus>(spans, starts, block, new_heights, a, wa);
      const int past_b = walk_and_write<Plus>(spans, starts, block + kWidth, new_heights, b, wb);
      list_redone(redo_list, redo_count, a, past_a, block);
      list_redone(redo_list, redo_count, b, past_b, block + kWidth);
    }
  }
  for (; block + kWidth <= count; block += kWidth) group(block, L::kAllLive);
  if constexpr (L::kMaskedTail) {
    // The last blocks as a group whose lanes past them are neither written
    // nor redone. Those lanes read the lists' padding, which holds particles
    // of the slice (zeros, or places of an earlier slice), and draws already
    // made.
    if (block < count) {
      group(block, static_cast<typename L::Live>((1u << (count - block)) - 1));
      block = count;
    }
  }

  // The redo step (redo.h): blocks of four to seven particles four at a time
  // (Hahn's draw no message before the chooser), then everything else in
  // block order.
  const int32_t medium_count =
      sort_redone<L::kListsEnds>(work, redo_count, [](int32_t, int32_t) { return true; });
  hahn_medium_groups_avx2<Plus, Forward>(work, old_heights, new_heights, work.medium_places.data(),
                                         medium_count, ratios);
  redo_unfinished(
      work, redo_count,
      [&](int32_t i, int32_t j, int32_t b) {
        redo_hahn_large<Plus>(static_cast<const L*>(nullptr), work, ratios, old_heights,
                              new_heights, i, j, b);
      },
      [&](int32_t i, int32_t b) {
        if constexpr (L::kListsEnds) {
          const int32_t more = work.block_ends[static_cast<std::size_t>(b)] - i;
          small(i, static_cast<int32_t>(more >= 1), static_cast<int32_t>(more >= 2), b);
        } else {
          const uint8_t* links = work.links.data();
          small(i, links[i], links[i] & links[i + 1], b);
        }
      });
  return block;
}
