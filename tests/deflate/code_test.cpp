#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <queue>
#include <vector>

#include "deflate/block_code.h"
#include "deflate/block_splitter.h"
#include "deflate/cost_model.h"
#include "deflate/huffman.h"
#include "deflate/match_finder.h"
#include "deflate/segment.h"

namespace repng::deflate {
namespace {

// Kraft sum scaled by 2^15: exactly 2^15 for a complete code.
uint32_t KraftSum(const std::vector<uint8_t>& lengths) {
  uint32_t sum = 0;
  for (uint8_t length : lengths) {
    if (length != 0) sum += 1u << (15 - length);
  }
  return sum;
}

uint64_t Cost(const std::vector<uint32_t>& counts, const std::vector<uint8_t>& lengths) {
  uint64_t cost = 0;
  for (size_t s = 0; s < counts.size(); ++s) cost += uint64_t{counts[s]} * lengths[s];
  return cost;
}

// The cost of an unlimited Huffman code: the sum of all merged weights.
uint64_t HuffmanCost(const std::vector<uint32_t>& counts) {
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> queue;
  for (uint32_t count : counts) {
    if (count != 0) queue.push(count);
  }
  uint64_t cost = 0;
  while (queue.size() > 1) {
    const uint64_t a = queue.top();
    queue.pop();
    const uint64_t b = queue.top();
    queue.pop();
    cost += a + b;
    queue.push(a + b);
  }
  return cost;
}

std::vector<uint8_t> Lengths(const std::vector<uint32_t>& counts, int max_length) {
  std::vector<uint8_t> lengths(counts.size());
  LimitedCodeLengths(counts.data(), static_cast<int>(counts.size()), max_length, lengths.data());
  return lengths;
}

TEST(LimitedCodeLengths, FibonacciCountsStayWithinTheLimit) {
  std::vector<uint32_t> counts = {1, 1};
  while (counts.size() < 30) counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
  for (int limit : {7, 9, 15}) {
    const std::vector<uint8_t> lengths = Lengths(counts, limit);
    EXPECT_LE(*std::max_element(lengths.begin(), lengths.end()), limit);
    EXPECT_EQ(KraftSum(lengths), 1u << 15) << limit;
    EXPECT_GE(Cost(counts, lengths), HuffmanCost(counts));
  }
  // Unlimited the code would be 29 deep; at 29 the limit costs nothing.
  std::vector<uint32_t> few(counts.begin(), counts.begin() + 16);
  EXPECT_EQ(Cost(few, Lengths(few, 15)), HuffmanCost(few));
}

TEST(LimitedCodeLengths, OptimalWhenTheLimitIsLoose) {
  const std::vector<uint32_t> counts = {5, 0, 9, 12, 13, 16, 45, 0, 3, 3, 3, 1000};
  const std::vector<uint8_t> lengths = Lengths(counts, 15);
  EXPECT_EQ(Cost(counts, lengths), HuffmanCost(counts));
  EXPECT_EQ(lengths[1], 0);
  EXPECT_EQ(lengths[7], 0);
  EXPECT_EQ(KraftSum(lengths), 1u << 15);
}

TEST(LimitedCodeLengths, FewSymbolsStillMakeACompleteCode) {
  EXPECT_EQ(Lengths({0, 0, 0, 0}, 15), (std::vector<uint8_t>{1, 1, 0, 0}));
  EXPECT_EQ(Lengths({0, 0, 7, 0}, 15), (std::vector<uint8_t>{1, 0, 1, 0}));
  EXPECT_EQ(Lengths({4, 0, 0, 0}, 15), (std::vector<uint8_t>{1, 1, 0, 0}));
  EXPECT_EQ(Lengths({4, 9, 0, 0}, 15), (std::vector<uint8_t>{1, 1, 0, 0}));
}

// Package-merge as the textbook states it: every item a list of the leaves
// it holds; leaves sorted stably by count and first among equal weights.
std::vector<uint8_t> PlainPackageMerge(const std::vector<uint32_t>& counts, int max_length) {
  struct Item {
    uint64_t weight;
    std::vector<int> leaves;
  };
  std::vector<Item> leaves;
  for (int s = 0; s < static_cast<int>(counts.size()); ++s) {
    if (counts[s] != 0) leaves.push_back({counts[s], {s}});
  }
  std::stable_sort(leaves.begin(), leaves.end(), [](const Item& a, const Item& b) { return a.weight < b.weight; });
  std::vector<Item> list = leaves;
  for (int level = 1; level < max_length; ++level) {
    std::vector<Item> packages;
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
      Item package{list[i].weight + list[i + 1].weight, list[i].leaves};
      package.leaves.insert(package.leaves.end(), list[i + 1].leaves.begin(), list[i + 1].leaves.end());
      packages.push_back(std::move(package));
    }
    std::vector<Item> merged;
    size_t leaf = 0, package = 0;
    while (leaf < leaves.size() || package < packages.size()) {
      if (package == packages.size() || (leaf < leaves.size() && leaves[leaf].weight <= packages[package].weight)) {
        merged.push_back(leaves[leaf++]);
      } else {
        merged.push_back(packages[package++]);
      }
    }
    list = std::move(merged);
  }
  std::vector<uint8_t> lengths(counts.size());
  for (size_t i = 0; i < 2 * leaves.size() - 2; ++i) {
    for (int s : list[i].leaves) ++lengths[s];
  }
  return lengths;
}

// Codes that fit the limit unlimited come from a plain Huffman merge, the
// others from package-merge; both must give package-merge's lengths.
TEST(LimitedCodeLengths, SameLengthsAsPlainPackageMergeTiesIncluded) {
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1103515245u + 12345u; };
  int limit_binds = 0, limit_loose = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int n = trial % 3 == 0 ? 19 : trial % 3 == 1 ? 30 : 288;
    const int limit = n == 19 ? 7 : 9 + trial % 7;
    std::vector<uint32_t> counts(n);
    // Few distinct counts make ties; wide ranges make deep codes.
    const uint32_t spread = trial % 4 == 0 ? 4 : trial % 4 == 1 ? 100 : 1u << (trial % 20);
    for (uint32_t& count : counts) count = next() % 3 == 0 ? 0 : 1 + (next() >> 8) % spread;
    if (trial % 5 == 0) {
      for (int s = 0; s < n; s += 2) counts[s] = 1u << std::min(s / 2, 14);
    }
    counts[0] = std::max(counts[0], 1u);
    counts[n - 1] = std::max(counts[n - 1], 1u);
    const std::vector<uint8_t> lengths = Lengths(counts, limit);
    EXPECT_EQ(lengths, PlainPackageMerge(counts, limit)) << "trial " << trial;
    ++(Cost(counts, lengths) > HuffmanCost(counts) ? limit_binds : limit_loose);
  }
  EXPECT_GT(limit_binds, 50);
  EXPECT_GT(limit_loose, 50);
}

