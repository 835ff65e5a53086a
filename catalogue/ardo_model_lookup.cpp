#include "catalogue/ardo_model_lookup.h"

#include <cstdint>
#include <cstdlib>

#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
#include "framework/com_exception.h"
#include "framework/component_classes.h"

namespace {

constexpr const char* kDriveQuery = "//drive_list/drive";
constexpr std::uintptr_t kFirstPosition = 0xF000;

constexpr unsigned int kNoRating = 255;   // LookupPID found nothing
constexpr unsigned int kNoDrive = 65535;  // GetCurrentPID / GetNextPID at no drive

POSITION PositionOf(long index) {
  return reinterpret_cast<POSITION>(kFirstPosition + static_cast<std::uintptr_t>(index));
}

// Length in bytes of the UTF-8 sequence that starts `text`; 1 for a stray
// byte, so a malformed name still yields its first byte.
int FirstCharacterLength(const char* text, int length) {
  const auto lead = static_cast<unsigned char>(text[0]);
  int want = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (want > length) return 1;
  for (int i = 1; i < want; ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
  return want;
}

CString FirstCharacter(const CString& text) {
  const int length = text.GetLength();
  if (length == 0) return CString();
  return text.Left(FirstCharacterLength(static_cast<const char*>(text), length));
}

}  // namespace

cArdoModelLookup::cArdoModelLookup() : m_pDocument(new CXMLDOMDocument2()) {}

cArdoModelLookup::~cArdoModelLookup() { delete m_pDocument; }

cArdoModelLookup& cArdoModelLookup::operator=(const cArdoModelLookup& other) {
  // The wrapper's own assignment takes the new reference before it drops the
  // old one and does nothing when both already hold the same document.
  *m_pDocument = *other.m_pDocument;
  return *this;
}

long cArdoModelLookup::LoadDocument(const char* path) { return _LoadDocument(path); }

long cArdoModelLookup::_LoadDocument(const char* path) {
  try {
    if (!HasDocument()) *m_pDocument = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
    m_pDocument->SetProperty("SelectionLanguage", _variant_t("XPath"));
    m_pDocument->SetAsync(0);
    m_pDocument->SetPreserveWhiteSpace(1);
  } catch (CComException* e) {
    e->Delete();
    return E_FAIL;
  }
  // Outside the handler on purpose: a failing load call reaches the caller.
  return m_pDocument->Load(_variant_t(path ? path : "")) ? S_OK : E_FAIL;
}

unsigned int cArdoModelLookup::LookupPID(unsigned int volts, unsigned int amps) {
  if (!HasDocument()) return kNoRating;
  CXMLDOMNodeList drives = Drives();
  for (long i = 0; i < drives.GetLength(); ++i) {
    CXMLDOMNamedNodeMap attributes = AttributesOf(drives, i);
    int driveVolts = 0, driveAmps = 0, pid = 0;
    const bool hasVolts = ReadNumber(attributes, "volts", driveVolts);
    const bool hasAmps = ReadNumber(attributes, "amps", driveAmps);
    if (hasVolts && hasAmps && static_cast<unsigned int>(driveVolts) == volts &&
        static_cast<unsigned int>(driveAmps) == amps && ReadNumber(attributes, "PID", pid))
      return static_cast<unsigned int>(pid);
  }
  return kNoRating;
}

CString cArdoModelLookup::LookupPlatform(unsigned int pid) {
  CString model;
  return FindModel(pid, model) ? ardo::PlatformOfModel(model) : CString();
}

CString cArdoModelLookup::LookupQMFrameSize(unsigned int pid) {
  CString model;
  return FindModel(pid, model) ? ardo::FrameSizeOfModel(model) : CString();
}

int cArdoModelLookup::GetDriveCount() {
  return HasDocument() ? static_cast<int>(Drives().GetLength()) : -1;
}

POSITION cArdoModelLookup::GetFirstDevice() { return GetDriveCount() > 0 ? PositionOf(0) : nullptr; }

POSITION cArdoModelLookup::GetNextDevice(POSITION& pos) {
  CXMLDOMNodeList drives;
  long index = 0;
  pos = IndexAt(pos, drives, index) ? PositionOf(index + 1) : nullptr;
  return pos;
}

unsigned int cArdoModelLookup::GetCurrentPID(POSITION& pos) {
  CXMLDOMNodeList drives;
  long index = 0;
  int pid = 0;
  return IndexAt(pos, drives, index) && ReadNumber(drives, index, "PID", pid) ? static_cast<unsigned int>(pid)
                                                                            : kNoDrive;
}

CString cArdoModelLookup::GetCurrentName(POSITION& pos) {
  CXMLDOMNodeList drives;
  long index = 0;
  CString model;
  if (IndexAt(pos, drives, index)) {
    CXMLDOMNamedNodeMap attributes = AttributesOf(drives, index);
    ReadAttribute(attributes, "model", model);
  }
  return model;
}

float cArdoModelLookup::GetDriveContinuousCurrent(POSITION& pos) { return ReadCurrent(pos, "amps"); }

float cArdoModelLookup::GetDrivePeakCurrent(POSITION& pos) { return ReadCurrent(pos, "peakamps"); }

unsigned int cArdoModelLookup::GetNextPID(POSITION& pos) {
  CXMLDOMNodeList drives;
  long index = 0;
  if (!IndexAt(pos, drives, index)) {
    pos = nullptr;
    return kNoDrive;
  }
  int pid = 0;
  const bool hasPid = ReadNumber(drives, index, "PID", pid);
  pos = PositionOf(index + 1);
  return hasPid ? static_cast<unsigned int>(pid) : kNoDrive;
}

// Answers what a GetNextPID walk from the first drive would find, with one
// query instead of one per drive.
POSITION cArdoModelLookup::FindPID(unsigned int pid) {
  if (!HasDocument()) return nullptr;
  CXMLDOMNodeList drives = Drives();
  for (long i = 0; i < drives.GetLength(); ++i) {
    int drivePid = 0;
    if (ReadNumber(drives, i, "PID", drivePid) && static_cast<unsigned int>(drivePid) == pid) return PositionOf(i);
  }
  return nullptr;
}

int cArdoModelLookup::IsVantor(unsigned int pid) { return pid >= 1 && pid <= 18 ? 1 : 0; }

int cArdoModelLookup::IsVantorK(unsigned int pid) { return pid >= 1 && pid <= 9 ? 1 : 0; }

int cArdoModelLookup::IsVantorQZ(unsigned int pid) { return pid >= 10 && pid <= 18 ? 1 : 0; }

CString cArdoModelLookup::_GetDriveAttribute(POSITION pos, const char* name, int* pPresent) {
  CXMLDOMNodeList drives;
  long index = 0;
  CString text;
  CXMLDOMNamedNodeMap attributes;
  if (IndexAt(pos, drives, index)) attributes = AttributesOf(drives, index);
  const bool present = ReadAttribute(attributes, name, text);
  if (pPresent) *pPresent = present ? 1 : 0;
  return text;
}

bool cArdoModelLookup::HasDocument() const { return m_pDocument->GetP() != nullptr; }

CXMLDOMNodeList cArdoModelLookup::Drives() { return m_pDocument->SelectNodes(kDriveQuery); }

bool cArdoModelLookup::IndexAt(POSITION pos, CXMLDOMNodeList& drives, long& index) {
  const auto value = reinterpret_cast<std::uintptr_t>(pos);
  if (value < kFirstPosition || !HasDocument()) return false;
  drives = Drives();
  const std::uintptr_t offset = value - kFirstPosition;
  const long count = drives.GetLength();
  if (count <= 0 || offset >= static_cast<std::uintptr_t>(count)) return false;
  index = static_cast<long>(offset);
  return true;
}

CXMLDOMNamedNodeMap cArdoModelLookup::AttributesOf(CXMLDOMNodeList& drives, long index) {
  CXMLDOMNode drive = drives.GetItem(index);
  return drive ? drive.GetAttributes() : CXMLDOMNamedNodeMap();
}

bool cArdoModelLookup::ReadAttribute(CXMLDOMNamedNodeMap& attributes, const char* name, CString& text) {
  if (!attributes) return false;
  CXMLDOMNode attribute = attributes.GetNamedItem(name);
  if (!attribute) return false;
  text = attribute.GetText();
  return true;
}

bool cArdoModelLookup::ReadNumber(CXMLDOMNamedNodeMap& attributes, const char* name, int& value) {
  CString text;
  if (!ReadAttribute(attributes, name, text)) return false;
  value = std::atoi(static_cast<const char*>(text));
  return true;
}

bool cArdoModelLookup::ReadNumber(CXMLDOMNodeList& drives, long index, const char* name, int& value) {
  CXMLDOMNamedNodeMap attributes = AttributesOf(drives, index);
  return ReadNumber(attributes, name, value);
}

bool cArdoModelLookup::FindModel(unsigned int pid, CString& model) {
  if (!HasDocument()) return false;
  CXMLDOMNodeList drives = Drives();
  for (long i = 0; i < drives.GetLength(); ++i) {
    CXMLDOMNamedNodeMap attributes = AttributesOf(drives, i);
    int drivePid = 0;
    if (ReadNumber(attributes, "PID", drivePid) && static_cast<unsigned int>(drivePid) == pid) {
      ReadAttribute(attributes, "model", model);
      return true;
    }
  }
  return false;
}

// The integer is made a float first and divided in double precision, so the
// text 1250 gives 12.5f and the text 12.5 (atoi: 12) gives 0.12f.
float cArdoModelLookup::ReadCurrent(POSITION pos, const char* name) {
  CXMLDOMNodeList drives;
  long index = 0;
  int hundredths = 0;
  if (!IndexAt(pos, drives, index) || !ReadNumber(drives, index, name, hundredths)) return 0.0f;
  return static_cast<float>(static_cast<float>(hundredths) / 100.0);
}

namespace ardo {

CString PlatformOfModel(const CString& model) { return CString(FirstCharacter(model).Compare("V") == 0 ? "VTX" : "QM"); }

CString FrameSizeOfModel(const CString& model) { return FirstCharacter(model); }

}  // namespace ardo
