#include <cstring>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using SafeArrayTest = ardo::test::LeakCheckedTest;

TEST_F(SafeArrayTest, ByteVectorBoundsAccessAndLocking) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, 5);
  ASSERT_NE(psa, nullptr);
  LONG lower = 0, upper = 0;
  ASSERT_HR(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  ASSERT_HR(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 5);
  EXPECT_HR(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
  EXPECT_HR(SafeArrayGetUBound(psa, 2, &upper), DISP_E_BADINDEX);
  void* data = nullptr;
  ASSERT_HR(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(std::memcmp(data, "\0\0\0\0\0", 5), 0);  // zero-filled
  std::memcpy(data, "hello", 5);
  EXPECT_HR(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_HR(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_HR(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  ASSERT_HR(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(std::memcmp(data, "hello", 5), 0);  // the same storage again
  ASSERT_HR(SafeArrayUnaccessData(psa), S_OK);
  ASSERT_HR(SafeArrayDestroy(psa), S_OK);
}

TEST_F(SafeArrayTest, UnsupportedShapesGiveNullAndEmptyVectorsWork) {
  SAFEARRAYBOUND bound{3, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4 | VT_BYREF, 1, &bound), nullptr);
  SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 0, 0);
  LONG upper = 0;
  ASSERT_HR(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  SafeArrayDestroy(empty);
}

}  // namespace
