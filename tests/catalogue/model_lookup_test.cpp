// The catalogue over well-formed drive lists: loading, counting, the walk by
// position, the look-ups and the family predicates.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/catalogue/catalogue_fixture.h"
#include "tests/support/assertions.h"

namespace ardo::test {
namespace {

using ModelLookupTest = CatalogueTest;

TEST_F(ModelLookupTest, BeforeAnyLoadEveryAnswerIsNotFound) {
  cArdoModelLookup lookup;
  POSITION first = Pos(0xF000);
  EXPECT_EQ(lookup.GetDriveCount(), -1);
  EXPECT_EQ(lookup.GetFirstDevice(), nullptr);
  EXPECT_EQ(lookup.FindPID(1), nullptr);
  EXPECT_EQ(lookup.LookupPID(24, 250), 255u);
  EXPECT_EQ(Str(lookup.LookupPlatform(1)), "");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(1)), "");
  EXPECT_EQ(lookup.GetCurrentPID(first), 65535u);
  EXPECT_EQ(Str(lookup.GetCurrentName(first)), "");
  EXPECT_EQ(lookup.GetDrivePeakCurrent(first), 0.0f);
  EXPECT_EQ(Value(first), 0xF000u) << "readers leave the position alone";
  EXPECT_EQ(lookup.GetNextPID(first), 65535u);
  EXPECT_EQ(first, nullptr);
  POSITION walk = Pos(0xF000);
  EXPECT_EQ(lookup.GetNextDevice(walk), nullptr);
  EXPECT_EQ(walk, nullptr);
}

// Which elements count as drives: "drive" children of any "drive_list",
// case-sensitively, and nothing else.
TEST_F(ModelLookupTest, CountsDriveChildrenOfDriveLists) {
  const struct { const char* xml; int count; } cases[] = {
      {"<drive_list><!-- none yet --><note>x</note>text</drive_list>", 0},
      {"<catalogue><drive PID='1'/><drive PID='2'/></catalogue>", 0},
      {"<Drive_List><drive PID='1'/></Drive_List>", 0},
      {"<drive_list><Drive PID='1'/><drive PID='2'/></drive_list>", 1},
      {"<r><drive_list><drive/></drive_list><a><drive_list><drive/><drive/></drive_list></a></r>", 3},
      {"<drive_list><group><drive/></group><drive/></drive_list>", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    cArdoModelLookup lookup;
    ASSERT_EQ(lookup.LoadDocument(folder_.Write("count.xml", c.xml).c_str()), S_OK);
    EXPECT_EQ(lookup.GetDriveCount(), c.count);
    EXPECT_EQ(Value(lookup.GetFirstDevice()), c.count > 0 ? 0xF000u : 0u);
  }
}

TEST_F(ModelLookupTest, FilesThatDoNotLoadGiveEFail) {
  const std::string broken = folder_.Write("broken.xml", "<drive_list><drive PID='1'></drive_list>");
  const std::string empty = folder_.Write("empty.xml", "");
  const std::string missing = (folder_.Path() / "no-such-file.xml").string();
  for (const std::string& path : {broken, empty, missing}) {
    cArdoModelLookup lookup;
    EXPECT_HR(lookup.LoadDocument(path.c_str()), E_FAIL) << path;
    EXPECT_GE(lookup.GetDriveCount(), 0) << "the document exists even though the file did not load";
  }
  cArdoModelLookup lookup;
  EXPECT_HR(lookup.LoadDocument(nullptr), E_FAIL);
  EXPECT_HR(lookup.LoadDocument(""), E_FAIL);
}

TEST_F(ModelLookupTest, LoadingAgainReplacesTheContentInTheSameDocument) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VK-4", 48, 1000, 3000)});
  const long objectsWithOneDocument = ardo::LiveObjectCount();
  Load(lookup, {Drive(7, "QX", 230, 500, 1000), Drive(8, "ZX", 400, 800, 1600)});
  EXPECT_EQ(ardo::LiveObjectCount(), objectsWithOneDocument) << "the second load must not create a document";
  EXPECT_EQ(lookup.GetDriveCount(), 2);
  EXPECT_EQ(lookup.FindPID(4), nullptr);
  Load(lookup, {});
  EXPECT_EQ(lookup.GetDriveCount(), 0);
  EXPECT_EQ(Str(lookup.LookupPlatform(7)), "");
}

TEST_F(ModelLookupTest, WalkByPositionVisitsEachDriveThenOnePastTheEnd) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VK-48-10", 48, 1000, 3000), Drive(7, "Q1-230-06", 230, 630, 1890),
                Drive(11, "ZA", 400, 1250, 2500)});
  POSITION pos = lookup.GetFirstDevice();
  for (std::uintptr_t next : {0xF001, 0xF002, 0xF003}) {
    EXPECT_EQ(Value(lookup.GetNextDevice(pos)), next);
    EXPECT_EQ(Value(pos), next) << "GetNextDevice writes the position it returns";
  }
  EXPECT_EQ(lookup.GetCurrentPID(pos), 65535u);
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(pos), 0.0f);
  EXPECT_EQ(lookup.GetNextDevice(pos), nullptr);
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(lookup.GetNextDevice(pos), nullptr) << "NULL stays NULL";

  POSITION second = Pos(0xF001);
  EXPECT_EQ(lookup.GetCurrentPID(second), 7u);
  EXPECT_EQ(Str(lookup.GetCurrentName(second)), "Q1-230-06");
  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{4, 7, 11, 65535}));
  EXPECT_EQ(Value(lookup.FindPID(11)), 0xF002u) << "the last drive is found too";
  EXPECT_EQ(lookup.FindPID(5), nullptr);
  EXPECT_EQ(lookup.FindPID(65535), nullptr);
}

