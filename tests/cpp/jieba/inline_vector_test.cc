#include "tokenizer/jieba/inline_vector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace lumo::typing::text::jieba {
namespace {

using Vector = InlineVector<std::uint32_t>;

Vector Filled(std::size_t n) {
  Vector v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(static_cast<std::uint32_t>(i * 3));
  return v;
}

void ExpectValues(const Vector& v, std::size_t n) {
  ASSERT_EQ(v.size(), n);
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(v[i], i * 3) << i;
}

TEST(InlineVectorTest, NewSequenceUsesTheInsideRoom) {
  Vector v;
  EXPECT_EQ(v.size(), 0u);
  EXPECT_EQ(v.capacity(), 16u);
  EXPECT_TRUE(v.UsesInsideRoom());
}

TEST(InlineVectorTest, AppendingToAFullSequenceDoubles) {
  Vector v = Filled(16);
  EXPECT_TRUE(v.UsesInsideRoom());
  v.push_back(48);
  EXPECT_FALSE(v.UsesInsideRoom());
  EXPECT_EQ(v.capacity(), 32u);
  for (std::uint32_t i = 17; i < 33; ++i) v.push_back(i * 3);
  EXPECT_EQ(v.capacity(), 64u);
  ExpectValues(v, 33);
}

TEST(InlineVectorTest, AppendingAnElementOfItselfWhileGrowing) {
  Vector v = Filled(32);
  v.push_back(v[0]);  // the source lives in the block that growth frees
  EXPECT_EQ(v.back(), 0u);
  EXPECT_EQ(v.capacity(), 64u);
}

TEST(InlineVectorTest, ReserveGrowsToExactlyN) {
  Vector v = Filled(3);
  v.reserve(10);
  EXPECT_EQ(v.capacity(), 16u);
  v.reserve(20);
  EXPECT_EQ(v.capacity(), 20u);
  ExpectValues(v, 3);
  v.reserve(18);
  EXPECT_EQ(v.capacity(), 20u);
}

TEST(InlineVectorTest, ResizeValueInitialises) {
  Vector v = Filled(2);
  v.resize(40);
  EXPECT_EQ(v.capacity(), 40u);
  EXPECT_EQ(v[1], 3u);
  EXPECT_EQ(v[39], 0u);
  v.resize(1);
  EXPECT_EQ(v.size(), 1u);
  EXPECT_EQ(v.capacity(), 40u);
}

TEST(InlineVectorTest, ClearReturnsToTheInsideRoom) {
  Vector v = Filled(40);
  v.clear();
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), 16u);
  EXPECT_TRUE(v.UsesInsideRoom());
}

TEST(InlineVectorTest, CopyKeepsSizeAndCapacity) {
  for (std::size_t n : {0u, 5u, 16u, 17u, 40u}) {
    const Vector source = Filled(n);
    Vector copy(source);
    ExpectValues(copy, n);
    EXPECT_EQ(copy.capacity(), source.capacity()) << n;
    EXPECT_EQ(copy.UsesInsideRoom(), source.UsesInsideRoom()) << n;
    if (!source.UsesInsideRoom()) {
      EXPECT_NE(copy.data(), source.data());
    }
    Vector assigned = Filled(50);
    assigned = source;
    ExpectValues(assigned, n);
    EXPECT_EQ(assigned.capacity(), source.capacity()) << n;
  }
}

TEST(InlineVectorTest, MoveTakesTheBlockAndEmptiesTheSource) {
  for (std::size_t n : {5u, 40u}) {
    Vector source = Filled(n);
    const std::uint32_t* block = source.data();
    Vector moved(std::move(source));
    ExpectValues(moved, n);
    if (n > 16) {
      EXPECT_EQ(moved.data(), block);
    }
    EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): the state after a move is specified
    EXPECT_TRUE(source.UsesInsideRoom());
    Vector target = Filled(30);
    target = std::move(moved);
    ExpectValues(target, n);
  }
}

TEST(InlineVectorTest, SelfAssignmentKeepsTheValues) {
  Vector v = Filled(20);
  Vector& alias = v;
  v = alias;
  ExpectValues(v, 20);
}

}  // namespace
}  // namespace lumo::typing::text::jieba
