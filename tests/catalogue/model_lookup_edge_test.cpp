// The catalogue where drive lists and callers stray from the format: missing
// attributes, positions it did not hand out, copies, allocation failure, and
// the bundled sample list.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tests/catalogue/catalogue_fixture.h"
#include "tests/support/assertions.h"

namespace ardo::test {
namespace {

using MissingAttributeTest = CatalogueTest;

TEST_F(MissingAttributeTest, ADriveWithoutANumberNeverMatchesASearchOnIt) {
  cArdoModelLookup lookup;
  Load(lookup, {DriveSpec{std::nullopt, "VA", "24", "250", "500"},      // no PID
                DriveSpec{"2", "VB", std::nullopt, "250", "500"},         // no volts
                DriveSpec{"3", "VC", "24", std::nullopt, "500"},          // no amps
                DriveSpec{"4", "QD", "24", "250", "500"},
                DriveSpec{"0", "QE", "0", "0", "0"}});
  EXPECT_EQ(lookup.LookupPID(24, 250), 4u) << "drives lacking PID, volts or amps are skipped";
  EXPECT_EQ(lookup.LookupPID(0, 0), 0u) << "only the drive that says 0 matches 0";
  EXPECT_EQ(Value(lookup.FindPID(0)), 0xF004u);
  EXPECT_EQ(lookup.FindPID(65535), nullptr) << "a drive without PID is not PID 65535";
  EXPECT_EQ(Str(lookup.LookupPlatform(0)), "QM");
}

TEST_F(MissingAttributeTest, ReadersAtADriveWithoutTheAttributeAnswerNotFound) {
  cArdoModelLookup lookup;
  Load(lookup, {DriveSpec{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                DriveSpec{"7", std::nullopt, "48", "1250", std::nullopt}});
  POSITION bare = Pos(0xF000);
  POSITION partial = Pos(0xF001);
  EXPECT_EQ(lookup.GetCurrentPID(bare), 65535u);
  EXPECT_EQ(lookup.GetDriveContinuousCurrent(bare), 0.0f);
  EXPECT_EQ(lookup.GetCurrentPID(partial), 7u);
  EXPECT_FLOAT_EQ(lookup.GetDriveContinuousCurrent(partial), 12.5f);
  EXPECT_EQ(lookup.GetDrivePeakCurrent(partial), 0.0f);
  EXPECT_EQ(Str(lookup.GetCurrentName(partial)), "");
  EXPECT_EQ(Str(lookup.LookupPlatform(7)), "QM") << "a missing model reads as empty";
  EXPECT_EQ(Str(lookup.LookupQMFrameSize(7)), "");

  EXPECT_EQ(PidWalk(lookup), (std::vector<unsigned>{65535, 7, 65535})) << "the walk still advances over it";
}

TEST_F(MissingAttributeTest, DerivedCatalogueReadsAnyAttributeAndItsPresence) {
  InspectableLookup lookup;
  int present = -1;
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF000), "volts", &present)), "");
  EXPECT_EQ(present, 0) << "no document yet";

  Load(lookup, {DriveSpec{"7", "VX", "48", std::nullopt, "1"}});
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF000), "volts", &present)), "48");
  EXPECT_EQ(present, 1);
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF001), "volts", &present)), "");
  EXPECT_EQ(present, 0) << "past the end";
  EXPECT_EQ(Str(lookup._GetDriveAttribute(Pos(0xF000), "PID", nullptr)), "7");
}

using ForeignPositionTest = CatalogueTest;

// Positions the catalogue never hands out, over a list of two drives.
TEST_F(ForeignPositionTest, AnswerNotFoundAndEndTheWalk) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(1, "VA", 24, 100, 200), Drive(2, "VB", 48, 300, 600)});
  for (std::uintptr_t value : {std::uintptr_t{0}, std::uintptr_t{0xEFFF}, std::uintptr_t{0xF002},
                               std::uintptr_t{0xF000} + 0x100000000u, static_cast<std::uintptr_t>(-1)}) {
    SCOPED_TRACE(value);
    POSITION pos = Pos(value);
    EXPECT_EQ(lookup.GetCurrentPID(pos), 65535u);
    EXPECT_EQ(Str(lookup.GetCurrentName(pos)), "");
    EXPECT_EQ(lookup.GetDriveContinuousCurrent(pos), 0.0f);
    EXPECT_EQ(lookup.GetDrivePeakCurrent(pos), 0.0f);
    EXPECT_EQ(lookup.GetNextDevice(pos), nullptr);
    EXPECT_EQ(pos, nullptr);
    pos = Pos(value);
    EXPECT_EQ(lookup.GetNextPID(pos), 65535u);
    EXPECT_EQ(pos, nullptr);
  }
}

using CopyTest = CatalogueTest;

