// The platform stand-in, whole: Win32 base types and kernel helpers, the COM
// runtime with OLE Automation, the class framework subset and the COM
// support classes. Text is UTF-8 when narrow and UTF-16 (char16_t) when wide.
#pragma once

#include "platform/win/interlocked.h"
#include "platform/win/text_encoding.h"
#include "platform/win/win32_errors.h"
#include "platform/win/win_types.h"

#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/dispatch_member.h"
#include "platform/com/error_info.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/live_objects.h"
#include "platform/com/safearray.h"
#include "platform/com/stream.h"
#include "platform/com/type_library.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

#include "platform/mfc/cstring.h"
#include "platform/mfc/exception.h"
#include "platform/mfc/extension_module.h"
#include "platform/mfc/object.h"

#include "platform/comsupport/bstr_t.h"
#include "platform/comsupport/com_error.h"
#include "platform/comsupport/variant_t.h"
