#include "content/colors.h"

namespace pdfcore::content {

namespace {

// Device spaces by their full or abbreviated (inline image) names.
bool DeviceSpace(const std::string& name, int32_t& token, std::vector<double>& initial) {
  if (name == "DeviceGray" || name == "G") {
    token = PDF_CS_DEVICE_GRAY;
    initial = {0};
  } else if (name == "DeviceRGB" || name == "RGB") {
    token = PDF_CS_DEVICE_RGB;
    initial = {0, 0, 0};
  } else if (name == "DeviceCMYK" || name == "CMYK") {
    token = PDF_CS_DEVICE_CMYK;
    initial = {0, 0, 0, 1};
  } else {
    return false;
  }
  return true;
}

std::string FamilyOf(QPDFObjectHandle space) {
  if (space.isName()) return space.getName().substr(1);
  if (space.isArray() && space.getArrayNItems() > 0 && space.getArrayItem(0).isName()) {
    return space.getArrayItem(0).getName().substr(1);
  }
  return {};
}

}  // namespace

void ColorResolver::SelectSpace(const std::string& name, QPDFObjectHandle resources,
                                ColorValue& color) {
  Space space{PDF_CS_DEVICE_GRAY, {0}};
  if (!DeviceSpace(name, space.token, space.initial)) {
    auto found = spaces_.find(name);
    if (found != spaces_.end()) {
      space = found->second;
    } else {
      space = ResolveNamed(name, resources);
    }
  }
  color.space = space.token;
  color.components = space.initial;
  color.patternName.clear();
  color.pattern = QPDFObjectHandle();
}

ColorResolver::Space ColorResolver::ResolveNamed(const std::string& name,
                                                 QPDFObjectHandle resources) {
  QPDFObjectHandle object;
  if (name == "Pattern") {
    object = QPDFObjectHandle::newName("/Pattern");
  } else if (resources.isDictionary()) {
    QPDFObjectHandle spaces = resources.getKey("/ColorSpace");
    if (spaces.isDictionary()) object = spaces.getKey("/" + name);
  }
  if (!object.isInitialized() || object.isNull()) {
    reporter_.Once("colorspace:" + name, 0, "Colour space /" + name + " not found in resources",
                   PDF_E_WARNING | PDF_E_SYNTAX);
    return Space{PDF_CS_DEVICE_GRAY, {0}};  // not cached: unknown names must not grow the map
  }
  Space space{PDF_CS_DEVICE_GRAY, {0}};
  std::string family = FamilyOf(object);
  if (!(object.isName() && DeviceSpace(family, space.token, space.initial))) {
    space.token = table_.AddSpace(ColorSpaceEntry{family.empty() ? name : family, object});
    space.initial = InitialColor(family, object);
  }
  spaces_[name] = space;
  return space;
}

uint32_t ColorResolver::ColorToken(const ColorValue& color) {
  for (const std::optional<Recent>& recent : recent_) {
    if (recent && recent->color == color) return recent->token;
  }
  auto key = std::make_tuple(color.space, color.components, color.patternName);
  auto found = colors_.find(key);
  uint32_t token = 0;
  if (found != colors_.end()) {
    token = found->second;
  } else {
    token = table_.AddColor(ColorEntry{color.components, color.patternName, color.pattern});
    colors_.emplace(std::move(key), token);
  }
  recent_[nextRecent_] = Recent{color, token};
  nextRecent_ = (nextRecent_ + 1) % recent_.size();
  return token;
}

}  // namespace pdfcore::content
