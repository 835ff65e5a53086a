// drivecat on the bundled sample and on files that do not load. The expected
// answers come from the catalogue itself, run in this process on the same
// file, so the tool is checked to print what the library answers.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <ardoxml/ardoxml.h>

#include "tests/catalogue/catalogue_fixture.h"
#include "tests/tools/drivecat_runner.h"

namespace ardo::test {
namespace {

std::string SamplePath() { return SourceDir() + "/examples/drives.xml"; }

template <typename T>
std::string Printed(const char* format, T value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}


class DrivecatSampleTest : public LeakCheckedTest {
 protected:
  TempFolder folder_;
};

TEST_F(DrivecatSampleTest, WithoutAFileItListsTheBundledSampleAsTheCatalogueSeesIt) {
  const ToolRun run = RunDrivecat({"list"}, folder_.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  InspectableLookup lookup;
  ASSERT_EQ(lookup.LoadDocument(SamplePath().c_str()), S_OK);
  const int count = lookup.GetDriveCount();
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(count) + 1) << run.out;
  POSITION pos = lookup.GetFirstDevice();
  for (int i = 0; i < count; ++i, lookup.GetNextDevice(pos)) {
    const unsigned pid = lookup.GetCurrentPID(pos);
    const char* family = cArdoModelLookup::IsVantorK(pid) ? "Vantor K" : cArdoModelLookup::IsVantorQZ(pid) ? "Vantor QZ" : "-";
    std::vector<std::string> expected = {Printed("0x%llX", static_cast<unsigned long long>(Value(pos))),
                                         std::to_string(pid),
                                         static_cast<const char*>(lookup.GetCurrentName(pos)),
                                         static_cast<const char*>(lookup.LookupPlatform(pid)),
                                         static_cast<const char*>(lookup.LookupQMFrameSize(pid)),
                                         static_cast<const char*>(lookup._GetDriveAttribute(pos, "volts", nullptr)),
                                         Printed("%.2f", static_cast<double>(lookup.GetDriveContinuousCurrent(pos))),
                                         Printed("%.2f", static_cast<double>(lookup.GetDrivePeakCurrent(pos)))};
    // The family may be two words.
    for (const std::string& word : Words(family)) expected.push_back(word);
    EXPECT_EQ(Words(lines[static_cast<std::size_t>(i) + 1]), expected) << "drive " << i;
  }
}

// The reason, line and column drivecat reports are those of the engine's
// parse error for the same file.
TEST_F(DrivecatSampleTest, ABrokenFileIsReportedWithReasonLineAndColumn) {
  const std::string path =
      folder_.Write("broken.xml", "<drive_list>\n  <drive PID=\"1\" model=\"VK\"\n  <drive PID=\"2\"/>\n</drive_list>\n");
  long line = 0, column = 0;
  std::string reason;
  {
    CXMLDOMDocument2 document = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
    document.SetAsync(0);
    ASSERT_EQ(document.Load(_variant_t(path.c_str())), 0);
    CXMLDOMParseError error = document.GetParseError();
    line = error.GetLine();
    column = error.GetLinepos();
    reason = static_cast<const char*>(error.GetReason());
  }
  reason.erase(reason.find_last_not_of("\r\n ") + 1);
  ASSERT_FALSE(reason.empty());
  ASSERT_GT(line, 0);

  for (const char* command : {"list", "count"}) {
    const ToolRun run = RunDrivecat({path, command}, folder_.Path());
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line " + std::to_string(line) + ", column " + std::to_string(column)), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(path), std::string::npos);
  }
}

TEST_F(DrivecatSampleTest, AMissingFileIsAFailureNamingTheFile) {
  const std::string path = (folder_.Path() / "absent.xml").string();
  const ToolRun run = RunDrivecat({"--file", path, "count"}, folder_.Path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("cannot open " + path), std::string::npos) << run.err;
  const ToolRun fromEnvironment = RunDrivecat({"count"}, folder_.Path(), {{"ARDOXML_DRIVES", path}});
  EXPECT_EQ(fromEnvironment.status, 2);
  EXPECT_NE(fromEnvironment.err.find(path), std::string::npos);
}

}  // namespace
}  // namespace ardo::test
