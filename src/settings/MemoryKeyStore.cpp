#include "settings/MemoryKeyStore.h"

#include "base/TextUtils.h"

namespace tavelune {

std::string WriteRefusedMessage(const std::string& valueName) {
  return "'" + valueName + "' の設定に失敗しました";
}

namespace {
// Paths compare without case and without a leading or doubled "\".
std::string FoldedPath(const std::string& path) {
  std::string folded;
  for (char c : AsciiLower(path)) {
    if (c == '\\' && (folded.empty() || folded.back() == '\\')) {
      continue;
    }
    folded += c;
  }
  if (!folded.empty() && folded.back() == '\\') {
    folded.pop_back();
  }
  return folded;
}
}  // namespace

class TMemoryKey final : public IStoreKey {
 public:
  TMemoryKey(TMemoryKeyStore& store, std::string path, bool writable)
      : FStore(store), FPath(std::move(path)), FWritable(writable) {}

  std::optional<TStoreValue> ReadValue(const std::string& name) override {
    auto key = FStore.FKeys.find(FPath);
    if (key == FStore.FKeys.end()) {
      return std::nullopt;
    }
    auto value = key->second.Values.find(AsciiLower(name));
    if (value == key->second.Values.end()) {
      return std::nullopt;
    }
    return value->second.second;
  }

  void WriteString(const std::string& name, const std::string& text) override {
    Write(name, {TValueKind::String, text.substr(0, text.find('\0')), 0});
  }

  void WriteInteger(const std::string& name, std::int32_t value) override {
    Write(name, {TValueKind::Integer, {}, value});
  }

 private:
  void Write(const std::string& name, TStoreValue value) {
    if (!FWritable || FStore.RefuseWrites || FStore.FKeys.count(FPath) == 0) {
      throw ERegistryError(WriteRefusedMessage(name));
    }
    FStore.FKeys[FPath].Values[AsciiLower(name)] = {name, std::move(value)};
  }

  TMemoryKeyStore& FStore;
  std::string FPath;
  bool FWritable;
};

std::unique_ptr<IStoreKey> TMemoryKeyStore::OpenKey(const std::string& path) {
  std::string folded = FoldedPath(path);
  if (FKeys.count(folded) == 0) {
    return nullptr;
  }
  return std::make_unique<TMemoryKey>(*this, folded, false);
}

std::unique_ptr<IStoreKey> TMemoryKeyStore::CreateKey(const std::string& path) {
  std::string folded = FoldedPath(path);
  if (folded.empty()) {
    return nullptr;
  }
  // Parents come into being with their child, as in the registry.
  for (std::size_t at = folded.find('\\'); at != std::string::npos;
       at = folded.find('\\', at + 1)) {
    FKeys[folded.substr(0, at)];
  }
  FKeys[folded];
  return std::make_unique<TMemoryKey>(*this, folded, true);
}

bool TMemoryKeyStore::DeleteKey(const std::string& path) {
  std::string folded = FoldedPath(path);
  if (folded.empty()) {
    return false;
  }
  for (auto it = FKeys.begin(); it != FKeys.end();) {
    bool inside = it->first == folded || it->first.rfind(folded + "\\", 0) == 0;
    it = inside ? FKeys.erase(it) : std::next(it);
  }
  return true;
}

}  // namespace tavelune
