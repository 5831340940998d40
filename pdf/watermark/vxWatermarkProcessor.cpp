#include "pdf/watermark/vxWatermarkProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/watermark/vxWatermarkLayer.h"

namespace vx {

size_t TvxWatermarkProcessor::TvxBoxHash::operator()(const TvxBoxKey& K) const noexcept {
  uint64_t H = 0;
  for (double V : {K.L, K.B, K.R, K.T}) {
    V = V == 0 ? 0.0 : V;  // -0 and 0 compare equal, so they must hash alike
    uint64_t Bits = 0;
    std::memcpy(&Bits, &V, sizeof Bits);
    H = (H ^ Bits) * 0x9E3779B97F4A7C15ull;
  }
  H = (H ^ static_cast<uint64_t>(K.Rotation)) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(H ^ (H >> 31));
}

size_t TvxWatermarkProcessor::TvxContentHash::operator()(const TvxContentKey& K) const noexcept {
  std::hash<std::string> Text;
  return ((static_cast<size_t>(K.Box) * 0x9E3779B97F4A7C15ull ^ Text(K.FontName)) * 31 +
          Text(K.GSName)) ^
         Text(K.FormName);
}

TvxWatermarkProcessor::TvxWatermarkProcessor(TvxMeasurementUnit AUnit,
                                             TvxCustomWatermarkTemplate& ATemplate)
    : Template(ATemplate), Unit(AUnit) {}

void TvxWatermarkProcessor::ComputeAnchor(const TvxPageRect& Box, double& X, double& Y) const {
  switch (Template.HorizontalPosition) {
    case hpLeft: X = Box.Left; break;
    case hpCenter: X = Box.Left + (Box.Right - Box.Left) / 2; break;
    case hpRight: X = Box.Right; break;
    case hpCustom: X = UnitToPoints(Unit, Template.X); break;
  }
  switch (Template.VerticalPosition) {
    case vpTop: Y = Box.Top; break;
    case vpCenter: Y = Box.Bottom + (Box.Top - Box.Bottom) / 2; break;
    case vpBottom: Y = Box.Bottom; break;
    case vpCustom:
      Y = UnitToPoints(Unit, Template.Y);
      if (RoundsToZero(Box.Left) && RoundsToZero(Box.Bottom)) Y = Box.Top - Box.Bottom - Y;
      break;
  }
}

TvxPageRect ShownBox(const TvxPageRect& Box) {
  const double W = Box.Right - Box.Left, H = Box.Top - Box.Bottom;
  return Box.Rotation == 90 || Box.Rotation == 270 ? TvxPageRect{0, 0, H, W, Box.Rotation}
                                                   : TvxPageRect{0, 0, W, H, Box.Rotation};
}

TvxPDFRect TvxWatermarkProcessor::LaidBox(const TvxPageRect& Box, double& S) const {
  const TvxPageRect Shown = ShownBox(Box);
  const double Side = std::min(Shown.Right, Shown.Top);
  double W = 0, H = 0;
  if (Template.Scale > 0) Template.BlockSize(W, H);
  S = W > 0 && Side > 0 ? Template.Scale / 100.0 * Side / W : 1;
  // A box too large for doubles has no scale to speak of.
  if (!(std::isfinite(S) && S > 0)) S = 1;
  return TvxPDFRect{0, 0, Shown.Right / S, Shown.Top / S};
}

void TvxWatermarkProcessor::BuildPageContent(const std::string& FontName, const std::string& GSName,
                                             const TvxPageRect& Box, const std::string& FormName,
                                             std::string& Content) {
  double X = 0, Y = 0, S = 1;
  const TvxPDFRect Laid = LaidBox(Box, S);
  if (Box.Rotation == 0 && S == 1 && FormName.empty()) {
    ComputeAnchor(Box, X, Y);
    Template.PageBox = TvxPDFRect{Box.Left, Box.Bottom, Box.Right, Box.Top};
    Template.BuildContent(FontName, GSName, X, Y, Unit, Content);
    return;
  }
  // A turned, scaled or tiled page: the watermark is laid out on the page as
  // shown, from its lower left corner, at S times its size; matrices take
  // that onto the page's own space.
  std::string Inner;
  if (!FormName.empty()) {
    Inner = FormName + " Do\r";
  } else {
    const double SavedX = Template.X, SavedY = Template.Y;
    Template.X /= S;
    Template.Y /= S;
    ComputeAnchor(TvxPageRect{Laid.Left, Laid.Bottom, Laid.Right, Laid.Top, 0}, X, Y);
    Template.PageBox = Laid;
    Template.BuildContent(FontName, GSName, X, Y, Unit, Inner);
    Template.X = SavedX;
    Template.Y = SavedY;
  }
  double M[6] = {1, 0, 0, 1, Box.Left, Box.Bottom};
  switch (Box.Rotation) {
    case 90: M[0] = 0, M[1] = 1, M[2] = -1, M[3] = 0, M[4] = Box.Right, M[5] = Box.Bottom; break;
    case 180: M[0] = -1, M[1] = 0, M[2] = 0, M[3] = -1, M[4] = Box.Right, M[5] = Box.Top; break;
    case 270: M[0] = 0, M[1] = -1, M[2] = 1, M[3] = 0, M[4] = Box.Left, M[5] = Box.Top; break;
    default: break;
  }
  Content = "q\r";
  auto Matrix = [&Content](const double(&V)[6]) {
    for (double N : V) {
      AppendRealToPDFText(Content, N);
      Content += ' ';
    }
    Content += "cm\r";
  };
  Matrix(M);
  if (S != 1) Matrix({S, 0, 0, S, 0, 0});
  Content += Inner;
  Content += "Q\r\n";
}

std::string TvxWatermarkProcessor::BuildTileForm(const std::string& FontName,
                                                 const std::string& GSName, const TvxPDFRect& Laid,
                                                 double S, int64_t& Copies) {
  // Building a copy leaves the text escaped: each copy starts from it again.
  auto* Text = dynamic_cast<TvxTextWatermarkTemplate*>(&Template);
  if (!Text) return {};
  double W = 0, H = 0;
  Template.BlockSize(W, H);
  const double F = Text->Font ? Text->Font->Size : 0;
  // The grid runs along the text and across it: copies one font size apart
  // along it and one line apart across it, plus the gaps.
  const double Rad = Template.Angle * 3.14159265358979323846 / 180;
  const double C = std::cos(Rad), Sn = std::sin(Rad);
  const double Width = Laid.Right - Laid.Left, Height = Laid.Top - Laid.Bottom;
  const double Diagonal = std::hypot(Width, Height);
  // However small the text, a page holds a bounded number of copies.
  const double Along = std::max(
      {W + F + std::max(0.0, UnitToPoints(Unit, Template.TileGapX)) / S, Diagonal / 64, 1.0});
  const double Across = std::max(
      {2 * H + std::max(0.0, UnitToPoints(Unit, Template.TileGapY)) / S, Diagonal / 64, 1.0});
  const int32_t Cols = static_cast<int32_t>(std::ceil(Diagonal / Along)) + 1;
  const int32_t Rows = static_cast<int32_t>(std::ceil(Diagonal / Across)) + 1;
  // A box too large for doubles gets no copies rather than a grid of NaNs.
  if (!std::isfinite(Diagonal) || !std::isfinite(Along) || !std::isfinite(Across)) return {};
  // A copy whose centre lies farther than this from the box cannot reach it.
  const double Reach = std::hypot(W, H) / 2;

  const std::u16string SavedText = Text->Text;
  const auto SavedH = Template.HorizontalPosition;
  const auto SavedV = Template.VerticalPosition;
  const TvxPDFRect SavedBox = Template.PageBox;
  Template.HorizontalPosition = hpCenter;
  Template.VerticalPosition = vpCenter;
  // No copy is pushed back onto the page: the form's box clips them.
  Template.PageBox = TvxPDFRect{-1e12, -1e12, 1e12, 1e12};
  std::string Form, Copy;
  for (int32_t Row = -Rows; Row <= Rows; ++Row) {
    const double Shift = Template.TileStagger && (Row & 1) != 0 ? 0.5 : 0;
    for (int32_t Col = -Cols; Col <= Cols; ++Col) {
      const double I = Col + Shift;
      const double X = Width / 2 + I * Along * C - Row * Across * Sn;
      const double Y = Height / 2 + I * Along * Sn + Row * Across * C;
      const double DX = std::max({0.0, -X, X - Width}), DY = std::max({0.0, -Y, Y - Height});
      if (std::hypot(DX, DY) > Reach) continue;
      // Pages of many sizes must not each cost a full grid without end.
      if (Copies <= 0 && (Row != 0 || Col != 0)) continue;
      --Copies;
      Text->Text = SavedText;
      Template.BuildContent(FontName, GSName, X, Y, Unit, Copy);
      Form += Copy;
    }
  }
  Text->Text = SavedText;
  Template.HorizontalPosition = SavedH;
  Template.VerticalPosition = SavedV;
  Template.PageBox = SavedBox;
  return Form;
}

int32_t TvxWatermarkProcessor::FindPageRect(const TvxPageRect& Box) const {
  auto It = FRectIndex.find(TvxBoxKey{Box.Left, Box.Bottom, Box.Right, Box.Top, Box.Rotation});
  return It == FRectIndex.end() ? -1 : It->second;
}

std::unique_ptr<TvxPDFIndirectReference> TvxWatermarkProcessor::GetStreamRef(int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(StreamRefs.size()))
    throw EListError(FormatMessage(msg::ListIndexOutOfBounds, Index));
  const TvxStreamID& ID = StreamRefs[static_cast<size_t>(Index)];
  return std::make_unique<TvxPDFIndirectReference>(ID.DocumentID, ID.ObjectNumber, 0);
}

