#include "pdf/document/vxWatermarkJobRunner.h"

namespace vx {

void RunWatermarkJob(TvxCustomPDFDocument& Doc, const TvxWatermarkJob& Job,
                     std::vector<std::string>* Notes) {
  if (Job.Encryption) ApplyEncryptionOptions(Doc.Encryption(), *Job.Encryption);
  Doc.SetObjectStreams(Job.ObjectStreams);
  if (Job.Replace) {
    std::vector<std::string> Own;
    Doc.RemoveWatermarks(Notes ? *Notes : Own);
  }
  Doc.MeasurementUnit = muPoints;
  const std::unique_ptr<TvxTextWatermarkTemplate> Template = MakeWatermarkTemplate(Job);
  if (Job.Pages.empty())
    Doc.InsertWatermark(*Template);
  else
    Doc.InsertWatermark(*Template, Job.Pages);
}

}  // namespace vx
