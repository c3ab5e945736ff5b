#include "mendbin/block_cache.h"

#include <gtest/gtest.h>

#include <vector>

#include "mendbin/memory_file_for_tests.h"

namespace mendbin {
namespace {

BlockCache::Config smallBlocks(std::int64_t capacity, bool verify = false) {
  BlockCache::Config c;
  c.blockSize = 16;
  c.capacity = capacity;
  c.verifyWriteBack = verify;
  return c;
}

struct CacheFixture {
  explicit CacheFixture(std::string content, BlockCache::Config config)
      : file(std::move(content)),
        cache(file, config, [this](std::int64_t pos) { mismatches.push_back(pos); }) {}
  MemoryFile file;
  std::vector<std::int64_t> mismatches;
  BlockCache cache;
};

std::uint8_t readByte(BlockCache& cache, std::int64_t pos) {
  std::uint8_t v = 0;
  EXPECT_TRUE(cache.read(pos, v).ok()) << "read at " << pos;
  return v;
}

TEST(BlockCache, ReadSeesEarlierWriteAndFileGetsItAtWriteBack) {
  CacheFixture f("abcdefghijklmnopqrstuvwxyz", smallBlocks(4));
  EXPECT_EQ(readByte(f.cache, 3), 'd');
  ASSERT_TRUE(f.cache.write(3, 'X').ok());
  EXPECT_EQ(readByte(f.cache, 3), 'X');
  EXPECT_EQ(f.file.bytes, "abcdefghijklmnopqrstuvwxyz");  // still only in the cache
  ASSERT_TRUE(f.cache.write(3, 'Y').ok());
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes, "abcYefghijklmnopqrstuvwxyz");
}

TEST(BlockCache, WritesEachBlockThatWasReadBackInOneCall) {
  CacheFixture f(std::string(64, '.'), smallBlocks(8));
  EXPECT_EQ(readByte(f.cache, 0), '.');
  EXPECT_EQ(readByte(f.cache, 32), '.');
  for (std::int64_t pos : {1, 5, 14, 33, 40}) ASSERT_TRUE(f.cache.write(pos, '#').ok());
  f.file.writes = 0;
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.writes, 2);
  std::string want(64, '.');
  for (int pos : {1, 5, 14, 33, 40}) want[pos] = '#';
  EXPECT_EQ(f.file.bytes, want);
  // Nothing changed since: a second write-back writes nothing.
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.writes, 2);
}

TEST(BlockCache, ReadAtOrPastEndIsEndOfFile) {
  CacheFixture f("abcde", smallBlocks(4));
  EXPECT_EQ(readByte(f.cache, 4), 'e');
  std::uint8_t v = 0;
  EXPECT_EQ(f.cache.read(5, v).status, CacheStatus::endOfFile);
  EXPECT_EQ(f.cache.read(100, v).status, CacheStatus::endOfFile);
}

TEST(BlockCache, WritePastEndLeavesZerosInTheGap) {
  CacheFixture f("abc", smallBlocks(4));
  ASSERT_TRUE(f.cache.write(1, 'B').ok());
  ASSERT_TRUE(f.cache.write(9, 'Z').ok());
  ASSERT_TRUE(f.cache.write(40, 'W').ok());
  ASSERT_TRUE(f.cache.writeBack().ok());
  std::string want = std::string("aBc") + std::string(6, '\0') + "Z" + std::string(30, '\0') + "W";
  EXPECT_EQ(f.file.bytes, want);
}

TEST(BlockCache, FullCacheWritesOutABlockToMakeRoom) {
  CacheFixture f(std::string(64, '.'), smallBlocks(2));
  ASSERT_TRUE(f.cache.write(0, 'a').ok());
  ASSERT_TRUE(f.cache.write(16, 'b').ok());
  ASSERT_TRUE(f.cache.write(32, 'c').ok());  // block 0 must leave
  EXPECT_EQ(f.file.bytes[0], 'a');
  EXPECT_EQ(f.file.bytes[32], '.');
  EXPECT_EQ(readByte(f.cache, 0), 'a');  // read again from the file
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes.substr(0, 33), "a" + std::string(15, '.') + "b" + std::string(15, '.') + "c");
}

