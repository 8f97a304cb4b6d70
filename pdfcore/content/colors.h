// Turns the colour operators' operands into the tokens of the document's ColorTable.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "content/state.h"
#include "core/color_table.h"

namespace pdfcore::content {

class ColorResolver {
 public:
  ColorResolver(ColorTable& table, Reporter& reporter) : table_(table), reporter_(reporter) {}

  // The colour space named by a cs/CS operand: a device space by its name, else an entry of
  // /Resources/ColorSpace. Sets `color` to the space's initial colour.
  void SelectSpace(const std::string& name, QPDFObjectHandle resources, ColorValue& color);

  // The token of an exact colour; equal colours share one token, so a content that sets the
  // same colour again and again does not grow the table.
  uint32_t ColorToken(const ColorValue& color);

 private:
  struct Space {
    int32_t token;
    std::vector<double> initial;
  };
  Space ResolveNamed(const std::string& name, QPDFObjectHandle resources);

  ColorTable& table_;
  Reporter& reporter_;
  std::map<std::string, Space> spaces_;  // by resource name; only names that exist
  std::map<std::tuple<int32_t, std::vector<double>, std::string>, uint32_t> colors_;
  // The fill and stroke colours asked for last: records repeat them, and a map lookup copies
  // the key.
  struct Recent {
    ColorValue color;
    uint32_t token = 0;
  };
  std::array<std::optional<Recent>, 2> recent_;
  size_t nextRecent_ = 0;
};

}  // namespace pdfcore::content