TEST(CanonicalCodes, FollowTheFormatsExample) {
  // The format's own example: lengths 3,3,3,3,3,2,4,4 give codes
  // 010..110, 00, 1110, 1111 (here bit-reversed).
  const uint8_t lengths[] = {3, 3, 3, 3, 3, 2, 4, 4};
  uint16_t codes[8];
  CanonicalCodes(lengths, 8, codes);
  const uint16_t expected[] = {0b010, 0b110, 0b001, 0b101, 0b011, 0b00, 0b0111, 0b1111};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(codes[s], expected[s]) << s;
}

// Expands a header's tokens back into the code lengths they stand for.
std::vector<uint8_t> Expand(const DynamicCode& code) {
  std::vector<uint8_t> lengths;
  for (int t = 0; t < code.token_count; ++t) {
    const HeaderToken token = code.tokens[t];
    if (token.symbol < 16) {
      lengths.push_back(token.symbol);
    } else if (token.symbol == 16) {
      EXPECT_FALSE(lengths.empty());
      lengths.insert(lengths.end(), 3u + token.extra, lengths.back());
    } else {
      lengths.insert(lengths.end(), (token.symbol == 17 ? 3u : 11u) + token.extra, 0);
    }
  }
  return lengths;
}

TEST(DynamicCode, HeaderRunsDescribeTheLengthsAndShrinkTheHeader) {
  Histogram counts;
  // A few literals, long stretches unused, equal counts for runs of equal
  // lengths, and distances far apart.
  for (int s = 0; s < 256; s += 37) counts.litlen[s] = 50;
  for (int s = 100; s < 130; ++s) counts.litlen[s] = 8;
  counts.litlen[257] = 30;
  counts.litlen[270] = 2;
  counts.dist[0] = 25;
  counts.dist[29] = 7;
  DynamicCode quick, thorough;
  BuildDynamicCode(counts, HeaderSearch::kQuick, &quick);
  BuildDynamicCode(counts, HeaderSearch::kThorough, &thorough);
  for (const DynamicCode* code : {&quick, &thorough}) {
    std::vector<uint8_t> expected(code->litlen_lengths.begin(), code->litlen_lengths.begin() + code->litlen_count);
    expected.insert(expected.end(), code->dist_lengths.begin(), code->dist_lengths.begin() + code->dist_count);
    EXPECT_EQ(Expand(*code), expected);
    EXPECT_EQ(code->litlen_count, 271);
    EXPECT_EQ(code->dist_count, 30);
    EXPECT_LT(code->token_count, 80);  // runs, not one token per length
  }
  EXPECT_LE(thorough.header_bits, quick.header_bits);
  EXPECT_LE(DynamicBlockBits(counts, thorough), FixedBlockBits(counts));
}

