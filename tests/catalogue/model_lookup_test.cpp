// The drive model catalogue: loading, the walk by position, the look-ups,
// missing attributes, foreign positions, copies and allocation failure.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/catalogue/catalogue_fixture.h"
#include "tests/support/assertions.h"

namespace ardo::test {
namespace {

// Identifiers in walk order, ending with the 65535 of the past-the-end step.
std::vector<unsigned> PidWalk(cArdoModelLookup& lookup) {
  std::vector<unsigned> pids;
  POSITION pos = lookup.GetFirstDevice();
  while (pos != nullptr && pids.size() < 100000) pids.push_back(lookup.GetNextPID(pos));
  return pids;
}

// At a position that names no drive every reader answers not found, leaves
// the position alone, and a step from it ends the walk.
void ExpectNoDriveAt(cArdoModelLookup& lookup, std::uintptr_t value) {
  SCOPED_TRACE(value);
  POSITION pos = Pos(value);
  EXPECT_EQ(lookup.GetCurrentPID(pos), 65535u);
  EXPECT_EQ(Str(lookup.GetCurrentName(pos)), "");
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(pos), 0.0f);
  EXPECT_EQ(lookup.GetDrivePeakCurrent(pos), 0.0f);
  EXPECT_EQ(Value(pos), value);
  EXPECT_EQ(lookup.GetNextDevice(pos), nullptr);
  EXPECT_EQ(pos, nullptr);
  pos = Pos(value);
  EXPECT_EQ(lookup.GetNextPID(pos), 65535u);
  EXPECT_EQ(pos, nullptr);
}

using ModelLookupTest = CatalogueTest;

TEST_F(ModelLookupTest, BeforeAnyLoadEveryAnswerIsNotFound) {
  InspectableLookup lookup;
  EXPECT_EQ(lookup.GetDriveCount(), -1);
  EXPECT_EQ(lookup.GetFirstDevice(), nullptr);
  EXPECT_EQ(lookup.FindPID(1), nullptr);
  EXPECT_EQ(lookup.LookupPID(24, 250), 255u);
  EXPECT_EQ(Str(lookup.LookupPlatform(1)), "");
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(1)), "");
  ExpectNoDriveAt(lookup, 0xF000);
  int present = -1;
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF000), "volts", &present)), "");
  EXPECT_EQ(present, 0);
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
  for (const std::string& path : {broken, empty, (folder_.Path() / "no-such-file.xml").string()}) {
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

TEST_F(ModelLookupTest, WalkVisitsEachDriveThenOnePastTheEndAndOtherPositionsNameNoDrive) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VK-48-10", 48, 1000, 3000), Drive(7, "Q1-230-06", 230, 630, 1890),
                Drive(11, "ZA", 400, 1250, 2500)});
  POSITION pos = lookup.GetFirstDevice();
  for (std::uintptr_t next : {0xF001, 0xF002, 0xF003}) {
    EXPECT_EQ(Value(lookup.GetNextDevice(pos)), next);
    EXPECT_EQ(Value(pos), next) << "GetNextDevice writes the position it returns";
  }
  POSITION second = Pos(0xF001);
  EXPECT_EQ(lookup.GetCurrentPID(second), 7u);
  EXPECT_EQ(Str(lookup.GetCurrentName(second)), "Q1-230-06");
  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{4, 7, 11, 65535}));
  EXPECT_EQ(Value(lookup.FindPID(11)), 0xF002u) << "the last drive is found too";
  EXPECT_EQ(lookup.FindPID(5), nullptr);
  EXPECT_EQ(lookup.FindPID(65535), nullptr);
  // Past the end, NULL, below the first, and positions whose low bits name a drive.
  for (std::uintptr_t value : {std::uintptr_t{0xF003}, std::uintptr_t{0}, std::uintptr_t{0xEFFF},
                               std::uintptr_t{0xF000} + 0x100000000u, static_cast<std::uintptr_t>(-1)})
    ExpectNoDriveAt(lookup, value);
}

