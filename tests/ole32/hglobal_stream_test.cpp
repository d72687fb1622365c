// The growable stream the encoder saves into: what is written comes back,
// a block nothing would free is refused, and it stops below 4 GiB.
#include <gtest/gtest.h>

#include <vector>

#include "platform/posix/global_memory/global_memory_test_hooks.h"
#include "platform/windows_api.h"

namespace {

TEST(HGlobalStream, AGrowableStreamGivesBackWhatWasWrittenAndStopsBelowFourGiB) {
  const size_t live = repng::posix::testing::LiveGlobalBlockCount();
  IStream* stream = nullptr;
  // A new block that nothing would ever free is refused.
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, FALSE, &stream), E_INVALIDARG);
  EXPECT_EQ(stream, nullptr);
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  std::vector<BYTE> data(10000), back(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = BYTE(i * 7);
  ASSERT_EQ(stream->Write(data.data(), ULONG(data.size()), nullptr), S_OK);
  EXPECT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = -1}, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Read(back.data(), ULONG(back.size()), nullptr), S_OK);
  EXPECT_EQ(back, data);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{.QuadPart = 0xFFFFFFFF}, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(stream->Write("a", 1, nullptr), STG_E_MEDIUMFULL);
  EXPECT_EQ(stream->SetSize(ULARGE_INTEGER{.QuadPart = 0x100000000}), STG_E_MEDIUMFULL);
  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, data.size());
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_EQ(repng::posix::testing::LiveGlobalBlockCount(), live);
}

}  // namespace