TEST_F(ModelLookupTest, A65535IdentifierIsFoundAndWalkedLikeAnyOther) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(3, "VA", 24, 100, 200), Drive(65535, "VB", 24, 200, 400)});
  EXPECT_EQ(Value(lookup.FindPID(65535)), 0xF001u);
  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{3, 65535, 65535}));
}

TEST_F(ModelLookupTest, DuplicatesAnswerWithTheFirstInDocumentOrder) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(30, "K1-24-05", 24, 550, 1100), Drive(5, "VK-230", 230, 250, 500),
                Drive(6, "Q9", 230, 250, 750), Drive(5, "QM-dup", 48, 999, 1998)});
  EXPECT_EQ(lookup.LookupPID(230, 250), 5u);
  EXPECT_EQ(Str(lookup.LookupPlatform(5)), "VTX");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(5)), "V");
  EXPECT_EQ(Value(lookup.FindPID(5)), 0xF001u);
  EXPECT_EQ(lookup.LookupPID(48, 999), 5u);
  EXPECT_EQ(lookup.LookupPID(24, 999), 255u) << "both ratings must match the same drive";
  EXPECT_EQ(lookup.LookupPID(48, 9), 255u) << "amperes are not hundredths";
  EXPECT_EQ(Str(lookup.LookupPlatform(3)), "");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(3)), "");
}

// Attribute text goes through atoi: white space, sign and trailing text.
TEST_F(ModelLookupTest, NumbersReadAsAtoiDoes) {
  const struct {
    const char* text;
    unsigned asUnsigned;  // how LookupPID and the PID readers see it
    float amperes;        // how the current readers see it
  } cases[] = {
      {"1250", 1250u, 12.5f}, {"12.5", 12u, 0.12f},  {"  75", 75u, 0.75f}, {"42A", 42u, 0.42f},
      {"abc", 0u, 0.0f},      {"-150", static_cast<unsigned>(-150), -1.5f},
      {"2147483647", 2147483647u, 21474836.47f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    cArdoModelLookup lookup;
    Load(lookup, {DriveSpec{c.text, "V1", c.text, c.text, c.text}});
    POSITION pos = lookup.GetFirstDevice();
    EXPECT_EQ(lookup.GetCurrentPID(pos), c.asUnsigned);
    EXPECT_FLOAT_EQ(lookup.GetDriveContinuousCurrent(pos), c.amperes);
    EXPECT_FLOAT_EQ(lookup.GetDrivePeakCurrent(pos), c.amperes);
    EXPECT_EQ(lookup.LookupPID(c.asUnsigned, c.asUnsigned), c.asUnsigned);
    EXPECT_EQ(Value(lookup.FindPID(c.asUnsigned)), 0xF000u);
  }
}

TEST_F(ModelLookupTest, FirstCharacterOfTheModelDecidesThePlatformAndFrame) {
  const struct { const char* model; const char* platform; const char* frame; } cases[] = {
      {"V", "VTX", "V"},  {"vz-400-80", "QM", "v"}, {"Q2-400-10", "QM", "Q"}, {" V-lead", "QM", " "},
      {"", "QM", ""},     {"\xC3\x84rger-1", "QM", "\xC3\x84"},  // a whole UTF-8 character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    cArdoModelLookup lookup;
    Load(lookup, {Drive(2, "VK", 24, 1, 1), Drive(9, c.model, 48, 2, 2)});
    EXPECT_EQ(Str(lookup.LookupPlatform(9)), c.platform);
    EXPECT_EQ(Str(lookup.LookupQMFrameSize(9)), c.frame);
  }
}

TEST_F(ModelLookupTest, FamilyRangesIncludeBothBounds) {
  const struct { unsigned pid; int vantor, k, qz; } cases[] = {
      {0, 0, 0, 0},  {1, 1, 1, 0},  {9, 1, 1, 0},  {10, 1, 0, 1},
      {18, 1, 0, 1}, {19, 0, 0, 0}, {0x80000001u, 0, 0, 0}, {UINT_MAX, 0, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(cArdoModelLookup::IsVantor(c.pid), c.vantor) << c.pid;
    EXPECT_EQ(cArdoModelLookup::IsVantorK(c.pid), c.k) << c.pid;
    EXPECT_EQ(cArdoModelLookup::IsVantorQZ(c.pid), c.qz) << c.pid;
  }
}

}  // namespace
}  // namespace ardo::test
