// CObject and its run-time class records: a class declared with
// DECLARE_DYNAMIC can name its class and test IsKindOf along the base chain.
#pragma once

#include "platform/win/win_types.h"

class CObject;
class CArchive;       // not provided: Serialize is never called here
class CDumpContext;   // not provided: Dump is never called here

struct __POSITION {};
typedef __POSITION* POSITION;  // an opaque iteration value

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;
  CObject* (*m_pfnCreateObject)();  // null for classes that are not DYNCREATE
  const CRuntimeClass* m_pBaseClass;
  const CRuntimeClass* m_pNextClass;

  // A new object of the class (caller deletes it), or null if it cannot be created.
  CObject* CreateObject() const;
  // True for this class and for every class it derives from.
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)                    \
 public:                                               \
  static const CRuntimeClass class##class_name;        \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define ARDO_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create)              \
  const CRuntimeClass class_name::class##class_name = {#class_name, int(sizeof(class_name)),   \
                                                       schema, create,                         \
                                                       RUNTIME_CLASS(base_class_name), nullptr}; \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  ARDO_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                     \
  CObject* class_name::CreateObject() { return new class_name; }             \
  ARDO_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

class CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;
  virtual void Serialize(CArchive& ar);
  virtual void AssertValid() const;
  virtual void Dump(CDumpContext& dc) const;

  // True when the object's class is pClass or derives from it.
  BOOL IsKindOf(const CRuntimeClass* pClass) const;
  BOOL IsSerializable() const;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};
