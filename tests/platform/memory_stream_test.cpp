#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using MemoryStreamTest = ardo::test::LeakCheckedTest;

LARGE_INTEGER Offset(long long value) {
  LARGE_INTEGER li;
  li.QuadPart = value;
  return li;
}

ULARGE_INTEGER Size(unsigned long long value) {
  ULARGE_INTEGER li;
  li.QuadPart = value;
  return li;
}

std::string ReadAll(IStream* stream) {
  stream->Seek(Offset(0), STREAM_SEEK_SET, nullptr);
  std::string out;
  char chunk[3];
  ULONG got = 0;
  while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &got)) && got) out.append(chunk, got);
  return out;
}

TEST_F(MemoryStreamTest, WriteSeekReadAndTheEndOfStream) {
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()), S_OK);
  ASSERT_HR(stream->Write("hello world", 11, nullptr), S_OK);
  ULARGE_INTEGER position;
  ASSERT_HR(stream->Seek(Offset(-5), STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 6u);
  char buf[16] = {};
  ULONG read = 0;
  EXPECT_HR(stream->Read(buf, 10, &read), S_FALSE);  // fewer bytes than asked
  EXPECT_EQ(read, 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_HR(stream->Seek(Offset(-1), STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_HR(stream->Seek(Offset(0), 7, nullptr), STG_E_INVALIDFUNCTION);
  int dummy = 0;
  IStream* out = reinterpret_cast<IStream*>(0x1);
  EXPECT_HR(CreateStreamOnHGlobal(&dummy, TRUE, &out), E_NOTIMPL);
  EXPECT_EQ(out, nullptr);
}

TEST_F(MemoryStreamTest, WritingPastTheEndFillsTheGapWithZeros) {
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream("ab", 2, stream.Out()), S_OK);
  ASSERT_HR(stream->Seek(Offset(4), STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_HR(stream->Write("z", 1, nullptr), S_OK);
  EXPECT_EQ(ReadAll(stream.Get()), std::string("ab\0\0z", 5));
}

TEST_F(MemoryStreamTest, CopyToMovesAtMostTheCountAsked) {
  ardo::ComPtr<IStream> source, target;
  ASSERT_HR(ardo::CreateMemoryStream("0123456789", 10, source.Out()), S_OK);
  ASSERT_HR(ardo::CreateMemoryStream(target.Out()), S_OK);
  source->Seek(Offset(3), STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER read, written;
  ASSERT_HR(source->CopyTo(target.Get(), Size(4), &read, &written), S_OK);
  EXPECT_EQ(written.QuadPart, 4u);
  EXPECT_EQ(ReadAll(target.Get()), "3456");
  ASSERT_HR(source->CopyTo(target.Get(), Size(100), &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, 3u);  // only what was left
  EXPECT_HR(source->CopyTo(nullptr, Size(1), nullptr, nullptr), STG_E_INVALIDPOINTER);
}

}  // namespace