// Look-ups answer with the first drive, in document order, that has every
// attribute they compare (a missing one matches nothing, not even 0); the
// first character of its model, a whole UTF-8 character, is the frame size
// and decides the platform.
TEST_F(ModelLookupTest, LookUpsAnswerWithTheFirstCompleteMatch) {
  cArdoModelLookup lookup;
  Load(lookup, {DriveSpec{std::nullopt, "VA", "24", "250", "500"}, DriveSpec{"2", "VB", std::nullopt, "250", "500"},
                DriveSpec{"3", "VC", "24", std::nullopt, "500"}, Drive(4, "QD", 24, 250, 500),
                Drive(5, "VK-230", 230, 250, 500), Drive(6, "Q9", 230, 250, 750),
                Drive(5, "QM-dup", 48, 999, 1998), Drive(0, "QE", 0, 0, 0), Drive(20, "vz-400-80", 1, 1, 1),
                Drive(21, " V-lead", 1, 2, 2), Drive(22, "", 1, 3, 3), Drive(23, "\xC3\x84rger-1", 1, 4, 4),
                Drive(24, "V", 1, 5, 5)});
  const struct { unsigned volts, amps, pid; } ratings[] = {
      {24, 250, 4}, {230, 250, 5}, {48, 999, 5}, {0, 0, 0},
      {24, 999, 255},  // both ratings must match the same drive
      {48, 9, 255},    // amperes are not hundredths
  };
  for (const auto& r : ratings) EXPECT_EQ(lookup.LookupPID(r.volts, r.amps), r.pid) << r.volts << " V " << r.amps;
  const struct { unsigned pid; std::uintptr_t position; const char *platform, *frame; } pids[] = {
      {5, 0xF004, "VTX", "V"}, {0, 0xF007, "QM", "Q"},   {6, 0xF005, "QM", "Q"},      {24, 0xF00C, "VTX", "V"},
      {20, 0xF008, "QM", "v"}, {21, 0xF009, "QM", " "},  {22, 0xF00A, "QM", ""},
      {23, 0xF00B, "QM", "\xC3\x84"},
      {7, 0, "", ""},          {65535, 0, "", ""},  // a drive without PID is not PID 65535
  };
  for (const auto& p : pids) {
    SCOPED_TRACE(p.pid);
    EXPECT_EQ(Value(lookup.FindPID(p.pid)), p.position);
    EXPECT_EQ(Str(lookup.LookupPlatform(p.pid)), p.platform);
    EXPECT_EQ(Str(lookup.LookupQMFrameSize(p.pid)), p.frame);
  }
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

using MissingAttributeTest = CatalogueTest;

// A drive without an identifier reads as 65535 but is not found as 65535;
// a real 65535 is found and walked over like any other identifier.
TEST_F(MissingAttributeTest, ReadersAtADriveWithoutTheAttributeAnswerNotFound) {
  InspectableLookup lookup;
  Load(lookup, {DriveSpec{}, DriveSpec{"7", std::nullopt, "48", "1250", std::nullopt},
                Drive(65535, "VB", 24, 200, 400)});
  POSITION bare = Pos(0xF000), partial = Pos(0xF001);
  EXPECT_EQ(lookup.GetCurrentPID(bare), 65535u);
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(bare), 0.0f);
  EXPECT_EQ(lookup.GetCurrentPID(partial), 7u);
  EXPECT_FLOAT_EQ(lookup.GetDriveContinuousCurrent(partial), 12.5f);
  EXPECT_EQ(lookup.GetDrivePeakCurrent(partial), 0.0f);
  EXPECT_EQ(Str(lookup.GetCurrentName(partial)), "");
  EXPECT_EQ(Str(lookup.LookupPlatform(7)), "QM") << "a missing model reads as empty";
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(7)), "");
  EXPECT_EQ(Value(lookup.FindPID(65535)), 0xF002u);
  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{65535, 7, 65535, 65535}));

  // What a derived catalogue reads: any attribute's text, and whether it is there.
  int present = -1;
  EXPECT_EQ(Str(lookup._GetDriveAttribute(partial, "volts", &present)), "48");
  EXPECT_EQ(present, 1);
  EXPECT_EQ(Str(lookup._GetDriveAttribute(partial, "peakamps", &present)), "");
  EXPECT_EQ(present, 0);
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF003), "volts", &present)), "");
  EXPECT_EQ(present, 0) << "past the end";
  EXPECT_EQ(Str(lookup._GetDriveAttribute(partial, "PID", nullptr)), "7");
}

using CopyTest = CatalogueTest;

