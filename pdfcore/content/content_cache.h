// What one document remembers about its contents between openings.
//
// The engine opens a page again for every search and every replacement, and each opening reads
// the page from its first operator. Reading the same bytes under the same resources always gives
// the same text records, so the records of a complete, clean pass are kept here and handed to
// the next opening of that content instead of interpreting it again. An entry is only used
// when the content's bytes and the resource entries it reads are exactly those it was made
// from; storing new content drops it. Only a few recent contents are kept, within a byte budget.
//
// It also knows the content streams the library wrote itself: those belong to one page only,
// so storing that page again replaces their data instead of leaving a dead stream behind.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "content/interpreter.h"

namespace pdfcore::content {

// What a complete pass over a content that reported no problem found.
struct ReadPass {
  std::vector<TextShow> records;
  size_t openSaves = 0;           // q left open at the end
  bool endsInTextObject = false;  // a BT left open at the end
  bool endsComplete = true;       // no unterminated token runs into the end
};

// The resource entries that decide how a content reads (fonts, colour spaces, patterns, forms),
// written out so that two states can be compared.
std::string ResourceFingerprint(QPDFObjectHandle resources);

// Rough heap size of a record, for the cache's budget.
size_t RecordBytes(const TextShow& show);
size_t PassBytes(const ReadPass& pass);

class ContentCache {
 public:
  // What a content was read from: the page or form, its bytes and its resource fingerprint.
  struct Key {
    QPDFObjGen owner;
    std::string_view data;
    std::string_view resources;
  };

  static constexpr size_t kMaxEntries = 16;
  static constexpr size_t kMaxBytes = size_t{16} << 20;

  // The complete pass over exactly this content; null when none is kept.
  std::shared_ptr<const ReadPass> Pass(const Key& key);
  // The form XObjects this content draws, in order of first use; nothing when not kept.
  std::optional<std::vector<QPDFObjectHandle>> UsedTemplates(const Key& key);

  void KeepPass(const Key& key, std::shared_ptr<const ReadPass> pass);
  void KeepUsedTemplates(const Key& key, std::vector<QPDFObjectHandle> forms);

  // New content was stored for `owner`: what was kept for it no longer holds.
  void Forget(QPDFObjGen owner);

  // Streams whose decoded data passed the content size limit: a compression bomb is
  // inflated once per document, not at every opening of its page.
  bool IsOversized(QPDFObjGen stream) const { return oversized_.count(stream) != 0; }
  void KeepOversized(QPDFObjGen stream) { oversized_.insert(stream); }
  void DataReplaced(QPDFObjGen stream) { oversized_.erase(stream); }

  // Content streams made by the library for one page.
  bool IsOwnStream(QPDFObjGen stream) const { return ownStreams_.count(stream) != 0; }
  void AddOwnStream(QPDFObjGen stream) { ownStreams_.insert(stream); }

 private:
  struct Entry {
    QPDFObjGen owner;
    std::string data;
    std::string resources;
    std::shared_ptr<const ReadPass> pass;
    std::optional<std::vector<QPDFObjectHandle>> usedTemplates;
    size_t bytes = 0;
  };

  // The entry for exactly this content, moved to the most recent place; null when none.
  Entry* Find(const Key& key);
  // The entry for exactly this content, made (replacing an older one of the owner) if needed.
  Entry& Make(const Key& key);
  void Trim();

  std::vector<Entry> entries_;  // least recently used first
  size_t bytes_ = 0;
  std::set<QPDFObjGen> ownStreams_;
  std::set<QPDFObjGen> oversized_;
};

}  // namespace pdfcore::content
