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
  POSITION walk = Pos(0xF000);

  EXPECT_EQ(lookup.GetDriveCount(), -1);
  EXPECT_EQ(lookup.GetFirstDevice(), nullptr);
  EXPECT_EQ(lookup.FindPID(1), nullptr);
  EXPECT_EQ(lookup.LookupPID(24, 250), 255u);
  EXPECT_EQ(Str(lookup.LookupPlatform(1)), "");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(1)), "");
  EXPECT_EQ(lookup.GetCurrentPID(first), 65535u);
  EXPECT_EQ(Str(lookup.GetCurrentName(first)), "");
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(first), 0.0f);
  EXPECT_EQ(lookup.GetDrivePeakCurrent(first), 0.0f);
  EXPECT_EQ(Value(first), 0xF000u) << "readers leave the position alone";
  EXPECT_EQ(lookup.GetNextPID(walk), 65535u);
  EXPECT_EQ(walk, nullptr);
  walk = Pos(0xF000);
  EXPECT_EQ(lookup.GetNextDevice(walk), nullptr);
  EXPECT_EQ(walk, nullptr);
}

struct CountCase {
  const char* name;
  const char* xml;
  int count;
};

class DriveCountTest : public CatalogueTest, public ::testing::WithParamInterface<CountCase> {};

// Which elements count as drives: "drive" children of any "drive_list",
// case-sensitively, and nothing else.
TEST_P(DriveCountTest, CountsDriveChildrenOfDriveLists) {
  cArdoModelLookup lookup;
  const std::string path = folder_.Write("count.xml", GetParam().xml);
  ASSERT_EQ(lookup.LoadDocument(path.c_str()), S_OK);
  EXPECT_EQ(lookup.GetDriveCount(), GetParam().count);
  POSITION first = lookup.GetFirstDevice();
  EXPECT_EQ(Value(first), GetParam().count > 0 ? 0xF000u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DriveCountTest,
    ::testing::Values(
        CountCase{"EmptyList", "<drive_list/>", 0},
        CountCase{"ListWithOtherContent", "<drive_list><!-- none yet --><note>x</note>text</drive_list>", 0},
        CountCase{"DrivesWithoutList", "<catalogue><drive PID='1'/><drive PID='2'/></catalogue>", 0},
        CountCase{"WrongCase", "<Drive_List><drive PID='1'/></Drive_List>", 0},
        CountCase{"WrongCaseDrive", "<drive_list><Drive PID='1'/><drive PID='2'/></drive_list>", 1},
        CountCase{"ListNestedDeep", "<a><b><drive_list><drive/><drive/></drive_list></b></a>", 2},
        CountCase{"TwoLists", "<r><drive_list><drive/></drive_list><drive_list><drive/><drive/></drive_list></r>", 3},
        CountCase{"GrandchildNotCounted", "<drive_list><group><drive/></group><drive/></drive_list>", 1},
        CountCase{"ManyDrives",
                  "<drive_list><drive/><drive/><drive/><drive/><drive/><drive/><drive/></drive_list>", 7}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

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
  Load(lookup, {Drive(7, "QX", 230, 500, 1000), Drive(8, "ZX", 400, 800, 1600), Drive(9, "VX", 24, 250, 500)});
  EXPECT_EQ(ardo::LiveObjectCount(), objectsWithOneDocument) << "the second load must not create a document";
  EXPECT_EQ(lookup.GetDriveCount(), 3);
  EXPECT_EQ(lookup.FindPID(4), nullptr);
  EXPECT_EQ(lookup.LookupPID(400, 800), 8u);
}

TEST_F(ModelLookupTest, WalkByPositionVisitsEachDriveThenOnePastTheEnd) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VK-48-10", 48, 1000, 3000), Drive(7, "Q1-230-06", 230, 630, 1890),
                Drive(11, "ZA", 400, 1250, 2500)});

  POSITION pos = lookup.GetFirstDevice();
  EXPECT_EQ(Value(pos), 0xF000u);
  const std::vector<std::uintptr_t> expected = {0xF001, 0xF002, 0xF003};
  for (std::uintptr_t next : expected) {
    POSITION returned = lookup.GetNextDevice(pos);
    EXPECT_EQ(Value(returned), next);
    EXPECT_EQ(Value(pos), next) << "GetNextDevice writes the position it returns";
  }
  EXPECT_EQ(lookup.GetCurrentPID(pos), 65535u);
  EXPECT_EQ(Str(lookup.GetCurrentName(pos)), "");
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(pos), 0.0f);
  EXPECT_EQ(lookup.GetNextDevice(pos), nullptr);
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(lookup.GetNextDevice(pos), nullptr) << "NULL stays NULL";

  POSITION second = Pos(0xF001);
  EXPECT_EQ(lookup.GetCurrentPID(second), 7u);
  EXPECT_EQ(Str(lookup.GetCurrentName(second)), "Q1-230-06");
  EXPECT_FLOAT_EQ(lookup.GetDriveContinuousCurrent(second), 6.3f);
  EXPECT_FLOAT_EQ(lookup.GetDrivePeakCurrent(second), 18.9f);
  EXPECT_EQ(Value(second), 0xF001u);
}

