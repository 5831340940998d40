// Exception classes of the engine. Every failure is one of these; callers catch
// Exception to show the message, tests assert the class and the text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/vxException.h"

namespace vx {

// Fills the single "%s" or "%d" of a message template.
std::string FormatMessage(std::string_view Template, std::string_view Arg);
std::string FormatMessage(std::string_view Template, int64_t Arg);

#define VX_DECLARE_EXCEPTION(Name, Base)                             \
  class Name : public Base {                                         \
   public:                                                           \
    explicit Name(std::string Message) : Base(std::move(Message)) {} \
  };

// Run-time library failures.
VX_DECLARE_EXCEPTION(EConvertError, Exception)
VX_DECLARE_EXCEPTION(EListError, Exception)
VX_DECLARE_EXCEPTION(EInvalidCast, Exception)
VX_DECLARE_EXCEPTION(EStreamError, Exception)
VX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
VX_DECLARE_EXCEPTION(EFCreateError, EStreamError)

// Object and reader unit.
VX_DECLARE_EXCEPTION(EInvalidIndex, Exception)
VX_DECLARE_EXCEPTION(EUnexpectedObjectError, Exception)
VX_DECLARE_EXCEPTION(EStringReadError, Exception)
VX_DECLARE_EXCEPTION(EArrayReadError, Exception)
VX_DECLARE_EXCEPTION(ENameReadError, Exception)
VX_DECLARE_EXCEPTION(EDictionaryReadError, Exception)
VX_DECLARE_EXCEPTION(EStreamReadError, Exception)
VX_DECLARE_EXCEPTION(EEndStreamError, Exception)
VX_DECLARE_EXCEPTION(EBooleanError, Exception)
VX_DECLARE_EXCEPTION(ENullObjectError, Exception)
VX_DECLARE_EXCEPTION(EOffsetError, Exception)
VX_DECLARE_EXCEPTION(ETrailerError, Exception)
VX_DECLARE_EXCEPTION(EInvalidHeader, Exception)
VX_DECLARE_EXCEPTION(EUnsupportedVersion, Exception)
VX_DECLARE_EXCEPTION(EUnsupportedFilterError, Exception)
// Hostile nesting of arrays, dictionaries or object headers.
VX_DECLARE_EXCEPTION(ENestingTooDeepError, Exception)
// Data that ends inside an object.
VX_DECLARE_EXCEPTION(EEndOfDataError, Exception)
// A job stopped at the user's request.
VX_DECLARE_EXCEPTION(EJobCancelled, Exception)

// Byte-stream unit.
VX_DECLARE_EXCEPTION(TvxException, Exception)
VX_DECLARE_EXCEPTION(EInvalidID, TvxException)
VX_DECLARE_EXCEPTION(EInvalidStream, TvxException)
VX_DECLARE_EXCEPTION(EReadError, TvxException)
// The file a document was loaded from no longer holds what was loaded.
VX_DECLARE_EXCEPTION(ESourceChangedError, TvxException)

// Message texts shared by several places.
namespace msg {
inline constexpr std::string_view IndexOutOfBounds = "Index Out Of Bounds!";
inline constexpr std::string_view ListIndexOutOfBounds = "List index out of bounds (%d)";
inline constexpr std::string_view UnexpectedObject = "Unexpected PDF object encountered";
inline constexpr std::string_view ExpectedNull = "Expected PDF null object";
inline constexpr std::string_view InvalidUniqueID = "Invalid unique ID (%d)";
inline constexpr std::string_view NullStream = "Invalid Stream! Cannot create with null stream";
inline constexpr std::string_view WriteOnlyCannotRead = "A write-only filter cannot read";
inline constexpr std::string_view ReadOnlyCannotWrite = "A read-only filter cannot write";
inline constexpr std::string_view InvalidTypecast = "Invalid class typecast";
inline constexpr std::string_view NotValidInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view NotValidFloat = "'%s' is not a valid floating point value";
inline constexpr std::string_view StringRead = "Error reading PDF string (%s)";
inline constexpr std::string_view NameRead = "Error reading PDF name string (%s)";
inline constexpr std::string_view ArrayRead = "Error reading PDF array (%s)";
inline constexpr std::string_view DictionaryRead = "Error reading PDF dictionary (%s)";
inline constexpr std::string_view StreamRead = "Error reading PDF stream";
inline constexpr std::string_view EndStream = "Expected PDF endstream";
inline constexpr std::string_view Boolean = "Expected boolean (%s) object";
inline constexpr std::string_view Offset = "Error reading document. Unable to read offset";
inline constexpr std::string_view Trailer = "Error reading PDF trailer";
inline constexpr std::string_view InvalidHeader = "Invalid PDF Header (%s)";
inline constexpr std::string_view UnsupportedVersion = "Unsupported PDF Version (%s)";
inline constexpr std::string_view UnexpectedStreamType = "Unexpected Stream Type";
inline constexpr std::string_view InvalidPDFFile = "Invalid PDF File";
inline constexpr std::string_view FileOpen = "Cannot open file \"%s\"";
inline constexpr std::string_view FileCreate = "Cannot create file \"%s\"";
inline constexpr std::string_view FileWrite = "Error writing file \"%s\"";
inline constexpr std::string_view JobCancelled = "The job was cancelled";
inline constexpr std::string_view EndOfData = "Unexpected end of PDF data";
inline constexpr std::string_view SourceChanged =
    "The file \"%s\" was changed since it was loaded; load it again";
inline constexpr std::string_view NestingTooDeep =
    "PDF objects nested too deeply (more than %d levels)";
}  // namespace msg

}  // namespace vx

