// drivecat end to end on drive lists written for each test: what each command
// prints, its JSON, its exit status and its messages.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "tests/catalogue/drive_list_files.h"
#include "tests/support/leak_fixture.h"
#include "tests/tools/drivecat_runner.h"
#include "tests/tools/json_value.h"

namespace ardo::test {
namespace {

class DrivecatTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    list_ = folder_.WriteDrives("drives.xml", {Drive(4, "VK-48-10", 48, 1000, 3000),
                                               Drive(12, "Q2-400-20", 400, 2000, 4000),
                                               Drive(33, "ZX-400", 400, 1250, 2500),
                                               Drive(255, "K9-24", 24, 125, 250)});
  }

  // drivecat with the test's drive list given by --file.
  ToolRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--file", list_});
    return RunDrivecat(args, folder_.Path());
  }

  JsonValue RunJson(std::vector<std::string> args, int status = 0) {
    args.insert(args.begin(), "--json");
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, status) << run.err;
    return JsonReader::Parse(run.out);  // a parse error fails the test with its offset
  }

  TempFolder folder_;
  std::string list_;
};

TEST_F(DrivecatTest, HelpDescribesEveryCommandAndSucceeds) {
  for (const char* option : {"--help", "-h"}) {
    const ToolRun run = RunDrivecat({option}, folder_.Path());
    EXPECT_EQ(run.status, 0);
    for (const char* word : {"Usage:", "list", "count", "lookup VOLTS AMPS", "platform PID", "frame PID",
                             "find PID", "--json", "--file", "Exit status"})
      EXPECT_NE(run.out.find(word), std::string::npos) << word;
    EXPECT_EQ(run.err, "");
  }
}

struct UsageCase {
  std::vector<std::string> args;
  const char* message;
};

