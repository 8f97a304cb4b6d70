// A system font program (TrueType or CFF-flavoured OpenType) read with HarfBuzz: character to
// glyph lookup, advances, the facts a font descriptor needs, and glyph-id-keeping subsets.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pdfcore {

struct FaceMetrics {
  double ascent = 0, descent = 0, capHeight = 0;  // in 1/1000 em
  double bbox[4] = {0, 0, 0, 0};                  // in 1/1000 em
  double italicAngle = 0;
  bool fixedPitch = false;
};

class SfntFace {
 public:
  // Null when the file can't be read as a font.
  static std::unique_ptr<SfntFace> Load(const std::string& path, int index);
  ~SfntFace();
  SfntFace(const SfntFace&) = delete;
  SfntFace& operator=(const SfntFace&) = delete;

  // 0 when the font has no glyph for the character.
  uint32_t GlyphOf(char32_t codePoint) const;
  // Advance for font size 1 (a fraction of the em).
  double Advance(uint32_t glyph) const;
  // Advance in the 1/1000 em units of a PDF /W array.
  int32_t Width1000(uint32_t glyph) const;

  uint32_t GlyphCount() const;
  // Every character the font maps, with its glyph, in character order.
  std::vector<std::pair<char32_t, uint32_t>> CharacterMap() const;

  bool IsCff() const { return isCff_; }
  const std::string& PostScriptName() const { return postScriptName_; }
  const FaceMetrics& Metrics() const { return metrics_; }

  // The font program with only `glyphs` (and .notdef), every glyph keeping its id so the
  // CIDs written in content stay valid. Empty on failure.
  std::string Subset(const std::set<uint32_t>& glyphs) const;

 private:
  struct Impl;
  explicit SfntFace(std::unique_ptr<Impl> impl);
  void ReadFacts();

  std::unique_ptr<Impl> impl_;
  bool isCff_ = false;
  std::string postScriptName_;
  FaceMetrics metrics_;
};

}  // namespace pdfcore
