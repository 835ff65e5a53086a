// Late binding of the DOM objects: the engine's type library describes the
// DOM interfaces (each with the members of the interfaces it extends), is
// registered under LIBID_MSXML2 4.0, and serves every DOM object's IDispatch,
// so that script-style hosts reach the members by name. The member ids are
// the library's own: hosts look them up with GetIDsOfNames. A list's item
// is its default member (DISPID_VALUE) and _newEnum its enumerator
// (DISPID_NEWENUM).
#pragma once

namespace ardo::engine {

// Builds and registers the library and serves its interfaces (engine load).
void ServeDomLateBinding();

}  // namespace ardo::engine
