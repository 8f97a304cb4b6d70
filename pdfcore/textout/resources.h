// Entries that written text needs in the /Resources of the page or form it is written into.
#pragma once

#include <string>
#include <string_view>

#include <qpdf/QPDFObjectHandle.hh>

namespace pdfcore {

// The resource dictionary of a page or form XObject, made its own first when a page only
// inherits one (so additions don't hide the inherited entries) and created when missing.
QPDFObjectHandle EditableResources(QPDFObjectHandle owner);

// The name (with its slash) under which `object` is listed in resources[category]: the name it
// already has there, or a fresh one starting with `prefix`.
std::string ResourceName(QPDFObjectHandle resources, const std::string& category,
                         QPDFObjectHandle object, std::string_view prefix);

}  // namespace pdfcore
