// cArdoModelLookup: the drive model catalogue. Loads an XML drive list (one
// <drive PID= model= volts= amps= peakamps=/> per model under <drive_list>)
// and answers look-ups by product identifier and by rating, and walks the
// drives by position. It keeps no copy of the data: every call queries the
// loaded document again.
//
// Positions encode a zero-based drive index as 0xF000 + index, in document
// order; NULL means no position. A position stays meaningful across calls
// because it carries nothing but the index.
//
// Decisions where the drive list is not what the format promises:
//  - A drive lacking a numeric attribute that an operation reads ("PID",
//    "volts", "amps", "peakamps") never matches a search on it and answers
//    that operation's not-found value when read at a position (PID 65535,
//    current 0.0). LookupPID skips a drive lacking "volts", "amps" or "PID";
//    FindPID, LookupPlatform and LookupQMFrameSize skip a drive lacking "PID";
//    GetNextPID answers 65535 for one and still advances. A present attribute
//    whose text is not a number reads as atoi reads it (usually 0).
//  - A drive lacking "model" reads as an empty model name: GetCurrentName
//    gives "", LookupPlatform "QM", LookupQMFrameSize "".
//  - A position the catalogue did not hand out (below 0xF000, or at or past
//    one beyond the last drive) answers the not-found values, and
//    GetNextDevice / GetNextPID set it to NULL.
//  - Narrow text is UTF-8, so "the first character" of a model name is its
//    first UTF-8 sequence, never half of one.
//  - A drive list with a document type is checked against it while loading
//    (the document's own default): one whose DTD leaves its elements or
//    attributes undeclared does not load (E_FAIL).
#pragma once

#include "platform/platform.h"

class CXMLDOMDocument2;
class CXMLDOMNodeList;
class CXMLDOMNamedNodeMap;

class cArdoModelLookup {
 public:
  // An empty catalogue: no document until the first LoadDocument.
  cArdoModelLookup();
  // Deletes the document wrapper, releasing this catalogue's reference.
  ~cArdoModelLookup();

  // Shares the other catalogue's document (the wrapper adds a reference, and
  // each catalogue deletes its own wrapper, so the document is released once,
  // with its last holder). The two then see each other's later loads, since a
  // load reuses the document. Assigning a catalogue that has no document yet
  // leaves this one without a document. Self-assignment changes nothing.
  cArdoModelLookup& operator=(const cArdoModelLookup& other);
  // Copying is by assignment only: construct, then assign.
  cArdoModelLookup(const cArdoModelLookup&) = delete;

  // S_OK when the file loaded; E_FAIL when it did not (missing, unparsable)
  // or when creating or configuring the document failed. A failure of the
  // load call itself propagates as CComException*; a path that cannot be
  // converted, or memory running out, propagates as the framework raises it.
  // A null path counts as empty and does not load.
  long LoadDocument(const char* path);

  // Product identifier of the first drive rated `volts` and `amps`
  // (hundredths of an ampere: 12.50 A is 1250); 255 if none.
  unsigned int LookupPID(unsigned int volts, unsigned int amps);
  // "VTX" when the first drive with that identifier has a model name starting
  // with "V" (case-sensitive), "QM" otherwise; "" if no drive has it.
  CString LookupPlatform(unsigned int pid);
  // First character of the model name of the first drive with that
  // identifier; "" if none, or if its model name is empty.
  CString LookupQMFrameSize(unsigned int pid);

  // Number of drives; -1 before a document has been created.
  int GetDriveCount();
  // 0xF000 when there is at least one drive, else NULL.
  POSITION GetFirstDevice();
  // Moves `pos` one drive on and returns it: from the last drive to one past
  // the end (not NULL), from there or from an invalid position to NULL.
  POSITION GetNextDevice(POSITION& pos);

  // Readers at a position; `pos` is not changed. Each answers its not-found
  // value (65535, "", 0.0) at NULL or any position that is not a drive.
  unsigned int GetCurrentPID(POSITION& pos);
  CString GetCurrentName(POSITION& pos);
  // "amps" / "peakamps" in amperes: the integer text divided by 100.
  float GetDriveContinuousCurrent(POSITION& pos);
  float GetDrivePeakCurrent(POSITION& pos);

  // The identifier at `pos`, then moves `pos` on as GetNextDevice does; at
  // NULL or past the end answers 65535 and sets `pos` to NULL. Looping while
  // `pos` is not NULL yields every identifier, then 65535 once.
  unsigned int GetNextPID(POSITION& pos);
  // Position of the first drive with that identifier; NULL if none.
  POSITION FindPID(unsigned int pid);

  // Product families by identifier range, without the file: Vantor is 1..18,
  // Vantor K 1..9, Vantor QZ 10..18. Answer 1 or 0.
  static int IsVantor(unsigned int pid);
  static int IsVantorK(unsigned int pid);
  static int IsVantorQZ(unsigned int pid);

 protected:
  // Creates the document on first use, sets XPath selection, synchronous
  // loading and preserved white space, and loads the file. See LoadDocument.
  long _LoadDocument(const char* path);

  // For derived catalogues that need more of a drive than the look-ups give:
  // the text of attribute `name` of the drive at `pos`. *pPresent (may be
  // null) is set to 1 when the drive has the attribute, else 0; an invalid
  // position or a missing attribute gives "".
  CString _GetDriveAttribute(POSITION pos, const char* name, int* pPresent);

 private:
  bool HasDocument() const;
  // Evaluates the drive query afresh; needs a document.
  CXMLDOMNodeList Drives();
  // True with the index of `pos` when it is a drive of the freshly queried
  // list `drives`; false (without querying) for NULL or no document.
  bool IndexAt(POSITION pos, CXMLDOMNodeList& drives, long& index);
  // The attribute reader, in two steps so that a look-up reading several
  // attributes of one drive fetches its attribute map once: item ->
  // attributes, then named item -> text. False when the drive or the
  // attribute is missing.
  static CXMLDOMNamedNodeMap AttributesOf(CXMLDOMNodeList& drives, long index);
  static bool ReadAttribute(CXMLDOMNamedNodeMap& attributes, const char* name, CString& text);
  // ReadAttribute, then atoi.
  static bool ReadNumber(CXMLDOMNamedNodeMap& attributes, const char* name, int& value);
  // One attribute of drive `index`.
  static bool ReadNumber(CXMLDOMNodeList& drives, long index, const char* name, int& value);
  // The model name of the first drive with that identifier (missing model
  // reads as ""); false when no drive has the identifier.
  bool FindModel(unsigned int pid, CString& model);
  float ReadCurrent(POSITION pos, const char* name);

  CXMLDOMDocument2* m_pDocument;
};

namespace ardo {

// What LookupPlatform and LookupQMFrameSize answer for a drive with this
// model name: "VTX" when it begins with "V", else "QM"; its first character.
// For reports that hold each drive's model already (a look-up by PID answers
// for the first drive with that PID, and reads the list again).
CString PlatformOfModel(const CString& model);
CString FrameSizeOfModel(const CString& model);

}  // namespace ardo
