// How a member list becomes members.
//
// Several wrapper classes carry the same member set on different interfaces
// (every node type repeats the node members, both documents the document
// members, ...), yet each class must derive only from its own
// CInterfaceCallingWrapper<T>. So each shared set is written once, as a list
// macro of entries
//
//   X(Cls, Itf, Shape, Result, Name, (parameters), (, arguments), method)
//
// and expanded twice per class: with ARDO_DECLARE_MEMBER inside the class
// body and with ARDO_DEFINE_MEMBER once in the class's .cpp. Shape names the
// helper of framework/call_shapes.h (Get, Put, ProbeOk, ProbeFound); the
// argument list starts with a comma so that an empty one adds nothing after
// the method pointer. Every definition is an out-of-line one-liner, so each
// member is exported from the library.
#pragma once

#define ARDO_MEMBER_ARGS(...) __VA_ARGS__

#define ARDO_MEMBER_CALL_Get(Result) ardo::call::Get<Result>
#define ARDO_MEMBER_CALL_Put(Result) ardo::call::Put
#define ARDO_MEMBER_CALL_ProbeOk(Result) ardo::call::ProbeOk
#define ARDO_MEMBER_CALL_ProbeFound(Result) ardo::call::ProbeFound

#define ARDO_DECLARE_MEMBER(Cls, Itf, Shape, Result, Name, Params, Args, method) \
  Result Name Params;

#define ARDO_DEFINE_MEMBER(Cls, Itf, Shape, Result, Name, Params, Args, method) \
  Result Cls::Name Params {                                                      \
    return ARDO_MEMBER_CALL_##Shape(Result)(P(), &Itf::method ARDO_MEMBER_ARGS Args); \
  }
