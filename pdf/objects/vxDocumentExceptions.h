// Exception classes of the document unit.
#pragma once

#include "pdf/objects/vxExceptions.h"

namespace vx {

VX_DECLARE_EXCEPTION(EPDFException, Exception)
VX_DECLARE_EXCEPTION(EPDFFileCorruptedError, EPDFException)
VX_DECLARE_EXCEPTION(EInvalidPageError, EPDFException)
VX_DECLARE_EXCEPTION(EUnsupportedFontError, EPDFException)
VX_DECLARE_EXCEPTION(EInvalidPermission, EPDFException)
VX_DECLARE_EXCEPTION(EUnexpectedFilterObject, EPDFException)
VX_DECLARE_EXCEPTION(EFileNotFound, Exception)
VX_DECLARE_EXCEPTION(EImproperPNGAlgorithm, Exception)
VX_DECLARE_EXCEPTION(EUnexpectedError, Exception)

// The document unit has its own class of this name, distinct from the object
// unit's plain one.
namespace document {
VX_DECLARE_EXCEPTION(EUnexpectedObjectError, EPDFException)
}

namespace msg {
inline constexpr std::string_view FileCorrupted = "File is corrupted";
inline constexpr std::string_view WrongObjectAtOffset =
    "Object %d is not where the cross-reference table puts it";
inline constexpr std::string_view NoObjectAtOffset = "File is corrupted: no object at offset %d";
inline constexpr std::string_view FileNotFound = "%s File Not Found";
inline constexpr std::string_view InvalidPageRange = "Invalid page range (%s)";
inline constexpr std::string_view InvalidPageNumber = "Invalid page number (%d)";
inline constexpr std::string_view UnexpectedError = "Unexpected Error";
inline constexpr std::string_view InvalidObjectNumber = "Invalid Object number in PDF (%d)";
inline constexpr std::string_view StreamInsideArray = "Stream Object found inside Array!";
inline constexpr std::string_view DocumentReadComplete = "Document read complete. Pages read = %d";
inline constexpr std::string_view UnsupportedFont = "Unsupported Font (%s)";
inline constexpr std::string_view NoXRefStream =
    "File is corrupted: no cross-reference stream at offset %d";
inline constexpr std::string_view NoCatalog = "File is corrupted: the trailer names no catalog";
inline constexpr std::string_view CatalogMissing =
    "File is corrupted: the catalog (object %d) is not in the file";
inline constexpr std::string_view CatalogNoDictionary =
    "File is corrupted: the catalog (object %d) is not a dictionary";
inline constexpr std::string_view NoPages = "The document has no pages";
inline constexpr std::string_view UnderOpaqueImage =
    "The watermark lies under the content, and %d page(s) are covered by an opaque image where "
    "it will not show: put it over the content, with an opacity below 100";
inline constexpr std::string_view SignaturesInvalidated =
    "The document is digitally signed; stamping it invalidates its signatures";
inline constexpr std::string_view NoPageTree = "File is corrupted: the catalog names no page tree";
inline constexpr std::string_view NoPageFound =
    "File is corrupted: the page tree names pages but none can be read";
inline constexpr std::string_view NoUsablePageBox = "Page has no usable /MediaBox";
inline constexpr std::string_view OutlineDestNotPage =
    "Expected Page Indirect Reference in Outline Destination!";
inline constexpr std::string_view OutlineTooDeep =
    "Outline items nested deeper than %d levels left out";
}  // namespace msg

}  // namespace vx
