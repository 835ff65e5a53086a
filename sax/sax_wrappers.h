// The calling wrappers of the SAX reader, its attributes and locator, the
// XML writer and the writer's attribute list.
#pragma once

#include "sax/vbsax_xml_reader.h"
#include "sax/vbsax_attributes.h"
#include "sax/vbsax_locator.h"
#include "sax/mx_writer.h"
#include "sax/mx_attributes.h"
