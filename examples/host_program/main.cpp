// A minimal host: creates a DOM document through the calling-wrapper
// template, loads a little XML, reads it back, and reports a failed call
// through the library's exception. Exits 0 when everything behaved.
#include <cstdio>

#include <ardoxml/ardoxml.h>

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int status = 0;
  {
    CXMLDOMDocument2 doc;
    HRESULT hr = doc.CoCreateInstance(CLSID_DOMDocument40, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) {
      std::printf("no DOM document: %s\n", ardo::HResultName(hr).c_str());
      status = 1;
    } else {
      try {
        if (!doc.LoadXML("<drive_list><drive PID=\"7\"/></drive_list>")) status = 1;
        CXMLDOMNode drive = doc.SelectSingleNode("/drive_list/drive");
        std::printf("first drive: %s\n", static_cast<const char*>(drive.GetXml()));
        doc.SelectNodes("/drive_list/[");  // malformed: the engine refuses it
        status = 1;
      } catch (CComException* e) {
        std::printf("refused as expected: %s\n", ardo::HResultName(e->m_hr).c_str());
        e->Delete();
      }
    }
  }
  CoUninitialize();
  return status;
}