TEST_F(CopyTest, AssignedCatalogueSharesTheDocumentAndOutlivesTheSource) {
  const long before = ardo::LiveObjectCount();
  auto* source = new cArdoModelLookup;
  Load(*source, {Drive(4, "VA", 24, 100, 200)});
  const long withOneDocument = ardo::LiveObjectCount();
  cArdoModelLookup copy;
  copy = *source;
  EXPECT_EQ(ardo::LiveObjectCount(), withOneDocument) << "sharing creates no document";
  Load(copy, {Drive(2, "QB", 48, 300, 600), Drive(11, "QC", 48, 400, 800)});
  EXPECT_EQ(source->LookupPID(48, 400), 11u) << "the load reused the shared document";
  const long objects = ardo::LiveObjectCount();
  cArdoModelLookup& alias = *source;
  *source = alias;
  EXPECT_EQ(&(copy = *source), &copy);
  EXPECT_EQ(ardo::LiveObjectCount(), objects) << "assigning again, or to itself, changes nothing";
  delete source;
  EXPECT_EQ(copy.GetDriveCount(), 2) << "the copy still holds the document";
  EXPECT_EQ(Str(copy.LookupPlatform(11)), "QM");
  EXPECT_GT(ardo::LiveObjectCount(), before);
  // The copy's own destruction brings the count back; the fixture checks it.
}

TEST_F(CopyTest, AssigningOverALoadedCatalogueReleasesItsOldDocument) {
  const long before = ardo::LiveObjectCount();
  cArdoModelLookup first;
  Load(first, {Drive(1, "VA", 24, 100, 200)});
  const long withOneDocument = ardo::LiveObjectCount();
  {
    cArdoModelLookup second;
    Load(second, {Drive(2, "VB", 48, 300, 600), Drive(3, "VC", 48, 400, 800)});
    EXPECT_GT(ardo::LiveObjectCount(), withOneDocument);
    second = first;
    EXPECT_EQ(ardo::LiveObjectCount(), withOneDocument) << "second's own document went with the assignment";
    EXPECT_EQ(second.GetDriveCount(), 1);
  }
  EXPECT_EQ(first.GetDriveCount(), 1) << "second's destruction left first's document alone";
  cArdoModelLookup empty;
  first = empty;
  EXPECT_EQ(first.GetDriveCount(), -1) << "a catalogue without a document makes the target one too";
  EXPECT_EQ(ardo::LiveObjectCount(), before);
}

using AllocationFailureTest = CatalogueTest;

// Every BSTR the catalogue needs, failing one after another: a load fails,
// raises or loads, a look-up answers correctly or raises, nothing leaks (the
// fixture checks), and once allocation works again the answers are right.
TEST_F(AllocationFailureTest, LoadAndLookupsRaiseOrFailCleanlyAndRecover) {
  const std::string path =
      folder_.Write("alloc.xml", DriveListXml({Drive(4, "VK", 48, 1000, 3000), Drive(13, "QX", 400, 2500, 5000)}));
  cArdoModelLookup loaded;
  ASSERT_EQ(loaded.LoadDocument(path.c_str()), S_OK);
  int failedLoads = 0, raisedLookups = 0;
  for (long n = 0; n < 40; ++n) {
    cArdoModelLookup lookup;
    ardo::FailBstrAllocationsAfter(n);
    long hr = S_OK;
    try {
      hr = lookup.LoadDocument(path.c_str());
    } catch (CException* e) {
      hr = E_OUTOFMEMORY;
      e->Delete();
    } catch (const _com_error& e) {  // the path or "XPath" could not become a BSTR
      hr = e.Error();
    }
    ardo::FailBstrAllocationsAfter(n);
    try {
      EXPECT_EQ(Str(loaded.LookupPlatform(13)), "QM");
      EXPECT_EQ(loaded.LookupPID(400, 2500), 13u);
    } catch (CException* e) {
      ++raisedLookups;
      e->Delete();
    }
    ardo::FailBstrAllocationsAfter(-1);
    if (hr != S_OK) ++failedLoads;
    else EXPECT_EQ(lookup.GetDriveCount(), 2);
  }
  EXPECT_GT(failedLoads, 0);
  EXPECT_GT(raisedLookups, 0);
  EXPECT_EQ(Str(loaded.LookupPlatform(13)), "QM");
  EXPECT_EQ(loaded.LookupPID(400, 2500), 13u);
}

}  // namespace
}  // namespace ardo::test
