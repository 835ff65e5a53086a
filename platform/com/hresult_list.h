// Every named status code, in one list: it produces the constants
// (hresult.h), the name lookup and the messages (hresult.cpp).
#pragma once

// X(name, value, message)
#define ARDO_HRESULT_LIST(X)                                                              \
  X(S_OK, 0x00000000, "The operation completed successfully.")                            \
  X(S_FALSE, 0x00000001, "The operation completed with a negative answer.")              \
  X(E_NOTIMPL, 0x80004001, "Not implemented.")                                            \
  X(E_NOINTERFACE, 0x80004002, "No such interface supported.")                            \
  X(E_POINTER, 0x80004003, "Invalid pointer.")                                            \
  X(E_ABORT, 0x80004004, "Operation aborted.")                                            \
  X(E_FAIL, 0x80004005, "Unspecified error.")                                             \
  X(E_PENDING, 0x8000000A, "The data necessary to complete this operation is not yet available.") \
  X(E_UNEXPECTED, 0x8000FFFF, "Catastrophic failure.")                                    \
  X(E_ACCESSDENIED, 0x80070005, "Access is denied.")                                      \
  X(E_HANDLE, 0x80070006, "Invalid handle.")                                              \
  X(E_OUTOFMEMORY, 0x8007000E, "Not enough memory resources are available.")             \
  X(E_INVALIDARG, 0x80070057, "One or more arguments are invalid.")                       \
  X(RPC_E_CHANGED_MODE, 0x80010106, "Cannot change the threading model after it was set.") \
  X(DISP_E_UNKNOWNINTERFACE, 0x80020001, "Unknown interface.")                            \
  X(DISP_E_MEMBERNOTFOUND, 0x80020003, "Member not found.")                               \
  X(DISP_E_PARAMNOTFOUND, 0x80020004, "Parameter not found.")                             \
  X(DISP_E_TYPEMISMATCH, 0x80020005, "Type mismatch.")                                    \
  X(DISP_E_UNKNOWNNAME, 0x80020006, "Unknown name.")                                      \
  X(DISP_E_NONAMEDARGS, 0x80020007, "No named arguments.")                                \
  X(DISP_E_BADVARTYPE, 0x80020008, "Bad variable type.")                                  \
  X(DISP_E_EXCEPTION, 0x80020009, "Exception occurred.")                                  \
  X(DISP_E_OVERFLOW, 0x8002000A, "Out of present range.")                                 \
  X(DISP_E_BADINDEX, 0x8002000B, "Invalid index.")                                        \
  X(DISP_E_ARRAYISLOCKED, 0x8002000D, "Memory is locked.")                                \
  X(DISP_E_BADPARAMCOUNT, 0x8002000E, "Invalid number of parameters.")                    \
  X(DISP_E_PARAMNOTOPTIONAL, 0x8002000F, "Parameter not optional.")                       \
  X(TYPE_E_LIBNOTREGISTERED, 0x8002801D, "Library not registered.")                       \
  X(TYPE_E_ELEMENTNOTFOUND, 0x8002802B, "Element not found.")                             \
  X(STG_E_INVALIDFUNCTION, 0x80030001, "Unable to perform requested operation.")          \
  X(STG_E_FILENOTFOUND, 0x80030002, "The file could not be found.")                       \
  X(STG_E_PATHNOTFOUND, 0x80030003, "The path could not be found.")                       \
  X(STG_E_ACCESSDENIED, 0x80030005, "Access denied.")                                     \
  X(STG_E_INVALIDPOINTER, 0x80030009, "Invalid pointer error.")                           \
  X(STG_E_SEEKERROR, 0x80030019, "An error occurred during a seek operation.")            \
  X(STG_E_WRITEFAULT, 0x8003001D, "A disk error occurred during a write operation.")      \
  X(STG_E_READFAULT, 0x8003001E, "A disk error occurred during a read operation.")        \
  X(STG_E_INVALIDPARAMETER, 0x80030057, "Invalid parameter error.")                       \
  X(STG_E_MEDIUMFULL, 0x80030070, "There is insufficient disk space to complete operation.") \
  X(CLASS_E_NOAGGREGATION, 0x80040110, "Class does not support aggregation.")             \
  X(CLASS_E_CLASSNOTAVAILABLE, 0x80040111, "The class factory cannot supply the requested class.") \
  X(REGDB_E_CLASSNOTREG, 0x80040154, "Class not registered.")                             \
  X(CO_E_NOTINITIALIZED, 0x800401F0, "CoInitialize has not been called.")                 \
  X(CO_E_CLASSSTRING, 0x800401F3, "Invalid class string.")                                \
  X(CO_E_OBJNOTREG, 0x800401FB, "Object is not registered.")
