#include "textout/sfnt_face.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <cmath>
#include <vector>

namespace pdfcore {
namespace {

struct BlobDeleter {
  void operator()(hb_blob_t* b) const { hb_blob_destroy(b); }
};
struct FaceDeleter {
  void operator()(hb_face_t* f) const { hb_face_destroy(f); }
};
struct FontDeleter {
  void operator()(hb_font_t* f) const { hb_font_destroy(f); }
};
struct SubsetInputDeleter {
  void operator()(hb_subset_input_t* i) const { hb_subset_input_destroy(i); }
};
using BlobPtr = std::unique_ptr<hb_blob_t, BlobDeleter>;
using FacePtr = std::unique_ptr<hb_face_t, FaceDeleter>;
using HbFontPtr = std::unique_ptr<hb_font_t, FontDeleter>;
using SubsetInputPtr = std::unique_ptr<hb_subset_input_t, SubsetInputDeleter>;

// Big-endian fields of an sfnt table; 0 past its end.
class TableReader {
 public:
  TableReader(hb_face_t* face, hb_tag_t tag) : blob_(hb_face_reference_table(face, tag)) {
    unsigned length = 0;
    data_ = hb_blob_get_data(blob_.get(), &length);
    length_ = length;
  }
  bool Present() const { return length_ > 0; }
  uint32_t U16(size_t offset) const {
    if (!data_ || offset + 2 > length_) return 0;
    return (Byte(offset) << 8) | Byte(offset + 1);
  }
  int32_t S16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const { return (U16(offset) << 16) | U16(offset + 2); }
  int32_t S32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }

 private:
  uint32_t Byte(size_t offset) const { return static_cast<unsigned char>(data_[offset]); }
  BlobPtr blob_;
  const char* data_ = nullptr;
  size_t length_ = 0;
};

// PostScript names go into PDF names: keep them to printable ASCII without delimiters.
std::string SanitizedName(std::string name) {
  std::string out;
  for (char c : name) {
    bool printable = c > 0x20 && c < 0x7f;
    bool delimiter = std::string_view("()<>[]{}/%#").find(c) != std::string_view::npos;
    if (printable && !delimiter) out += c;
  }
  return out.empty() ? std::string("Font") : out;
}

}  // namespace

struct SfntFace::Impl {
  BlobPtr blob;
  FacePtr face;
  HbFontPtr font;
  unsigned unitsPerEm = 1000;
};

SfntFace::SfntFace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SfntFace::~SfntFace() = default;

std::unique_ptr<SfntFace> SfntFace::Load(const std::string& path, int index) {
  auto impl = std::make_unique<Impl>();
  impl->blob.reset(hb_blob_create_from_file_or_fail(path.c_str()));
  if (!impl->blob || index < 0) return nullptr;
  if (static_cast<unsigned>(index) >= hb_face_count(impl->blob.get())) return nullptr;
  impl->face.reset(hb_face_create(impl->blob.get(), static_cast<unsigned>(index)));
  if (!impl->face || hb_face_get_glyph_count(impl->face.get()) == 0) return nullptr;
  impl->unitsPerEm = hb_face_get_upem(impl->face.get());
  if (impl->unitsPerEm == 0) return nullptr;
  impl->font.reset(hb_font_create(impl->face.get()));
  if (!impl->font) return nullptr;
  hb_font_set_scale(impl->font.get(), static_cast<int>(impl->unitsPerEm),
                    static_cast<int>(impl->unitsPerEm));
  std::unique_ptr<SfntFace> face(new SfntFace(std::move(impl)));
  face->ReadFacts();
  return face;
}