// Rare literals scattered with gaps, as filtered picture data leaves them:
// giving the unused ones among them a code turns the header's broken runs
// into whole ones.
TEST(DynamicCode, GapsAmongRareSymbolsAreFilledWhenThatIsSmaller) {
  Histogram counts;
  for (int s = 0; s < 256; ++s) counts.litlen[s] = (s * 7 + s / 3) % 5 == 0 ? 0 : 1 + s % 3;
  counts.litlen[0] = 4000;
  counts.litlen[257] = 900;
  counts.litlen[258] = 300;
  for (int d = 0; d < 24; ++d) counts.dist[d] = d % 4 == 1 ? 0 : 2;
  counts.dist[0] = 700;
  DynamicCode plain, smallest;
  BuildDynamicCode(counts, HeaderSearch::kThorough, &plain);
  BuildSmallestDynamicCode(counts, &smallest);
  int filled = 0;
  for (int s = 0; s < kLitLenSymbols; ++s) {
    if (counts.litlen[s] == 0 && smallest.litlen_lengths[s] != 0) ++filled;
  }
  EXPECT_GT(filled, 10);
  EXPECT_LT(DynamicBlockBits(counts, smallest) + 60, DynamicBlockBits(counts, plain));
  // Still a complete code that every used symbol is in.
  std::vector<uint8_t> litlen(smallest.litlen_lengths.begin(), smallest.litlen_lengths.end());
  EXPECT_EQ(KraftSum(litlen), 1u << 15);
  for (int s = 0; s < kLitLenSymbols; ++s) {
    if (counts.litlen[s] != 0) {
      EXPECT_NE(smallest.litlen_lengths[s], 0) << s;
    }
  }
  EXPECT_LE(EstimateBlockBits(counts, 50000), DynamicBlockBits(counts, plain));
}

// Block estimates price the quick header from run counts alone, never
// writing its tokens; they must come to the bits of the code that the
// quick plan writes. Counts far apart or equal in runs leave nothing to
// smooth, so the estimate is that code's size; the runs (equal lengths,
// unused stretches, some ending the sequence) take every run code.
TEST(BlockSizes, EstimatesPriceTheQuickHeaderAsItIsWritten) {
  for (int layout = 0; layout < 4; ++layout) {
    Histogram counts;
    uint32_t count = 100;
    for (int s = layout * 3; s < 256; s += 9 + layout * 5, count = count * 2 > 400000 ? 100 : count * 2) {
      counts.litlen[s] = count;
    }
    for (int s = 40 + layout * 20; s < 48 + layout * 25; ++s) counts.litlen[s] = 5000;  // a run of equal lengths
    counts.litlen[257] = 3000;
    counts.litlen[260 + layout] = 900;
    if (layout % 2 == 1) counts.litlen[285] = 200;  // the last length in use
    for (int d = 0; d < 30; d += 1 + layout) counts.dist[d] = 50u << (d % 6);
    DynamicCode quick;
    BuildDynamicCode(counts, HeaderSearch::kQuick, &quick);
    EXPECT_EQ(EstimateBlockBits(counts, size_t{1} << 20), DynamicBlockBits(counts, quick)) << "layout " << layout;
  }
}

