// Runs a watermark job on a loaded document, as both front ends do.
#pragma once

#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/watermark/vxWatermarkJob.h"

namespace vx {

// Sets the output encryption and object streams the job asks for, measures
// in points and stamps the job's pages (every page when it names none). The
// document is saved by the caller, which also decides on opening it
// afterwards. Raises what the stamping raises; a refused encryption comes
// before any stamp. With Replace, the layer watermarks already there go
// first; Notes (when given) gets what that could not take off.
void RunWatermarkJob(TvxCustomPDFDocument& Doc, const TvxWatermarkJob& Job,
                     std::vector<std::string>* Notes = nullptr);

}  // namespace vx
