#include "sax/mx_writer.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CMXWriter, IMXWriter)