int32_t TvxWatermarkProcessor::SharedStream(const std::string& FontName, const std::string& GSName,
                                            const TvxPageRect& Box,
                                            const std::string& FormName) const {
  if (!ShareStreams || !ReuseContent) return -1;
  const int32_t Found = FindPageRect(Box);
  if (Found < 0) return -1;
  auto It = FStreams.find(TvxContentKey{Found, FontName, GSName, FormName, LayerName});
  return It == FStreams.end() ? -1 : It->second;
}

void TvxWatermarkProcessor::RememberStream(const std::string& FontName, const std::string& GSName,
                                           const TvxPageRect& Box, const std::string& FormName,
                                           int32_t ObjectNumber) {
  if (!ShareStreams || !ReuseContent) return;
  const int32_t Found = FindPageRect(Box);
  if (Found >= 0)
    FStreams.try_emplace(TvxContentKey{Found, FontName, GSName, FormName, LayerName}, ObjectNumber);
}

std::unique_ptr<TvxPDFIndirectObject> TvxWatermarkProcessor::CreateWatermarkStream(
    const std::string& FontName, const std::string& GSName, const TvxPageRect& Box,
    int32_t DocumentID, int32_t ObjectNumber, const std::string& FormName) {
  TvxPDFSourcePtr Shared;
  const int32_t Found = FindPageRect(Box);
  const int32_t Index = static_cast<int32_t>(PageRects.size());
  if (ReuseContent && Found >= 0) {
    // The text was built for an earlier page with the same box and names.
    auto Same = [&](const TvxContentKey& K) {
      return K.Box == Found && K.FontName == FontName && K.GSName == GSName &&
             K.FormName == FormName && K.LayerName == LayerName;
    };
    if (!FLastContent || !Same(FLastContent->first)) {
      auto It = FContents.find(TvxContentKey{Found, FontName, GSName, FormName, LayerName});
      FLastContent = It == FContents.end() ? nullptr : &*It;
    }
    if (FLastContent) Shared = FLastContent->second;
  }
  std::string Content;
  if (!Shared) {
    BuildPageContent(FontName, GSName, Box, FormName, Content);
    if (!LayerName.empty())
      Content = LayerContentPrefix(LayerName) + Content + std::string(LayerContentSuffix);
    if (ReuseContent) {
      Shared = TvxPDFSource::FromMemory(std::move(Content));
      auto It = FContents.try_emplace(
          TvxContentKey{Found >= 0 ? Found : Index, FontName, GSName, FormName, LayerName}, Shared);
      FLastContent = &*It.first;
    }
  }

  auto Dict = std::make_unique<TvxPDFDictObject>();
  std::unique_ptr<TvxPDFStreamObject> Stream;
  if (Shared) {
    Dict->AddInteger("/Length", static_cast<int32_t>(Shared->Size()));
    Stream = std::make_unique<TvxPDFStreamObject>(std::move(Dict));
    Stream->Data.SetRange(Shared, 0, Shared->Size());
  } else {
    Dict->AddInteger("/Length", static_cast<int32_t>(Content.size()));
    Stream = std::make_unique<TvxPDFStreamObject>(
        std::move(Dict), std::make_unique<TvxMemoryStream>(std::move(Content)));
  }
  auto Obj =
      std::make_unique<TvxPDFIndirectObject>(DocumentID, ObjectNumber, 0, true, std::move(Stream));

  StreamRefs.push_back(TvxStreamID{DocumentID, ObjectNumber});
  PageRects.push_back(Box);
  FRectIndex.try_emplace(TvxBoxKey{Box.Left, Box.Bottom, Box.Right, Box.Top, Box.Rotation}, Index);
  return Obj;
}

}  // namespace vx