TEST(BlockSizes, StoredBlocksCountTheirPaddingAndPieces) {
  EXPECT_EQ(StoredBlockBits(0, 0), 3u + 5 + 32);
  EXPECT_EQ(StoredBlockBits(10, 5), 3u + 0 + 32 + 80);
  EXPECT_EQ(StoredBlockBits(65536, 0), (3u + 5 + 32) * 2 + 65536 * 8);
}

TEST(ScaledLog2, IntegerOnlyAndRounded) {
  EXPECT_EQ(ScaledLog2(1), 0u);
  EXPECT_EQ(ScaledLog2(2), kCostScale);
  EXPECT_EQ(ScaledLog2(1024), 10 * kCostScale);
  EXPECT_EQ(ScaledLog2(3), 25u);         // 1.585 bits
  EXPECT_EQ(ScaledLog2(1000000), 319u);  // 19.93 bits
  EXPECT_EQ(ScaledLog2(uint64_t{1} << 40), 40 * kCostScale);
}

TEST(BlockSplitter, SplitsWhereTheDataChanges) {
  // Literals of a few values, then literals of others: two codes pay.
  std::vector<Symbol> symbols;
  for (int i = 0; i < 4000; ++i) symbols.push_back(Symbol{static_cast<uint16_t>('a' + i % 4), 0});
  for (int i = 0; i < 4000; ++i) symbols.push_back(Symbol{static_cast<uint16_t>(200 + i * 7 % 50), 0});
  BlockSplitter splitter;
  const std::vector<size_t> splits = splitter.Split(symbols);
  ASSERT_EQ(splits.size(), 1u);
  EXPECT_NEAR(static_cast<double>(splits[0]), 4000.0, 8.0);
  // One kind of data throughout stays one block.
  symbols.resize(4000);
  EXPECT_TRUE(splitter.Split(symbols).empty());
}

// Every cached match must be real: a wrong one is a corrupt stream. Data
// with runs, near-repeats and long shared prefixes stresses the trees.
// Copies of one string, each with one byte changed, nearer to the start in
// each later copy: the nearer copies match for fewer bytes than the farther
// ones, so that many positions find a long run of ever longer matches.
TEST(MatchCache, StaysWithinItsBudgetWhereEveryPositionMatchesMuch) {
  std::vector<uint8_t> pattern(250);
  uint32_t state = 11;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<uint8_t>(state >> 24);
  };
  for (uint8_t& byte : pattern) byte = next();
  std::vector<uint8_t> data;
  while (data.size() < 400000) {
    for (ptrdiff_t changed = std::ssize(pattern) - 1; changed >= 3; changed -= 5) {
      data.insert(data.end(), pattern.begin(), pattern.end());
      data[data.size() - pattern.size() + static_cast<size_t>(changed)] = next();
    }
  }
  MatchCache cache;
  const EffortParams params = ParamsForEffort(7);
  cache.Build(data.data(), 0, data.size(), MatchSearch{params.max_depth, params.nice_length});
  size_t total = 0, capped = 0;
  for (size_t pos = 0; pos < data.size(); ++pos) {
    const size_t count = cache.At(pos).size();
    ASSERT_LE(count, MatchCache::kMaxPerPosition);
    ASSERT_LE(total + count, (pos + 1) * MatchCache::kAveragePerPosition + MatchCache::kBudgetSlack) << pos;
    total += count;
    if (count == MatchCache::kMaxPerPosition) ++capped;
  }
  EXPECT_GT(capped, 1000u);
}