class DrivecatUsageTest : public DrivecatTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(DrivecatUsageTest, ExitsWithTwoAndSaysWhy) {
  const ToolRun run = RunDrivecat(GetParam().args, folder_.Path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("--help"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DrivecatUsageTest,
    ::testing::Values(UsageCase{{}, "no command"}, UsageCase{{"--json"}, "no command"},
                      UsageCase{{"some.xml", "bogus"}, "unknown command 'bogus'"},
                      UsageCase{{"list", "extra"}, "'list' takes no arguments"},
                      UsageCase{{"lookup", "400"}, "'lookup' takes VOLTS AMPS"},
                      UsageCase{{"find", "1", "2"}, "'find' takes PID"},
                      UsageCase{{"lookup", "4OO", "12.5"}, "VOLTS must be a decimal number"},
                      UsageCase{{"lookup", "400", "12.345"}, "AMPS must be amperes"},
                      UsageCase{{"lookup", "400", "12."}, "AMPS must be amperes"},
                      UsageCase{{"lookup", "400", "42949672.96"}, "AMPS must be amperes"},
                      UsageCase{{"frame", "0x10"}, "PID must be a decimal number"},
                      UsageCase{{"platform", "4294967296"}, "PID must be a decimal number"},
                      UsageCase{{"find", "-1"}, "unknown option '-1'"},
                      UsageCase{{"list", "--file"}, "needs a PATH"},
                      UsageCase{{"--file=", "list"}, "non-empty PATH"},
                      UsageCase{{"-f", "a.xml", "--file", "b.xml", "list"}, "more than one drive list"}));

TEST_F(DrivecatTest, CountAndLookupsAnswerFromTheFile) {
  EXPECT_EQ(Run({"count"}).out, "4\n");
  EXPECT_EQ(Run({"platform", "12"}).out, "QM\n");
  EXPECT_EQ(Run({"frame", "33"}).out, "Z\n");
  const ToolRun found = Run({"find", "33"});
  EXPECT_EQ(found.status, 0);
  const std::vector<std::string> lines = Lines(found.out);
  ASSERT_EQ(lines.size(), 2u) << found.out;
  EXPECT_EQ(Words(lines[0]), (std::vector<std::string>{"POSITION", "PID", "MODEL", "PLATFORM", "FRAME", "VOLTS",
                                                       "AMPS", "PEAK", "FAMILY"}));
  EXPECT_EQ(Words(lines[1]),
            (std::vector<std::string>{"0xF002", "33", "ZX-400", "QM", "Z", "400", "12.50", "25.00", "-"}));
}

// AMPS is amperes; the file holds hundredths. A miss exits with 1 and names
// what was missing; identifier 255 is an answer, not a miss.
TEST_F(DrivecatTest, LookupConvertsAmperesAndMissesExitWithOne) {
  const struct {
    std::vector<std::string> args;
    const char* out;      // nullptr: nothing found
    const char* message;  // on stderr for a miss
  } cases[] = {
      {{"lookup", "400", "12.5"}, "33\n", ""},
      {{"lookup", "400", "12.500"}, "33\n", ""},
      {{"lookup", "400", "20"}, "12\n", ""},
      {{"lookup", "24", "1.25"}, "255\n", ""},
      {{"lookup", "400", "1250"}, "33\n", ""},  // no 1250 A drive: read as the file's hundredths
      {{"lookup", "400", "1251"}, nullptr, "no drive rated 400 V, 1251.00 A"},
      {{"lookup", "400", "12.05"}, nullptr, "no drive rated 400 V, 12.05 A"},
      {{"platform", "5"}, nullptr, "no drive with PID 5"},
      {{"frame", "99"}, nullptr, "no drive with PID 99"},
      {{"find", "7"}, nullptr, "no drive with PID 7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.status, c.out ? 0 : 1);
    EXPECT_EQ(run.out, c.out ? c.out : "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST_F(DrivecatTest, JsonAnswersCarryTheSameValues) {
  EXPECT_EQ(RunJson({"count"})["count"].number, 4);
  const JsonValue lookup = RunJson({"lookup", "400", "12.5"});
  EXPECT_EQ(std::make_tuple(lookup["pid"].number, lookup["volts"].number, lookup["amps"].number),
            std::make_tuple(33.0, 400.0, 12.5));
  const struct { std::vector<std::string> args; const char* text; } answers[] = {  // text nullptr: a miss
      {{"lookup", "400", "1"}, nullptr}, {{"platform", "4"}, "VTX"}, {{"platform", "5"}, nullptr},
      {{"frame", "12"}, "Q"}, {{"frame", "13"}, nullptr}};
  for (const auto& a : answers) {
    const JsonValue v = RunJson(a.args, a.text ? 0 : 1)[a.args[0] == "lookup" ? "pid" : a.args[0]];
    EXPECT_EQ(v.IsNull() ? "null" : v.text, a.text ? a.text : "null") << a.args[0] << " " << a.args[1];
  }

  const JsonValue found = RunJson({"find", "4"});
  EXPECT_EQ(found["position"].text, "0xF000");
  const JsonValue& drive = found["drive"];
  EXPECT_EQ(drive["pid"].number, 4);
  EXPECT_EQ(drive["model"].text, "VK-48-10");
  EXPECT_EQ(drive["frame"].text, "V");
  EXPECT_EQ(drive["peak_amps"].number, 30);
  EXPECT_EQ(drive["family"].text, "Vantor K");
  const JsonValue missing = RunJson({"find", "5"}, 1);
  EXPECT_TRUE(missing["position"].IsNull());
  EXPECT_TRUE(missing["drive"].IsNull());
}

TEST_F(DrivecatTest, JsonListHasOneObjectPerDriveInOrder) {
  const JsonValue list = RunJson({"list"});
  EXPECT_EQ(list["file"].text, list_);
  EXPECT_EQ(list["count"].number, 4);
  const auto& drives = list["drives"].items;
  ASSERT_EQ(drives.size(), 4u);
  const double pids[] = {4, 12, 33, 255};
  for (std::size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i]["position"].text, "0xF00" + std::to_string(i));
    EXPECT_EQ(drives[i]["pid"].number, pids[i]);
    EXPECT_EQ(drives[i].members.size(), 9u);
  }
  EXPECT_EQ(drives[1]["family"].text, "Vantor QZ");
  EXPECT_TRUE(drives[3]["family"].IsNull());
  EXPECT_EQ(drives[3]["amps"].text, "1.25") << "two decimals, as in the table";
}

TEST_F(DrivecatTest, ModelNamesAreEscapedInJson) {
  const std::string model = "Q \"quoted\" \\ back\tslash \xC3\x84";
  // A character reference, since a raw tab in an attribute reads as a space.
  const std::string path = folder_.Write(
      "odd.xml", "<drive_list><drive PID='3' model='Q \"quoted\" \\ back&#9;slash \xC3\x84' volts='24' "
                 "amps='100' peakamps='200'/></drive_list>");
  const ToolRun run = RunDrivecat({"--json", path, "list"}, folder_.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(JsonReader::Parse(run.out)["drives"].items.at(0)["model"].text, model);
  EXPECT_EQ(run.out.find('\t'), std::string::npos) << "a raw tab is not valid inside a JSON string";
}

TEST_F(DrivecatTest, TableColumnsLineUpByCharactersNotBytes) {
  const std::string path = folder_.Write(
      "wide.xml", "<drive_list><drive PID='3' model='\xC3\x9C\xC3\x9C" "ber' volts='24' amps='100' peakamps='200'/>"
                  "<drive PID='4' model='Plain' volts='24' amps='100' peakamps='200'/></drive_list>");
  const ToolRun run = RunDrivecat({path, "list"}, folder_.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  // The column where PLATFORM starts, counted in characters.
  auto platformColumn = [](const std::string& line, const std::string& word) {
    const std::string before = line.substr(0, line.find(word));
    return std::count_if(before.begin(), before.end(), [](char c) { return (c & 0xC0) != 0x80; });
  };
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(platformColumn(lines[1], "QM"), platformColumn(lines[0], "PLATFORM")) << run.out;
  EXPECT_EQ(platformColumn(lines[2], "QM"), platformColumn(lines[0], "PLATFORM")) << run.out;
}

TEST_F(DrivecatTest, MissingAttributesShowAsDashesAndNulls) {
  const std::string path = folder_.WriteDrives(
      "gaps.xml", {DriveSpec{std::nullopt, "VA", std::nullopt, "100", std::nullopt}, Drive(7, "", 48, 200, 400)});
  const ToolRun text = RunDrivecat({path, "list"}, folder_.Path());
  ASSERT_EQ(text.status, 0) << text.err;
  const std::vector<std::string> lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Words(lines[1]), (std::vector<std::string>{"0xF000", "-", "VA", "-", "-", "-", "1.00", "0.00", "-"}));
  EXPECT_EQ(Words(lines[2]), (std::vector<std::string>{"0xF001", "7", "-", "QM", "-", "48", "2.00", "4.00", "Vantor", "K"}));

  const ToolRun json = RunDrivecat({path, "list", "--json"}, folder_.Path());
  const JsonValue first = JsonReader::Parse(json.out)["drives"].items.at(0);
  EXPECT_TRUE(first["pid"].IsNull());
  EXPECT_TRUE(first["volts"].IsNull());
  EXPECT_TRUE(first["platform"].IsNull());

  const ToolRun frame = RunDrivecat({path, "frame", "7"}, folder_.Path());
  EXPECT_EQ(frame.status, 1);
  EXPECT_NE(frame.err.find("has no model name"), std::string::npos) << frame.err;
}

TEST_F(DrivecatTest, DrivesSharingAPidShowWhatTheLookUpsAnswerForIt) {
  const std::string path = folder_.WriteDrives("twice.xml", {Drive(5, "VA1", 48, 100, 200), Drive(5, "QB2", 48, 300, 400)});
  const std::vector<std::string> lines = Lines(RunDrivecat({path, "list"}, folder_.Path()).out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Words(lines[1]).at(2) + Words(lines[1]).at(3) + Words(lines[1]).at(4), "VA1VTXV");
  EXPECT_EQ(Words(lines[2]).at(2) + Words(lines[2]).at(3) + Words(lines[2]).at(4), "QB2VTXV")
      << "platform and frame of PID 5 are the first such drive's";
  const ToolRun platform = RunDrivecat({path, "platform", "5"}, folder_.Path());
  EXPECT_EQ(platform.status, 0);
  EXPECT_EQ(platform.out, "VTX\n");
}

TEST_F(DrivecatTest, EveryWayOfNamingTheFileReadsTheSameList) {
  const std::string expected = Run({"list"}).out;
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(RunDrivecat({list_, "list"}, folder_.Path()).out, expected);
  EXPECT_EQ(RunDrivecat({"--file=" + list_, "list"}, folder_.Path()).out, expected);
  EXPECT_EQ(RunDrivecat({"list", "-f", list_}, folder_.Path()).out, expected);
  EXPECT_EQ(RunDrivecat({"list"}, folder_.Path(), {{"ARDOXML_DRIVES", list_}}).out, expected);
}

TEST_F(DrivecatTest, AnEmptyListHasAHeaderAndNoRows) {
  const std::string path = folder_.Write("none.xml", "<drive_list/>");
  const ToolRun text = RunDrivecat({path, "list"}, folder_.Path());
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(Lines(text.out).size(), 1u);
  const JsonValue json = JsonReader::Parse(RunDrivecat({"--json", path, "list"}, folder_.Path()).out);
  EXPECT_EQ(json["count"].number, 0);
  EXPECT_TRUE(json["drives"].items.empty());
  EXPECT_EQ(RunDrivecat({path, "find", "1"}, folder_.Path()).status, 1);
}

}  // namespace
}  // namespace ardo::test
