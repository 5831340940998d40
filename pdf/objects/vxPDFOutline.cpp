#include "pdf/objects/vxPDFOutline.h"

#include <vector>

namespace vx {

TvxPDFOutline::TvxPDFOutline(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration,
                             TvxPDFObjectPtr AValue)
    : TvxPDFIndirectObject(ADocumentID, AObjectNumber, AGeneration, std::move(AValue)) {}

TvxPDFOutline::~TvxPDFOutline() {
  // Unlinked here one by one: freeing through the links would recurse once
  // per sibling.
  std::vector<std::unique_ptr<TvxPDFOutline>> Pending;
  if (FirstChild) Pending.push_back(std::move(FirstChild));
  if (NextSibling) Pending.push_back(std::move(NextSibling));
  while (!Pending.empty()) {
    std::unique_ptr<TvxPDFOutline> Item = std::move(Pending.back());
    Pending.pop_back();
    if (Item->FirstChild) Pending.push_back(std::move(Item->FirstChild));
    if (Item->NextSibling) Pending.push_back(std::move(Item->NextSibling));
  }
}

}  // namespace vx
