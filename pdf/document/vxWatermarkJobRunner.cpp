#include "pdf/document/vxWatermarkJobRunner.h"

namespace vx {

void RunWatermarkJob(TvxCustomPDFDocument& Doc, const TvxWatermarkJob& Job) {
  if (Job.Encryption) ApplyEncryptionOptions(Doc.Encryption(), *Job.Encryption);
  Doc.MeasurementUnit = muPoints;
  const std::unique_ptr<TvxTextWatermarkTemplate> Template = MakeWatermarkTemplate(Job);
  if (Job.Pages.empty())
    Doc.InsertWatermark(*Template);
  else
    Doc.InsertWatermark(*Template, Job.Pages);
}

}  // namespace vx
