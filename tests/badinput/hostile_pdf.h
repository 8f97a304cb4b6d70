// Builds PDF files byte by byte, so a test can make structures that no writer would produce
// (loops, absurd sizes, self-drawing forms) with a correct cross-reference table.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace badinput {

class RawPdf {
 public:
  // Adds the next object (numbered from 1) with its body between "obj" and "endobj".
  int Add(std::string body) {
    bodies_.push_back(std::move(body));
    return static_cast<int>(bodies_.size());
  }
  // Adds a stream object: `dict` without the length (it is added here) and its bytes.
  int AddStream(const std::string& dict, const std::string& data) {
    return Add("<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
               "\nendstream");
  }
  void Set(int number, std::string body) { bodies_.at(static_cast<size_t>(number - 1)) = body; }
  int Reserve() { return Add("null"); }

  // The file, with object `root` as the catalog.
  std::string Bytes(int root) const {
    std::string out = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies_.size(); ++i) {
      offsets.push_back(out.size());
      out += std::to_string(i + 1) + " 0 obj\n" + bodies_[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies_.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
      char entry[21];
      std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
      out += entry;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies_.size() + 1) + " /Root " +
           std::to_string(root) + " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

 private:
  std::vector<std::string> bodies_;
};

inline std::string Ref(int number) { return std::to_string(number) + " 0 R"; }

}  // namespace badinput
