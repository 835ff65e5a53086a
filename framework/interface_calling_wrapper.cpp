#include "framework/interface_calling_wrapper.h"

namespace ardo {

void ThrowFrameworkException(long hr) {
  if (hr == E_OUTOFMEMORY) AfxThrowMemoryException();
  AfxThrowOleException(hr);
  __builtin_unreachable();  // both throwers always throw
}

}  // namespace ardo

#define ARDO_INSTANTIATE_WRAPPER(Interface, Class) \
  template class CInterfaceCallingWrapper<Interface>;
ARDO_WRAPPED_INTERFACES(ARDO_INSTANTIATE_WRAPPER)
#undef ARDO_INSTANTIATE_WRAPPER
