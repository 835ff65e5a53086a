// The one main of every test program: GoogleTest and GoogleMock, nothing
// else. Leak checks live in the shared fixture, not here.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