TEST_F(CopyTest, AssignedCatalogueSharesTheDocumentAndOutlivesTheSource) {
  const long before = ardo::LiveObjectCount();
  auto* source = new cArdoModelLookup;
  Load(*source, {Drive(4, "VA", 24, 100, 200), Drive(11, "QB", 48, 300, 600)});
  const long withOneDocument = ardo::LiveObjectCount();

  cArdoModelLookup copy;
  copy = *source;
  EXPECT_EQ(ardo::LiveObjectCount(), withOneDocument) << "sharing creates no document";
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

TEST_F(CopyTest, ALoadThroughEitherCopyIsSeenByBothAndSelfAssignmentChangesNothing) {
  cArdoModelLookup first;
  Load(first, {Drive(1, "VA", 24, 100, 200)});
  cArdoModelLookup second;
  second = first;
  Load(second, {Drive(2, "QB", 48, 300, 600), Drive(3, "QC", 48, 400, 800)});
  EXPECT_EQ(first.LookupPID(48, 400), 3u) << "the load reused the shared document";
  const long objects = ardo::LiveObjectCount();
  cArdoModelLookup& alias = first;
  first = alias;
  EXPECT_EQ(&(second = first), &second);
  EXPECT_EQ(ardo::LiveObjectCount(), objects);
  EXPECT_EQ(first.LookupPID(48, 400), 3u);
}

using AllocationFailureTest = CatalogueTest;

// Every BSTR the catalogue's calls need, failing one after another: each
// call either answers correctly or raises, and nothing leaks (the fixture
// checks). Once allocation no longer fails the answers are right again.
TEST_F(AllocationFailureTest, LookupsRaiseCleanlyAndRecover) {
  cArdoModelLookup lookup;
  Load(lookup, {Drive(4, "VK-48-10", 48, 1000, 3000), Drive(13, "QX", 400, 2500, 5000)});
  int raised = 0;
  for (long n = 0; n < 40; ++n) {
    ardo::FailBstrAllocationsAfter(n);
    try {
      EXPECT_EQ(Str(lookup.LookupPlatform(13)), "QM");
      EXPECT_EQ(lookup.LookupPID(400, 2500), 13u);
    } catch (CException* e) {
      ++raised;
      e->Delete();
    }
    ardo::FailBstrAllocationsAfter(-1);
  }
  EXPECT_GT(raised, 0) << "some allocation must have been needed";
  EXPECT_EQ(Str(lookup.LookupPlatform(13)), "QM");
  EXPECT_EQ(lookup.LookupPID(400, 2500), 13u);
}

TEST_F(AllocationFailureTest, LoadDocumentRaisesOrFailsWithoutLeaking) {
  const std::string path = folder_.WriteDrives("alloc.xml", {Drive(9, "VK", 400, 1600, 3200)});
  int failed = 0;
  for (long n = 0; n < 20; ++n) {
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
    ardo::FailBstrAllocationsAfter(-1);
    if (hr != S_OK) ++failed;
    else EXPECT_EQ(lookup.GetDriveCount(), 1);
  }
  EXPECT_GT(failed, 0);
}

using SampleListTest = CatalogueTest;

// The bundled drive list is what drivecat shows by default, so it must be a
// complete, consistent catalogue.
TEST_F(SampleListTest, EveryDriveIsCompleteAndFindableByItsRating) {
  const char* source = std::getenv("ARDO_SOURCE_DIR");
  const std::string path = std::string(source ? source : ".") + "/examples/drives.xml";
  InspectableLookup lookup;
  ASSERT_EQ(lookup.LoadDocument(path.c_str()), S_OK) << path;
  const int count = lookup.GetDriveCount();
  EXPECT_GE(count, 30);
  EXPECT_LE(count, 40);

  std::set<unsigned> pids;
  std::set<std::string> ratings, platforms;
  int inFamilies = 0;
  POSITION pos = lookup.GetFirstDevice();
  for (int i = 0; i < count; ++i, lookup.GetNextDevice(pos)) {
    int hasVolts = 0, hasAmps = 0, hasPeak = 0;
    const std::string volts = Str(lookup._GetDriveAttribute(pos, "volts", &hasVolts));
    const std::string amps = Str(lookup._GetDriveAttribute(pos, "amps", &hasAmps));
    lookup._GetDriveAttribute(pos, "peakamps", &hasPeak);
    ASSERT_TRUE(hasVolts && hasAmps && hasPeak) << "drive " << i;
    const unsigned pid = lookup.GetCurrentPID(pos);
    ASSERT_NE(pid, 65535u);
    EXPECT_TRUE(pids.insert(pid).second) << "identifier " << pid << " repeats";
    EXPECT_TRUE(ratings.insert(volts + "/" + amps).second) << "rating " << volts << " V " << amps << " repeats";
    EXPECT_NE(Str(lookup.GetCurrentName(pos)), "");
    EXPECT_GT(lookup.GetDriveContinuousCurrent(pos), 0.0f);
    EXPECT_GE(lookup.GetDrivePeakCurrent(pos), lookup.GetDriveContinuousCurrent(pos));
    EXPECT_EQ(lookup.LookupPID(std::atoi(volts.c_str()), std::atoi(amps.c_str())), pid);
    EXPECT_EQ(lookup.FindPID(pid), pos);
    platforms.insert(Str(lookup.LookupPlatform(pid)));
    inFamilies += cArdoModelLookup::IsVantor(pid);
  }
  EXPECT_EQ(platforms, (std::set<std::string>{"QM", "VTX"}));
  EXPECT_GT(inFamilies, 0);
  EXPECT_LT(inFamilies, count) << "the sample also has identifiers outside 1..18";
}

}  // namespace
}  // namespace ardo::test
