// Named destinations: the catalog's /Dests dictionary and the /Dests name
// tree of its /Names dictionary, read while the catalog is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/reader/vxObjectLoader.h"

namespace vx {

class TvxNamedDests {
 public:
  TvxNamedDests(TvxDocumentData& Data, TvxObjectLoader& Loader) : FData(Data), FLoader(Loader) {}

  void ReadDestsDictionary(TvxPDFObject* Value);
  void ReadNameDictionary(TvxPDFObject* Value);

  // A copy of the named destination's value, or nil.
  TvxPDFObjectPtr FindNamedDest(const std::string& Name) const;
  // The destination a /Dest or an action's /D stands for: a name or string
  // looked up in the table (itself when absent), an array copied.
  TvxPDFObjectPtr ResolveDestination(const TvxPDFObject* V) const;

 private:
  struct TvxNamedDest {
    std::string Key;
    TvxPDFObjectPtr Value;  // a destination array or a null object
  };

  // The destination a /Dests entry or name-tree value stands for: a copy of
  // the array, or a null object.
  TvxPDFObjectPtr DestinationValue(TvxPDFObject* V);
  void ReadNameTreeNode(TvxPDFDictObject& Node, int32_t NodeNumber);
  void AddNamedDest(std::string Key, TvxPDFObjectPtr Value);

  TvxDocumentData& FData;
  TvxObjectLoader& FLoader;
  std::vector<TvxNamedDest> FNamedDests;
  std::unordered_map<std::string, size_t> FNamedDestIndex;  // key to its first entry
};

}  // namespace vx
