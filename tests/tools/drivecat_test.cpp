// drivecat end to end: what each command prints, its JSON, its exit status
// and its messages, on drive lists written for each test and on the bundled
// sample. Where the answer is the library's, the expectation comes from the
// catalogue itself run in this process on the same file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <ardoxml/ardoxml.h>

#include "tests/catalogue/catalogue_fixture.h"
#include "tests/tools/drivecat_runner.h"

namespace ardo::test {
namespace {

using Row = std::vector<std::string>;

template <typename T>
std::string Printed(const char* format, T value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

class DrivecatTest : public LeakCheckedTest {
 protected:
  ToolRun Cat(const std::vector<std::string>& args, std::map<std::string, std::optional<std::string>> env = {}) {
    return RunDrivecat(args, folder_.Path(), std::move(env));
  }

  // drivecat with the test's drive list given by --file.
  ToolRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--file", list_});
    return Cat(args);
  }

  JsonValue RunJson(std::vector<std::string> args, int status = 0) {
    args.insert(args.begin(), "--json");
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, status) << run.err;
    return JsonValue::Parse(run.out);  // a parse error fails the test with its offset
  }

  // The words of each line `list` prints for the file given in `args`, header first.
  std::vector<Row> Table(std::vector<std::string> args) {
    args.push_back("list");
    const ToolRun run = Cat(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<Row> rows;
    for (const std::string& line : Lines(run.out)) rows.push_back(Words(line));
    return rows;
  }

  TempFolder folder_;
  const std::string list_ = folder_.Write(
      "drives.xml", DriveListXml({Drive(4, "VK-48-10", 48, 1000, 3000), Drive(12, "Q2-400-20", 400, 2000, 4000),
                                  Drive(33, "ZX-400", 400, 1250, 2500), Drive(255, "K9-24", 24, 125, 250)}));
};

TEST_F(DrivecatTest, HelpDescribesEveryCommandAndSucceeds) {
  for (const char* option : {"--help", "-h"}) {
    const ToolRun run = Cat({option});
    EXPECT_EQ(run.status, 0);
    for (const char* word : {"Usage:", "list", "count", "lookup VOLTS AMPS", "platform PID", "frame PID",
                             "find PID", "--json", "--file", "Exit status"})
      EXPECT_NE(run.out.find(word), std::string::npos) << word;
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(DrivecatTest, UsageErrorsExitWithTwoAndSayWhy) {
  const struct { std::vector<std::string> args; const char* message; } cases[] = {
      {{}, "no command"}, {{"--json"}, "no command"}, {{"some.xml", "bogus"}, "unknown command 'bogus'"},
      {{"list", "extra"}, "'list' takes no arguments"}, {{"lookup", "400"}, "'lookup' takes VOLTS AMPS"},
      {{"find", "1", "2"}, "'find' takes PID"}, {{"lookup", "4OO", "12.5"}, "VOLTS must be a decimal number"},
      {{"lookup", "400", "12.345"}, "AMPS must be amperes"},  // finer than hundredths
      {{"lookup", "400", "12."}, "AMPS must be amperes"},
      {{"lookup", "400", "42949672.96"}, "AMPS must be amperes"},  // more hundredths than 32 bits hold
      {{"frame", "0x10"}, "PID must be a decimal number"},
      {{"platform", "4294967296"}, "PID must be a decimal number"},
      {{"find", "-1"}, "unknown option '-1'"}, {{"list", "--file"}, "needs a PATH"},
      {{"--file=", "list"}, "non-empty PATH"},
      {{"-f", "a.xml", "--file", "b.xml", "list"}, "more than one drive list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const ToolRun run = Cat(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos);
  }
}

// AMPS is amperes; the file holds hundredths. A miss exits with 1 and names
// what was missing; identifier 255 is an answer, not a miss.
TEST_F(DrivecatTest, AnswersAndMissesInText) {
  const struct {
    std::vector<std::string> args;
    const char* out;      // nullptr: nothing found
    const char* message;  // on stderr for a miss
  } cases[] = {
      {{"count"}, "4\n", ""},           {{"platform", "12"}, "QM\n", ""},
      {{"frame", "33"}, "Z\n", ""},         {{"lookup", "400", "12.5"}, "33\n", ""},
      {{"lookup", "400", "12.500"}, "33\n", ""}, {{"lookup", "400", "20"}, "12\n", ""},
      {{"lookup", "24", "1.25"}, "255\n", ""},
      {{"lookup", "400", "1250"}, "33\n", ""},  // no 1250 A drive: read as the file's hundredths
      {{"lookup", "400", "1251"}, nullptr, "no drive rated 400 V, 1251.00 A"},
      {{"lookup", "400", "12.05"}, nullptr, "no drive rated 400 V, 12.05 A"},
      {{"platform", "5"}, nullptr, "no drive with PID 5"}, {{"frame", "99"}, nullptr, "no drive with PID 99"},
      {{"find", "7"}, nullptr, "no drive with PID 7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.status, c.out ? 0 : 1);
    EXPECT_EQ(run.out, c.out ? c.out : "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  const ToolRun found = Run({"find", "33"});
  EXPECT_EQ(found.status, 0);
  const std::vector<std::string> lines = Lines(found.out);
  ASSERT_EQ(lines.size(), 2u) << found.out;
  EXPECT_EQ(Words(lines[0]),
            (Row{"POSITION", "PID", "MODEL", "PLATFORM", "FRAME", "VOLTS", "AMPS", "PEAK", "FAMILY"}));
  EXPECT_EQ(Words(lines[1]), (Row{"0xF002", "33", "ZX-400", "QM", "Z", "400", "12.50", "25.00", "-"}));
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

// A list with the awkward cases: missing attributes, no model name, a PID
// twice, and model names with quotes, backslash, tab and two-byte characters.
TEST_F(DrivecatTest, AwkwardDrivesInTheTable) {
  const std::string path = folder_.Write(
      "odd.xml", DriveListXml({DriveSpec{std::nullopt, "VA", std::nullopt, "100", std::nullopt},
                               Drive(7, "", 48, 200, 400), Drive(5, "VA1", 48, 100, 200),
                               Drive(5, "QB2", 48, 300, 400), Drive(3, "\xC3\x9C\xC3\x9C" "ber", 24, 100, 200)}));
  const std::vector<Row> rows = Table({path});
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[1], (Row{"0xF000", "-", "VA", "-", "-", "-", "1.00", "0.00", "-"}));
  EXPECT_EQ(rows[2], (Row{"0xF001", "7", "-", "QM", "-", "48", "2.00", "4.00", "Vantor", "K"}));
  EXPECT_EQ(rows[3][2] + rows[3][3] + rows[3][4], "VA1VTXV");
  EXPECT_EQ(rows[4][2] + rows[4][3] + rows[4][4], "QB2VTXV") << "platform and frame of PID 5 are the first's";

  // Columns line up by characters, not bytes: where PLATFORM starts.
  auto column = [](const std::string& line, const std::string& word) {
    const std::string before = line.substr(0, line.find(word));
    return std::count_if(before.begin(), before.end(), [](char c) { return (c & 0xC0) != 0x80; });
  };
  const std::vector<std::string> lines = Lines(Cat({path, "list"}).out);
  EXPECT_EQ(column(lines[5], "QM"), column(lines[0], "PLATFORM")) << lines[5];
  EXPECT_EQ(column(lines[2], "QM"), column(lines[0], "PLATFORM")) << lines[2];

  const ToolRun platform = Cat({path, "platform", "5"});
  EXPECT_EQ(platform.status, 0);
  EXPECT_EQ(platform.out, "VTX\n");
  const ToolRun frame = Cat({path, "frame", "7"});
  EXPECT_EQ(frame.status, 1);
  EXPECT_NE(frame.err.find("has no model name"), std::string::npos) << frame.err;
}

TEST_F(DrivecatTest, AwkwardDrivesInJson) {
  // A character reference, since a raw tab in an attribute reads as a space.
  const std::string path = folder_.Write(
      "odd.xml", "<drive_list><drive model='VA' amps='100'/><drive PID='3' model='Q \"quoted\" \\ back&#9;slash "
                 "\xC3\x84' volts='24' amps='100' peakamps='200'/></drive_list>");
  const ToolRun run = Cat({path, "list", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const JsonValue drives = JsonValue::Parse(run.out)["drives"];
  EXPECT_TRUE(drives.items.at(0)["pid"].IsNull());
  EXPECT_TRUE(drives.items.at(0)["volts"].IsNull());
  EXPECT_TRUE(drives.items.at(0)["platform"].IsNull());
  EXPECT_EQ(drives.items.at(1)["model"].text, "Q \"quoted\" \\ back\tslash \xC3\x84");
  EXPECT_EQ(run.out.find('\t'), std::string::npos) << "a raw tab is not valid inside a JSON string";
}

TEST_F(DrivecatTest, EveryWayOfNamingTheFileReadsTheSameList) {
  const std::string expected = Run({"list"}).out;
  ASSERT_FALSE(expected.empty());
  for (const auto& args : {Row{list_, "list"}, Row{"--file=" + list_, "list"}, Row{"list", "-f", list_}})
    EXPECT_EQ(Cat(args).out, expected) << args[0];
  EXPECT_EQ(Cat({"list"}, {{"ARDOXML_DRIVES", list_}}).out, expected);
}

TEST_F(DrivecatTest, AnEmptyListHasAHeaderAndNoRows) {
  const std::string path = folder_.Write("none.xml", "<drive_list/>");
  EXPECT_EQ(Table({path}).size(), 1u);
  const JsonValue json = JsonValue::Parse(Cat({"--json", path, "list"}).out);
  EXPECT_EQ(json["count"].number, 0);
  EXPECT_TRUE(json["drives"].items.empty());
  EXPECT_EQ(Cat({path, "find", "1"}).status, 1);
}

// Without a file drivecat lists the bundled sample, so the sample must be a
// complete catalogue in which every drive is found by its PID and rating
// (both unique), and each row must say what the library answers for it.
TEST_F(DrivecatTest, WithoutAFileItListsTheBundledSampleAsTheCatalogueSeesIt) {
  const std::vector<Row> rows = Table({});
  InspectableLookup lookup;
  const char* source = std::getenv("ARDO_SOURCE_DIR");
  ASSERT_EQ(lookup.LoadDocument((std::string(source ? source : ".") + "/examples/drives.xml").c_str()), S_OK);
  const int count = lookup.GetDriveCount();
  EXPECT_GE(count, 30);
  EXPECT_LE(count, 40);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(count) + 1);
  std::set<std::string> platforms;
  int inFamilies = 0;
  POSITION pos = lookup.GetFirstDevice();
  for (int i = 0; i < count; ++i, lookup.GetNextDevice(pos)) {
    SCOPED_TRACE("drive " + std::to_string(i));
    const unsigned pid = lookup.GetCurrentPID(pos);
    const std::string volts = Str(lookup._GetDriveAttribute(pos, "volts", nullptr));
    const std::string hundredths = Str(lookup._GetDriveAttribute(pos, "amps", nullptr));
    const float amps = lookup.GetDriveContinuousCurrent(pos), peak = lookup.GetDrivePeakCurrent(pos);
    EXPECT_EQ(lookup.FindPID(pid), pos);
    EXPECT_EQ(lookup.LookupPID(std::atoi(volts.c_str()), std::atoi(hundredths.c_str())), pid);
    EXPECT_GT(amps, 0.0f);
    EXPECT_GE(peak, amps);
    platforms.insert(Str(lookup.LookupPlatform(pid)));
    inFamilies += cArdoModelLookup::IsVantor(pid);

    // A missing PID, model or volts shows as "-" and fails the comparison.
    Row expected = {Printed("0x%llX", static_cast<unsigned long long>(Value(pos))), std::to_string(pid),
                    Str(lookup.GetCurrentName(pos)), Str(lookup.LookupPlatform(pid)),
                    Str(lookup.LookupQMFrameSize(pid)), volts, Printed("%.2f", double{amps}),
                    Printed("%.2f", double{peak})};
    const char* family = cArdoModelLookup::IsVantorK(pid)    ? "Vantor K"
                         : cArdoModelLookup::IsVantorQZ(pid) ? "Vantor QZ"
                                                             : "-";
    for (const std::string& word : Words(family)) expected.push_back(word);  // the family may be two words
    EXPECT_EQ(rows[static_cast<std::size_t>(i) + 1], expected);
  }
  EXPECT_EQ(platforms, (std::set<std::string>{"QM", "VTX"}));
  EXPECT_GT(inFamilies, 0);
  EXPECT_LT(inFamilies, count) << "the sample also has identifiers outside 1..18";
}

// The reason, line and column drivecat reports are those of the engine's
// parse error for the same file.
TEST_F(DrivecatTest, ABrokenFileIsReportedWithReasonLineAndColumn) {
  const std::string path = folder_.Write(
      "broken.xml", "<drive_list>\n  <drive PID=\"1\" model=\"VK\"\n  <drive PID=\"2\"/>\n</drive_list>\n");
  CXMLDOMDocument2 document = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
  document.SetAsync(0);
  ASSERT_EQ(document.Load(_variant_t(path.c_str())), 0);
  CXMLDOMParseError error = document.GetParseError();
  const std::string where = "line " + std::to_string(error.GetLine()) + ", column " +
                            std::to_string(error.GetLinepos());
  std::string reason = static_cast<const char*>(error.GetReason());
  reason.erase(reason.find_last_not_of("\r\n ") + 1);
  ASSERT_FALSE(reason.empty());
  ASSERT_GT(error.GetLine(), 0);
  for (const char* command : {"list", "count"}) {
    const ToolRun run = Cat({path, command});
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(where), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(path), std::string::npos);
  }
}

TEST_F(DrivecatTest, AMissingFileIsAFailureNamingTheFile) {
  const std::string path = (folder_.Path() / "absent.xml").string();
  for (const ToolRun& run : {Cat({"--file", path, "count"}), Cat({"count"}, {{"ARDOXML_DRIVES", path}})}) {
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot open " + path), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace ardo::test
