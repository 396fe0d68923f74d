// MakeObject: the one way code creates a counted object. It returns the first reference in a
// CComPtr, so that no caller pairs a bare new with AddRef or Attach. Thread-safe (it only
// allocates).
//
// Two kinds of counted classes meet here. CKivObject<T> (and CKivAggObject<T>) start with a count
// of 0 and are made by their static CreateObject; the CComPtr takes the first reference. Classes
// that start with their creator's reference already counted (the tracing library's objects) say
// so with
//     static constexpr bool CreatedWithReference = true;
// and the CComPtr adopts that reference.
#pragma once

#include "KivObject/ComPtr.h"

#include <new>
#include <utility>

namespace Kiv {

// A new Object made from args, with its first reference. Throws std::bad_alloc when memory runs
// out (the interface boundary helper turns that into E_OUTOFMEMORY), and whatever the object's
// constructor throws; never returns null.
template <class Object, class... Args>
CComPtr<Object> MakeObject(Args&&... args)
{
    CComPtr<Object> object;
    if constexpr (requires { Object::CreateObject(std::forward<Args>(args)...); }) {
        object = Object::CreateObject(std::forward<Args>(args)...);
    } else if constexpr (requires { requires Object::CreatedWithReference; }) {
        object.Attach(new Object(std::forward<Args>(args)...));
    } else {
        object = new Object(std::forward<Args>(args)...);
    }
    if (!object) {
        throw std::bad_alloc();
    }
    return object;
}

} // namespace Kiv