// Stream codecs. The codecs' own format errors are plain Exception with the
// fixed texts below; EUnexpectedFilterObject and EImproperPNGAlgorithm belong
// to the document unit (vxDocumentExceptions.h).
namespace vx {

VX_DECLARE_EXCEPTION(EZlibError, Exception)
VX_DECLARE_EXCEPTION(EZCompressionError, EZlibError)
VX_DECLARE_EXCEPTION(EZDecompressionError, EZlibError)
// Decoded data would grow past the decode limit (a hostile or broken stream).
VX_DECLARE_EXCEPTION(EDecodeLimitError, Exception)
// /DecodeParms values no decoder can honour (/Columns 0, /Colors 1000, ...).
VX_DECLARE_EXCEPTION(EInvalidDecodeParms, Exception)

namespace msg {
inline constexpr std::string_view UnsupportedFilterName = "Unsupported filter (%s)";
inline constexpr std::string_view UnsupportedFilter = "Unsupported filter";
inline constexpr std::string_view UnexpectedFilterObject = "Unexpected filter object, found (%s)";
inline constexpr std::string_view EncodeNotSupported = "Filter cannot encode (%s)";
inline constexpr std::string_view ImproperPNGAlgorithm = "Improper PNG algorithm tag in stream";
inline constexpr std::string_view InvalidDecodeParms = "Invalid decode parameters (%s)";
inline constexpr std::string_view DecodeLimit = "Decoded stream data exceeds the limit of %d bytes";
inline constexpr std::string_view DecodeBudget =
    "Decoded stream data of the document exceeds its allowance of %d bytes";
inline constexpr std::string_view EndOfDataMarkerWrong = "EndOfData marker is wrong";
inline constexpr std::string_view IllegalCharacter = "Illeagal character within stream";
inline constexpr std::string_view ZInappropriate = "\"z\" found at inappropriate position";
inline constexpr std::string_view SingleFinalCharacter = "Single Final Character";
inline constexpr std::string_view Ascii85GroupOverflow = "ASCII85 group out of range";
inline constexpr std::string_view RLEEndOfDataMarkerWrong = "EndOfData Marker is wrong";
inline constexpr std::string_view PrematureEndOfData = "Premature EndOfData Marker found";
inline constexpr std::string_view UnexpectedEndOfFile = "Unexpected EndOfFile found";
inline constexpr std::string_view InvalidLZWCode = "Invalid LZW code (%d)";
}  // namespace msg

}  // namespace vx
