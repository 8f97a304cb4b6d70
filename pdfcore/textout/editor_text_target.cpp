// Kept apart from the text output so that code using TextOutput without a ContentEditor
// (tests, tools) doesn't need the content interpreter linked in.
#include "textout/text_output.h"

#include "core/font_cache.h"

namespace pdfcore {
namespace {

constexpr int kMaxParentDepth = 64;

QPDFObjectHandle FontIn(QPDFObjectHandle resources, const PdfFont* font, FontCache& fonts) {
  if (!resources.isDictionary()) return QPDFObjectHandle::newNull();
  QPDFObjectHandle entries = resources.getKey("/Font");
  if (!entries.isDictionary()) return QPDFObjectHandle::newNull();
  for (auto [key, dict] : entries.ditems()) {
    // Direct font dictionaries are loaded anew each time; only numbered ones have an identity.
    if (dict.isIndirect() && dict.isDictionary() && fonts.Get(dict).get() == font) return dict;
  }
  return QPDFObjectHandle::newNull();
}

}  // namespace

const TextStateSnapshot& EditorTextTarget::State() const { return editor_.LastTextState(); }

void EditorTextTarget::Append(const std::string& operators) { editor_.AppendOperators(operators); }

void EditorTextTarget::Place(const PlacedText& text) { editor_.PlaceText(text); }

QPDFObjectHandle EditorTextTarget::Owner() const { return editor_.Owner(); }

QPDFObjectHandle EditorTextTarget::FontDictionary(const PdfFont* font) {
  if (!font) return QPDFObjectHandle::newNull();
  QPDFObjectHandle owner = editor_.Owner();
  QPDFObjectHandle holder = owner.isStream() ? owner.getDict() : owner;
  QPDFObjectHandle found = FontIn(holder.getKey("/Resources"), font, fonts_);
  // Pages may inherit their resources from the page tree.
  QPDFObjectHandle node = holder.getKey("/Parent");
  for (int depth = 0; !found.isDictionary() && depth < kMaxParentDepth && node.isDictionary();
       ++depth) {
    found = FontIn(node.getKey("/Resources"), font, fonts_);
    node = node.getKey("/Parent");
  }
  return found;
}

}  // namespace pdfcore
