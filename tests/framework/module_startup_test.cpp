// Loading the library registers it once as an extension module of the class
// framework.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "framework/com_exception.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {
namespace {

class ModuleStartupTest : public LeakCheckedTest {};

TEST_F(ModuleStartupTest, TheLibraryIsLinkedIntoTheFrameworkExactlyOnce) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&AfxThrowComException), &info), 0);
  ASSERT_NE(info.dli_fbase, nullptr);
  EXPECT_EQ(LinkedExtensionLibraryCount(info.dli_fbase), 1);
}

}  // namespace
}  // namespace ardo::test