TEST_F(ModelLookupTest, NextPidLoopYieldsEveryIdentifierThen65535) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VA", 24, 100, 200), Drive(7, "VB", 24, 200, 400), Drive(11, "VC", 24, 300, 600)});
  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{4, 7, 11, 65535}));

  EXPECT_EQ(Value(lookup.FindPID(4)), 0xF000u);
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
}

TEST_F(ModelLookupTest, LookupPidMatchesVoltsAndHundredthsOfAnAmpere) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(1, "VK-24-2R5", 24, 250, 750), Drive(8, "VK-400-12", 400, 1250, 2500),
                Drive(20, "Q1-230-04", 230, 400, 1200)});
  EXPECT_EQ(lookup.LookupPID(400, 1250), 8u);
  EXPECT_EQ(lookup.LookupPID(230, 400), 20u) << "a match on the last drive";
  EXPECT_EQ(lookup.LookupPID(400, 12), 255u) << "amperes are not hundredths";
  EXPECT_EQ(lookup.LookupPID(24, 1250), 255u) << "both ratings must match the same drive";
  EXPECT_EQ(lookup.LookupPID(0, 0), 255u);
}

// Attribute text goes through atoi: white space, sign and trailing text.
struct NumberTextCase {
  const char* text;
  unsigned asUnsigned;  // how LookupPID and the PID readers see it
  float amperes;        // how the current readers see it
};
void PrintTo(const NumberTextCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class NumberTextTest : public CatalogueTest, public ::testing::WithParamInterface<NumberTextCase> {};

TEST_P(NumberTextTest, ReadsAsAtoiDoes) {
  const NumberTextCase& c = GetParam();
  cArdoModelLookup lookup;
  Load(lookup, {DriveSpec{c.text, "V1", c.text, c.text, c.text}});
  POSITION pos = lookup.GetFirstDevice();
  EXPECT_EQ(lookup.GetCurrentPID(pos), c.asUnsigned);
  EXPECT_FLOAT_EQ(lookup.GetDriveContinuousCurrent(pos), c.amperes);
  EXPECT_FLOAT_EQ(lookup.GetDrivePeakCurrent(pos), c.amperes);
  EXPECT_EQ(lookup.LookupPID(c.asUnsigned, c.asUnsigned), c.asUnsigned);
  EXPECT_EQ(Value(lookup.FindPID(c.asUnsigned)), 0xF000u);
}

INSTANTIATE_TEST_SUITE_P(Texts, NumberTextTest,
                         ::testing::Values(NumberTextCase{"1250", 1250u, 12.5f},
                                           NumberTextCase{"0", 0u, 0.0f},
                                           NumberTextCase{"12.5", 12u, 0.12f},
                                           NumberTextCase{"  75", 75u, 0.75f},
                                           NumberTextCase{"+3", 3u, 0.03f},
                                           NumberTextCase{"007", 7u, 0.07f},
                                           NumberTextCase{"42A", 42u, 0.42f},
                                           NumberTextCase{"abc", 0u, 0.0f},
                                           NumberTextCase{"", 0u, 0.0f},
                                           NumberTextCase{"-150", static_cast<unsigned>(-150), -1.5f},
                                           NumberTextCase{"2147483647", 2147483647u, 21474836.47f}));

struct ModelCase {
  const char* model;
  const char* platform;
  const char* frame;
};
void PrintTo(const ModelCase& c, std::ostream* os) { *os << '"' << c.model << '"'; }

class PlatformTest : public CatalogueTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(PlatformTest, FirstCharacterOfTheModelDecides) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(2, "VK", 24, 1, 1), Drive(9, GetParam().model, 48, 2, 2)});
  EXPECT_EQ(Str(lookup.LookupPlatform(9)), GetParam().platform);
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(9)), GetParam().frame);
  POSITION pos = lookup.FindPID(9);
  EXPECT_EQ(Str(lookup.GetCurrentName(pos)), GetParam().model);
}

