#include "core/links.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

namespace pdfcore {

namespace {

template <class Visit>
void ForEachAnnotation(QPDF& pdf, Visit&& visit) {
  int32_t handle = 0;
  int32_t pageNumber = 0;
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
    ++pageNumber;
    QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
    if (!annots.isArray()) continue;
    const int count = annots.getArrayNItems();
    for (int i = 0; i < count; ++i) {
      QPDFObjectHandle annotation = annots.getArrayItem(i);
      if (!annotation.isDictionary()) continue;
      if (!visit(AnnotationRef{handle, pageNumber, annotation})) return;
      ++handle;
    }
  }
}

}  // namespace

std::vector<AnnotationRef> AllAnnotations(QPDF& pdf) {
  std::vector<AnnotationRef> all;
  ForEachAnnotation(pdf, [&](const AnnotationRef& ref) {
    all.push_back(ref);
    return true;
  });
  return all;
}

std::optional<AnnotationRef> FindAnnotation(QPDF& pdf, int32_t handle) {
  std::optional<AnnotationRef> found;
  if (handle < 0) return found;
  ForEachAnnotation(pdf, [&](const AnnotationRef& ref) {
    if (ref.handle != handle) return true;
    found = ref;
    return false;
  });
  return found;
}

bool IsUriLink(QPDFObjectHandle annotation) {
  if (!annotation.isDictionary()) return false;
  if (!annotation.getKey("/Subtype").isNameAndEquals("/Link")) return false;
  QPDFObjectHandle action = annotation.getKey("/A");
  return action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI");
}

std::string LinkUri(QPDFObjectHandle annotation) {
  if (!IsUriLink(annotation)) return {};
  QPDFObjectHandle uri = annotation.getKey("/A").getKey("/URI");
  return uri.isString() ? uri.getStringValue() : std::string();
}

void SetLinkUri(QPDFObjectHandle annotation, const std::string& uri) {
  QPDFObjectHandle action = annotation.getKey("/A").shallowCopy();
  action.replaceKey("/URI", QPDFObjectHandle::newString(uri));
  annotation.replaceKey("/A", action);
}

}  // namespace pdfcore
