#include "sax/vbsax_xml_reader.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CVBSAXXMLReader, IVBSAXXMLReader)
