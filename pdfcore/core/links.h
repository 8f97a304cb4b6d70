// Annotation handles and link targets.
//
// An annotation handle numbers every annotation of the document from 0: pages in order, and
// within a page in the order of its /Annots array, whatever the annotation's subtype. Entries
// of /Annots that are not dictionaries (null, or references to missing objects) are not
// annotations and take no number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace pdfcore {

struct AnnotationRef {
  int32_t handle = -1;
  int32_t pageNumber = 0;  // 1-based
  QPDFObjectHandle annotation;
};

// Every annotation of the document with its handle, in handle order.
std::vector<AnnotationRef> AllAnnotations(QPDF& pdf);

// The annotation with that handle; nullopt when the handle is out of range.
std::optional<AnnotationRef> FindAnnotation(QPDF& pdf, int32_t handle);

// A /Link annotation whose action /A is a /URI action.
bool IsUriLink(QPDFObjectHandle annotation);

// The URI of a link (empty when it is not a URI link).
std::string LinkUri(QPDFObjectHandle annotation);

// Sets the link's /URI. The action is replaced by a direct copy carrying the new URI, so an
// action object shared with other links keeps its old target for them.
void SetLinkUri(QPDFObjectHandle annotation, const std::string& uri);

}  // namespace pdfcore
