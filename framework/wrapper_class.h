// The special members every calling wrapper class forwards to its
// CInterfaceCallingWrapper<T> base: three constructors (empty; from an
// interface pointer and an add-reference flag; copy), copy assignment and the
// virtual destructor. Declared by one macro in the class body and defined by
// the other once in the class's .cpp, so that they are exported from the
// library like the class's other members.
//
//   class CXMLDOMNode : public CInterfaceCallingWrapper<IXMLDOMNode> {
//    public:
//     ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMNode, IXMLDOMNode)
//     CString GetNodeName();
//   };
//   // xml_dom_node.cpp
//   ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CXMLDOMNode, IXMLDOMNode)
#pragma once

#include "framework/interface_calling_wrapper.h"

// Also re-exposes the base's assignment from a raw pointer (which attaches
// with an added reference), hidden otherwise by the class's own operator=.
#define ARDO_WRAPPER_SPECIAL_MEMBERS(Class, Interface)      \
 public:                                                     \
  Class();                                                   \
  Class(Interface* p, int bAddRef);                          \
  Class(const Class& other);                                 \
  Class& operator=(const Class& other);                      \
  ~Class() override;                                         \
  using CInterfaceCallingWrapper<Interface>::operator=;

#define ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(Class, Interface)                               \
  Class::Class() = default;                                                                 \
  Class::Class(Interface* p, int bAddRef) : CInterfaceCallingWrapper<Interface>(p, bAddRef) {} \
  Class::Class(const Class& other) : CInterfaceCallingWrapper<Interface>(other) {}          \
  Class& Class::operator=(const Class& other) {                                             \
    CInterfaceCallingWrapper<Interface>::operator=(other);                                  \
    return *this;                                                                           \
  }                                                                                         \
  Class::~Class() = default;