// Runs, copies from earlier with a byte changed now and then, and rows that
// each change a few bytes of the one before.
std::vector<uint8_t> RepeatsAndRows() {
  std::vector<uint8_t> data;
  uint32_t state = 7;
  for (int part = 0; part < 60; ++part) {
    state = state * 1103515245u + 12345u;
    const size_t start = data.size();
    const size_t length = 50 + (state >> 16) % 700;
    if (part % 3 == 0) {
      data.insert(data.end(), length, static_cast<uint8_t>(state >> 24));
    } else if (start > 1000) {
      // A copy from earlier with a byte changed now and then.
      const size_t from = (state >> 8) % (start - 800);
      for (size_t i = 0; i < length; ++i) {
        data.push_back(i % 97 == 96 ? static_cast<uint8_t>(i) : data[from + i]);
      }
    } else {
      for (size_t i = 0; i < length; ++i) data.push_back(static_cast<uint8_t>("abcab"[i % 5] + (i >> 9)));
    }
  }
  // Rows that each change a few bytes of the one before: long shared
  // prefixes that part after 30 to 300 bytes.
  for (int row = 0; row < 80; ++row) {
    const size_t start = data.size();
    for (size_t i = 0; i < 600; ++i) {
      state = state * 1103515245u + 12345u;
      data.push_back(row == 0 || (state >> 16) % 61 == 0 ? static_cast<uint8_t>(state >> 24) : data[start - 600 + i]);
    }
  }
  return data;
}

TEST(MatchCache, EveryMatchIsRealAndWholeAndLengthsIncrease) {
  const std::vector<uint8_t> data = RepeatsAndRows();
  const size_t begin = 3000;
  for (int effort = 1; effort <= 7; ++effort) {
    const EffortParams params = ParamsForEffort(effort);
    MatchCache cache;
    cache.Build(data.data(), begin, data.size(), MatchSearch{params.max_depth, params.nice_length});
    size_t found = 0;
    for (size_t pos = begin; pos < data.size(); ++pos) {
      uint32_t previous = 0;
      for (const Match& match : cache.At(pos - begin)) {
        ASSERT_GT(match.length, previous);
        ASSERT_LE(pos + match.length, data.size());
        ASSERT_LE(match.distance, std::min<size_t>(pos, kWindowSize));
        ASSERT_TRUE(std::equal(data.begin() + static_cast<ptrdiff_t>(pos), data.begin() + static_cast<ptrdiff_t>(pos + match.length),
                               data.begin() + static_cast<ptrdiff_t>(pos - match.distance)))
            << "effort " << effort << " at " << pos << ": " << match.length << " from " << match.distance;
        // Each match is as long as the two strings agree, within the limits.
        const size_t next = pos + match.length;
        ASSERT_TRUE(next == data.size() || match.length == kMaxMatch || data[next] != data[next - match.distance])
            << "effort " << effort << " at " << pos << ": " << match.length << " from " << match.distance;
        previous = match.length;
        ++found;
      }
    }
    EXPECT_GT(found, data.size() / 20);
  }
}

// A cache is lent to one segment after another: what it kept of a longer
// one must not leak into the matches of a shorter one.
TEST(MatchCache, UsedAgainFindsWhatAFreshOneFinds) {
  const std::vector<uint8_t> data = RepeatsAndRows();
  const MatchSearch search{1024, 258};
  MatchCache reused;
  reused.Build(data.data(), 1000, data.size(), search);
  const size_t begin = 2000, end = data.size() / 2;
  reused.Build(data.data(), begin, end, search);
  MatchCache fresh;
  fresh.Build(data.data(), begin, end, search);
  for (size_t pos = 0; pos < end - begin; ++pos) {
    const std::span<const Match> got = reused.At(pos), want = fresh.At(pos);
    ASSERT_EQ(got.size(), want.size()) << pos;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].length, want[i].length) << pos;
      ASSERT_EQ(got[i].distance, want[i].distance) << pos;
    }
  }
}

}  // namespace
}  // namespace repng::deflate
