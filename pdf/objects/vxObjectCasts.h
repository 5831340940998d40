// Views of a value as one kind, nil (or 0) when it is of another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// The kind tag each class of value carries.
template <class T>
struct TvxObjectKind;
template <>
struct TvxObjectKind<TvxPDFNullObject> : std::integral_constant<uint8_t, otNull> {};
template <>
struct TvxObjectKind<TvxPDFBooleanObject> : std::integral_constant<uint8_t, otBoolean> {};
template <>
struct TvxObjectKind<TvxPDFIntegerObject> : std::integral_constant<uint8_t, otInteger> {};
template <>
struct TvxObjectKind<TvxPDFInt64Object> : std::integral_constant<uint8_t, otInt64> {};
template <>
struct TvxObjectKind<TvxPDFRealObject> : std::integral_constant<uint8_t, otReal> {};
template <>
struct TvxObjectKind<TvxPDFStringObject> : std::integral_constant<uint8_t, otString> {};
template <>
struct TvxObjectKind<TvxPDFNameObject> : std::integral_constant<uint8_t, otName> {};
template <>
struct TvxObjectKind<TvxPDFArrayObject> : std::integral_constant<uint8_t, otArray> {};
template <>
struct TvxObjectKind<TvxPDFDictObject> : std::integral_constant<uint8_t, otDict> {};
template <>
struct TvxObjectKind<TvxPDFStreamObject> : std::integral_constant<uint8_t, otStream> {};
template <>
struct TvxObjectKind<TvxPDFIndirectReference>
    : std::integral_constant<uint8_t, otIndirectReference> {};
template <>
struct TvxObjectKind<TvxPDFIndirectObject> : std::integral_constant<uint8_t, otIndirectObject> {};

// V as a T, nil when V is nil or of another kind.
template <class T>
T* ObjectAs(TvxPDFObject* V) {
  return V && V->ObjectType == TvxObjectKind<T>::value ? static_cast<T*>(V) : nullptr;
}
template <class T>
const T* ObjectAs(const TvxPDFObject* V) {
  return V && V->ObjectType == TvxObjectKind<T>::value ? static_cast<const T*>(V) : nullptr;
}

// V as a T; nil or another kind raises EInvalidCast.
template <class T>
T& ObjectCast(TvxPDFObject* V) {
  if (T* P = ObjectAs<T>(V)) return *P;
  throw EInvalidCast(std::string(msg::InvalidTypecast));
}
template <class T>
const T& ObjectCast(const TvxPDFObject* V) {
  if (const T* P = ObjectAs<T>(V)) return *P;
  throw EInvalidCast(std::string(msg::InvalidTypecast));
}

// P's value as a T, taken over from P; nil, and P left as it is, when P
// holds nothing or another kind.
template <class T>
std::unique_ptr<T> ObjectTake(TvxPDFObjectPtr& P) {
  if (!ObjectAs<T>(P.get())) return nullptr;
  return std::unique_ptr<T>(static_cast<T*>(P.release()));
}

// The object number a reference names, 0 for anything else.
inline int32_t ReferenceNumber(const TvxPDFObject* V) {
  const auto* R = ObjectAs<TvxPDFIndirectReference>(V);
  return R ? R->ObjectNumber : 0;
}

// V must be a reference; anything else raises EInvalidCast.
inline const TvxPDFIndirectReference& AsReference(const TvxPDFObject* V) {
  return ObjectCast<TvxPDFIndirectReference>(V);
}

inline TvxPDFDictObject* AsDict(TvxPDFObject* V) {
  return ObjectAs<TvxPDFDictObject>(V);
}
inline const TvxPDFDictObject* AsDict(const TvxPDFObject* V) {
  return ObjectAs<TvxPDFDictObject>(V);
}

}  // namespace vx