INSTANTIATE_TEST_SUITE_P(Models, PlatformTest,
                         ::testing::Values(ModelCase{"VZ-400-80", "VTX", "V"},
                                           ModelCase{"V", "VTX", "V"},
                                           ModelCase{"vz-400-80", "QM", "v"},
                                           ModelCase{"Q2-400-10", "QM", "Q"},
                                           ModelCase{"K1-48-08", "QM", "K"},
                                           ModelCase{"Z5-690", "QM", "Z"},
                                           ModelCase{" V-lead", "QM", " "},
                                           ModelCase{"", "QM", ""},
                                           ModelCase{"\xC3\x84rger-1", "QM", "\xC3\x84"},
                                           ModelCase{"\xE2\x82\xAC-2", "QM", "\xE2\x82\xAC"}));

TEST_F(ModelLookupTest, PlatformAndFrameOfAnUnknownIdentifierAreEmpty) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(2, "VK", 24, 1, 1)});
  EXPECT_EQ(Str(lookup.LookupPlatform(3)), "");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(3)), "");
  Load(lookup, {});
  EXPECT_EQ(lookup.GetDriveCount(), 0);
  EXPECT_EQ(Str(lookup.LookupPlatform(2)), "");
}

struct FamilyCase {
  unsigned pid;
  int vantor;
  int k;
  int qz;
};
void PrintTo(const FamilyCase& c, std::ostream* os) { *os << "PID " << c.pid; }

class FamilyTest : public CatalogueTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(FamilyTest, RangesIncludeBothBounds) {
  EXPECT_EQ(cArdoModelLookup::IsVantor(GetParam().pid), GetParam().vantor);
  EXPECT_EQ(cArdoModelLookup::IsVantorK(GetParam().pid), GetParam().k);
  EXPECT_EQ(cArdoModelLookup::IsVantorQZ(GetParam().pid), GetParam().qz);
}

INSTANTIATE_TEST_SUITE_P(Bounds, FamilyTest,
                         ::testing::Values(FamilyCase{0, 0, 0, 0}, FamilyCase{1, 1, 1, 0}, FamilyCase{5, 1, 1, 0},
                                           FamilyCase{9, 1, 1, 0}, FamilyCase{10, 1, 0, 1},
                                           FamilyCase{14, 1, 0, 1}, FamilyCase{18, 1, 0, 1},
                                           FamilyCase{19, 0, 0, 0}, FamilyCase{255, 0, 0, 0},
                                           FamilyCase{65535, 0, 0, 0}, FamilyCase{0x80000001u, 0, 0, 0},
                                           FamilyCase{UINT_MAX, 0, 0, 0}));

}  // namespace
}  // namespace ardo::test
