// Exact colours behind the 32-bit tokens of the content-parsing record.
//
// A record carries a colour space token and a colour token. Device spaces use the fixed
// values of dynapdf_abi.h; any other space (ICCBased, Separation, DeviceN, Indexed, Lab,
// CalRGB, patterns) is kept here with its PDF object. A colour token indexes the exact
// component values, so handing a record's tokens back reproduces its colour exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

namespace pdfcore {

struct ColorSpaceEntry {
  std::string family;          // "DeviceRGB", "ICCBased", "Separation", "Pattern", ...
  QPDFObjectHandle object;     // the colour space as found in the resources (null: device)
};

struct ColorEntry {
  std::vector<double> components;
  std::string patternName;     // for pattern colours: the pattern resource's object
  QPDFObjectHandle pattern;
};

class ColorTable {
public:
  // Fixed tokens for the device spaces; others from 16 up.
  int32_t AddSpace(ColorSpaceEntry space) {
    spaces_.push_back(std::move(space));
    return static_cast<int32_t>(spaces_.size() - 1) + kFirstSpaceToken;
  }
  uint32_t AddColor(ColorEntry color) {
    colors_.push_back(std::move(color));
    return static_cast<uint32_t>(colors_.size() - 1);
  }
  // Null when the token is a device space or unknown.
  const ColorSpaceEntry* Space(int32_t token) const {
    if (token < kFirstSpaceToken) return nullptr;
    size_t index = static_cast<size_t>(token - kFirstSpaceToken);
    return index < spaces_.size() ? &spaces_[index] : nullptr;
  }
  const ColorEntry* Color(uint32_t token) const {
    return token < colors_.size() ? &colors_[token] : nullptr;
  }

  static constexpr int32_t kFirstSpaceToken = 16;

private:
  std::vector<ColorSpaceEntry> spaces_;
  std::vector<ColorEntry> colors_;
};

}  // namespace pdfcore
