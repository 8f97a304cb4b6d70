#include "content/content_cache.h"

#include <algorithm>

namespace pdfcore::content {

namespace {

// The categories the interpreter looks names up in.
constexpr const char* kReadCategories[] = {"/Font", "/ColorSpace", "/Pattern", "/XObject"};

// A dictionary's entries with indirect objects as references; a reference to a dictionary is
// followed once, so a shared /Font dictionary that gains an entry is seen too.
std::string Entries(QPDFObjectHandle object) {
  if (!object.isInitialized()) return "-";
  return object.isDictionary() ? object.unparseResolved() : object.unparse();
}

}  // namespace

std::string ResourceFingerprint(QPDFObjectHandle resources) {
  if (!resources.isInitialized() || !resources.isDictionary()) return "none";
  std::string out;
  for (const char* category : kReadCategories) {
    out += category;
    out += ' ';
    out += Entries(resources.getKey(category));
    out += '\n';
  }
  return out;
}

size_t RecordBytes(const TextShow& show) {
  size_t bytes = sizeof(TextShow) + show.pieces.capacity() * sizeof(ShownPiece);
  for (const ShownPiece& piece : show.pieces) bytes += piece.text.capacity() * sizeof(char16_t);
  bytes += show.wordSpacingText.capacity() + show.charSpacingText.capacity();
  bytes += (show.state.fill.components.capacity() + show.state.stroke.components.capacity()) *
           sizeof(double);
  return bytes;
}

size_t PassBytes(const ReadPass& pass) {
  size_t bytes = sizeof(ReadPass);
  for (const TextShow& show : pass.records) bytes += RecordBytes(show);
  return bytes;
}

ContentCache::Entry* ContentCache::Find(const Key& key) {
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.owner == key.owner && entry.data == key.data && entry.resources == key.resources;
  });
  if (found == entries_.end()) return nullptr;
  std::rotate(found, found + 1, entries_.end());
  return &entries_.back();
}

ContentCache::Entry& ContentCache::Make(const Key& key) {
  if (Entry* entry = Find(key)) return *entry;
  Forget(key.owner);  // one state per content: an older one won't be read again
  Entry entry;
  entry.owner = key.owner;
  entry.data.assign(key.data);
  entry.resources.assign(key.resources);
  entry.bytes = sizeof(Entry) + entry.data.size() + entry.resources.size();
  bytes_ += entry.bytes;
  entries_.push_back(std::move(entry));
  return entries_.back();
}

void ContentCache::Trim() {
  // Oldest first. No entry takes more than half the budget, so the newest always stays.
  while (!entries_.empty() && (entries_.size() > kMaxEntries || bytes_ > kMaxBytes)) {
    bytes_ -= entries_.front().bytes;
    entries_.erase(entries_.begin());
  }
}

std::shared_ptr<const ReadPass> ContentCache::Pass(const Key& key) {
  Entry* entry = Find(key);
  return entry != nullptr ? entry->pass : nullptr;
}

std::optional<std::vector<QPDFObjectHandle>> ContentCache::UsedTemplates(const Key& key) {
  Entry* entry = Find(key);
  if (entry == nullptr) return std::nullopt;
  return entry->usedTemplates;
}

void ContentCache::KeepPass(const Key& key, std::shared_ptr<const ReadPass> pass) {
  const size_t passBytes = PassBytes(*pass);
  if (passBytes + key.data.size() > kMaxBytes / 2) return;  // would push out all the rest
  Entry& entry = Make(key);
  if (entry.pass) return;
  entry.pass = std::move(pass);
  entry.bytes += passBytes;
  bytes_ += passBytes;
  Trim();
}

void ContentCache::KeepUsedTemplates(const Key& key, std::vector<QPDFObjectHandle> forms) {
  if (key.data.size() > kMaxBytes / 2) return;
  Entry& entry = Make(key);
  const size_t formBytes = forms.size() * sizeof(QPDFObjectHandle);
  if (entry.usedTemplates) return;
  entry.usedTemplates = std::move(forms);
  entry.bytes += formBytes;
  bytes_ += formBytes;
  Trim();
}

void ContentCache::Forget(QPDFObjGen owner) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->owner == owner) {
      bytes_ -= it->bytes;
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace pdfcore::content