TEST(BlockCache, VerifyReportsOnlyChangedBytesTheFileLacks) {
  CacheFixture f(std::string(40, '.'), smallBlocks(4, true));
  f.file.forget = {5, 20, 30};  // 30 is lost but never changed
  for (std::int64_t pos : {2, 5, 20, 21}) ASSERT_TRUE(f.cache.write(pos, '#').ok());
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.mismatches, (std::vector<std::int64_t>{5, 20}));
}

TEST(BlockCache, FailedWriteKeepsBlockChangedAndStillWritesTheOthers) {
  CacheFixture f(std::string(48, '.'), smallBlocks(4));
  ASSERT_TRUE(f.cache.write(3, 'a').ok());
  ASSERT_TRUE(f.cache.write(35, 'c').ok());
  f.file.writeError = ENOSPC;
  f.file.failWritesFrom = 32;  // only the third block fails
  CacheResult r = f.cache.writeBack();
  EXPECT_EQ(r.status, CacheStatus::writeFailed);
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_EQ(f.file.bytes[3], 'a');
  f.file.writeError = 0;  // the disk has room again: the kept block goes out
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes[35], 'c');
}

TEST(BlockCache, FewRunsGoOutOneByOneWithoutReading) {
  CacheFixture f("abcdefghijklmnop", smallBlocks(4));
  f.file.readError = EIO;  // a write never needs to read
  ASSERT_TRUE(f.cache.write(1, 'B').ok());
  ASSERT_TRUE(f.cache.write(2, 'C').ok());
  ASSERT_TRUE(f.cache.write(6, 'G').ok());
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes, "aBCdefGhijklmnop");
  EXPECT_EQ(f.file.writes, 2);
  EXPECT_EQ(f.file.reads, 0);
}

TEST(BlockCache, ManyRunsAreCompletedFromTheFileAndGoOutInOneCall) {
  CacheFixture f("abcdefghijklmnop", smallBlocks(4));
  for (std::int64_t pos : {1, 3, 5, 7, 9, 11}) ASSERT_TRUE(f.cache.write(pos, '#').ok());
  f.file.bytes[4] = 'E';  // changed on the file meanwhile: the gap comes from the file
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes, "a#c#E#g#i#k#mnop");
  EXPECT_EQ(f.file.writes, 1);
}

TEST(BlockCache, ManyRunsGoOutOneByOneWhenTheFileCannotBeRead) {
  CacheFixture f("abcdefghijklmnop", smallBlocks(4));
  f.file.readError = EIO;
  for (std::int64_t pos : {1, 3, 5, 7, 9, 11}) ASSERT_TRUE(f.cache.write(pos, '#').ok());
  ASSERT_TRUE(f.cache.writeBack().ok());
  EXPECT_EQ(f.file.bytes, "a#c#e#g#i#k#mnop");
  EXPECT_EQ(f.file.writes, 6);
}

TEST(BlockCache, ReadOfWrittenBlockSeesFileWithTheWritesOnIt) {
  CacheFixture f("abcdefghijklmnop", smallBlocks(4));
  ASSERT_TRUE(f.cache.write(2, 'C').ok());
  f.file.bytes[9] = 'J';
  EXPECT_EQ(readByte(f.cache, 9), 'J');
  EXPECT_EQ(readByte(f.cache, 2), 'C');
  EXPECT_EQ(f.file.bytes, "abCdefghiJklmnop");
}

TEST(BlockCache, DropMakesTheNextReadGoToTheFile) {
  CacheFixture f("abcd", smallBlocks(4));
  EXPECT_EQ(readByte(f.cache, 2), 'c');
  f.file.bytes[2] = 'Q';
  EXPECT_EQ(readByte(f.cache, 2), 'c');
  f.cache.drop();
  EXPECT_EQ(readByte(f.cache, 2), 'Q');
}

TEST(BlockCache, ShortReadBackIsAFailure) {
  CacheFixture f("abcd", smallBlocks(4, true));
  ASSERT_TRUE(f.cache.write(8, 'x').ok());
  f.file.forgetAll = true;  // the file stays 4 bytes long
  CacheResult r = f.cache.writeBack();
  EXPECT_EQ(r.status, CacheStatus::readBackFailed);
  EXPECT_EQ(r.error, 0);
}

}  // namespace
}  // namespace mendbin