void SfntFace::ReadFacts() {
  hb_face_t* face = impl_->face.get();
  isCff_ = TableReader(face, HB_TAG('C', 'F', 'F', ' ')).Present() ||
           TableReader(face, HB_TAG('C', 'F', 'F', '2')).Present();

  char name[128] = {0};
  unsigned size = sizeof(name);
  hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, name);
  postScriptName_ = SanitizedName(name);

  const double scale = 1000.0 / impl_->unitsPerEm;
  TableReader head(face, HB_TAG('h', 'e', 'a', 'd'));
  for (int i = 0; i < 4; ++i) metrics_.bbox[i] = head.S16(36 + 2 * i) * scale;
  TableReader post(face, HB_TAG('p', 'o', 's', 't'));
  metrics_.italicAngle = post.S32(4) / 65536.0;
  metrics_.fixedPitch = post.U32(12) != 0;

  hb_position_t value = 0;
  hb_font_t* font = impl_->font.get();
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER, &value))
    metrics_.ascent = value * scale;
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER, &value))
    metrics_.descent = value * scale;
  if (hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_CAP_HEIGHT, &value))
    metrics_.capHeight = value * scale;
  // Viewers and text extraction size a line's box by the descriptor's Ascent and Descent, which
  // producers take from hhea. Some faces (Latin Modern) put the line spacing there, far beyond
  // the em: their typographic values are the glyphs' own heights.
  constexpr double kMaxPlausibleHeight = 1250;  // ascent - descent, in 1/1000 em
  TableReader os2(face, HB_TAG('O', 'S', '/', '2'));
  if (metrics_.ascent - metrics_.descent > kMaxPlausibleHeight && os2.Present() &&
      os2.S16(68) > 0 && os2.S16(70) < 0) {
    metrics_.ascent = os2.S16(68) * scale;
    metrics_.descent = os2.S16(70) * scale;
  }
  if (metrics_.ascent == 0) metrics_.ascent = metrics_.bbox[3];
  if (metrics_.descent == 0) metrics_.descent = metrics_.bbox[1];
  if (metrics_.capHeight == 0) metrics_.capHeight = metrics_.ascent;
}

uint32_t SfntFace::GlyphOf(char32_t codePoint) const {
  hb_codepoint_t glyph = 0;
  if (!hb_font_get_nominal_glyph(impl_->font.get(), codePoint, &glyph)) return 0;
  return glyph;
}

uint32_t SfntFace::GlyphCount() const { return hb_face_get_glyph_count(impl_->face.get()); }

std::vector<std::pair<char32_t, uint32_t>> SfntFace::CharacterMap() const {
  std::vector<std::pair<char32_t, uint32_t>> map;
  std::unique_ptr<hb_set_t, decltype(&hb_set_destroy)> unicodes(hb_set_create(), hb_set_destroy);
  hb_face_collect_unicodes(impl_->face.get(), unicodes.get());
  hb_codepoint_t codePoint = HB_SET_VALUE_INVALID;
  while (hb_set_next(unicodes.get(), &codePoint)) {
    if (uint32_t glyph = GlyphOf(codePoint)) map.emplace_back(codePoint, glyph);
  }
  return map;
}

double SfntFace::Advance(uint32_t glyph) const {
  return hb_font_get_glyph_h_advance(impl_->font.get(), glyph) /
         static_cast<double>(impl_->unitsPerEm);
}

int32_t SfntFace::Width1000(uint32_t glyph) const {
  return static_cast<int32_t>(std::lround(Advance(glyph) * 1000.0));
}

std::string SfntFace::Subset(const std::set<uint32_t>& glyphs) const {
  SubsetInputPtr input(hb_subset_input_create_or_fail());
  if (!input) return {};
  hb_set_t* keep = hb_subset_input_glyph_set(input.get());
  hb_set_add(keep, 0);
  for (uint32_t glyph : glyphs) hb_set_add(keep, glyph);
  hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING |
                                             HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
  FacePtr subset(hb_subset_or_fail(impl_->face.get(), input.get()));
  if (!subset) return {};
  BlobPtr blob(hb_face_reference_blob(subset.get()));
  unsigned length = 0;
  const char* data = hb_blob_get_data(blob.get(), &length);
  if (!data || length == 0) return {};
  return std::string(data, length);
}

}  // namespace pdfcore
