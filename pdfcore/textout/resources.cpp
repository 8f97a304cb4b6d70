#include "textout/resources.h"

namespace pdfcore {
namespace {

constexpr int kMaxParentDepth = 64;  // page trees deeper than this are damaged or cyclic

bool IsPage(QPDFObjectHandle owner) {
  return owner.isDictionary() && !owner.isStream() &&
         owner.getKey("/Type").isNameAndEquals("/Page");
}

QPDFObjectHandle InheritedResources(QPDFObjectHandle page) {
  QPDFObjectHandle node = page.getKey("/Parent");
  for (int depth = 0; depth < kMaxParentDepth && node.isDictionary(); ++depth) {
    QPDFObjectHandle resources = node.getKey("/Resources");
    if (resources.isDictionary()) return resources;
    node = node.getKey("/Parent");
  }
  return QPDFObjectHandle::newNull();
}

bool SameObject(QPDFObjectHandle a, QPDFObjectHandle b) {
  if (a.isIndirect() || b.isIndirect()) {
    return a.isIndirect() && b.isIndirect() && a.getObjGen() == b.getObjGen();
  }
  return a.unparse() == b.unparse();
}

}  // namespace

QPDFObjectHandle EditableResources(QPDFObjectHandle owner) {
  QPDFObjectHandle holder = owner.isStream() ? owner.getDict() : owner;
  QPDFObjectHandle resources = holder.getKey("/Resources");
  if (resources.isDictionary()) return resources;
  QPDFObjectHandle inherited =
      IsPage(owner) ? InheritedResources(owner) : QPDFObjectHandle::newNull();
  resources =
      inherited.isDictionary() ? inherited.shallowCopy() : QPDFObjectHandle::newDictionary();
  holder.replaceKey("/Resources", resources);
  return holder.getKey("/Resources");
}

std::string ResourceName(QPDFObjectHandle resources, const std::string& category,
                         QPDFObjectHandle object, std::string_view prefix) {
  QPDFObjectHandle entries = resources.getKey(category);
  if (!entries.isDictionary()) {
    resources.replaceKey(category, QPDFObjectHandle::newDictionary());
    entries = resources.getKey(category);
  }
  for (auto [key, value] : entries.ditems()) {
    if (SameObject(value, object)) return key;
  }
  for (int n = 1;; ++n) {
    std::string name = "/" + std::string(prefix) + std::to_string(n);
    if (!entries.hasKey(name)) {
      entries.replaceKey(name, object);
      return name;
    }
  }
}

}  // namespace pdfcore
