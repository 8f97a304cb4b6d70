#include "content/state.h"

#include <cmath>

namespace pdfcore::content {

Matrix Concat(const Matrix& m, const Matrix& n) {
  return Matrix{m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
                m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

Matrix Translated(const Matrix& m, double tx, double ty) {
  Matrix r = m;
  r.e = tx * m.a + ty * m.c + m.e;
  r.f = tx * m.b + ty * m.d + m.f;
  return r;
}

TPDFMatrix ToAbi(const Matrix& m) { return TPDFMatrix{m.a, m.b, m.c, m.d, m.e, m.f}; }

Matrix FromAbi(const TPDFMatrix& m) { return Matrix{m.a, m.b, m.c, m.d, m.e, m.f}; }

bool Inverted(const Matrix& m, Matrix& out) {
  const double det = m.a * m.d - m.b * m.c;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  Matrix r;
  r.a = m.d / det;
  r.b = -m.b / det;
  r.c = -m.c / det;
  r.d = m.a / det;
  r.e = -(m.e * r.a + m.f * r.c);
  r.f = -(m.e * r.b + m.f * r.d);
  for (double v : {r.a, r.b, r.c, r.d, r.e, r.f}) {
    if (!std::isfinite(v)) return false;
  }
  out = r;
  return true;
}

void Reporter::Once(const std::string& key, int32_t code, const std::string& message,
                    int32_t type) {
  // The key set stays small: keys name kinds of problems, not positions.
  constexpr size_t kMaxKeys = 256;
  if (reported_.count(key) != 0) return;
  if (reported_.size() >= kMaxKeys) {
    if (reported_.insert("\x01more").second) {
      sink_.Report(code, "Further problems in this content are not reported", type);
    }
    return;
  }
  reported_.insert(key);
  sink_.Report(code, message, type);
}

std::vector<double> InitialColor(const std::string& family, QPDFObjectHandle space) {
  if (family == "DeviceRGB" || family == "CalRGB") return {0, 0, 0};
  if (family == "DeviceCMYK") return {0, 0, 0, 1};
  if (family == "Lab") return {0, 0, 0};
  if (family == "Pattern") return {};
  if (family == "Separation") return {1.0};
  if (family == "DeviceN") {
    size_t count = 1;
    if (space.isArray() && space.getArrayNItems() > 1 && space.getArrayItem(1).isArray()) {
      count = static_cast<size_t>(space.getArrayItem(1).getArrayNItems());
    }
    return std::vector<double>(std::min<size_t>(std::max<size_t>(count, 1), 32), 1.0);
  }
  if (family == "ICCBased") {
    int n = 1;
    if (space.isArray() && space.getArrayNItems() > 1) {
      QPDFObjectHandle stream = space.getArrayItem(1);
      if (stream.isStream() && stream.getDict().getKey("/N").isInteger()) {
        n = stream.getDict().getKey("/N").getIntValueAsInt();
      }
    }
    if (n == 4) return {0, 0, 0, 1};
    return std::vector<double>(n == 3 ? 3 : 1, 0.0);
  }
  return {0.0};  // DeviceGray, CalGray, Indexed and anything unknown
}

}  // namespace pdfcore::content
