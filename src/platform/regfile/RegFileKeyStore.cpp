#include "platform/regfile/RegFileKeyStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "platform/UserKeyStore.h"
#include "platform/regfile/RegFile.h"

namespace tavelune {

namespace {

// Holds an advisory lock on the file's companion "<file>.lock" for its life.
class TFileLock {
 public:
  TFileLock(const std::string& fileName, bool exclusive) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(fileName).parent_path(), ignored);
    FFd = ::open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd >= 0) {
      while (::flock(FFd, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ~TFileLock() {
    if (FFd >= 0) {
      ::close(FFd);
    }
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  int FFd = -1;
};

TRegFile Load(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return TRegFile::Parse(text);
}

// Replaces the file atomically; false when it could not be written.
bool Save(const std::string& fileName, const TRegFile& file) {
  std::string temporary = fileName + ".tmp-" + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  std::string text = file.Serialize();
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), fileName.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

// Applies `change` to the file under the exclusive lock.
bool Change(const std::string& fileName, const std::function<void(TRegFile&)>& change) {
  TFileLock lock(fileName, true);
  TRegFile file = Load(fileName);
  change(file);
  return Save(fileName, file);
}

}  // namespace

// A key of the file. Reads come from the file as it was when the key was
// opened, plus the key's own writes; the writes are saved in one batch by
// Flush (or when the key closes), so writing ten thousand list entries
// rewrites the file once, not ten thousand times.
class TRegFileKey final : public IStoreKey {
 public:
  TRegFileKey(TRegFileKeyStore& store, std::string path, TRegFile snapshot, bool writable)
      : FStore(store),
        FPath(std::move(path)),
        FSnapshot(std::move(snapshot)),
        FWritable(writable) {}

  ~TRegFileKey() override {
    try {
      Flush();
    } catch (const ERegistryError&) {
      // Nobody is left to tell; writers flush before they close.
    }
  }
  TRegFileKey(const TRegFileKey&) = delete;
  TRegFileKey& operator=(const TRegFileKey&) = delete;

  std::optional<TStoreValue> ReadValue(const std::string& name) override {
    return FSnapshot.ReadValue(FPath, name);
  }

  void WriteString(const std::string& name, const std::string& text) override {
    Write(name, {TValueKind::String, text.substr(0, text.find('\0')), 0});
  }

  void WriteInteger(const std::string& name, std::int32_t value) override {
    Write(name, {TValueKind::Integer, {}, value});
  }

  void Flush() override {
    if (FPending.empty()) {
      return;
    }
    std::vector<std::pair<std::string, TStoreValue>> pending;
    pending.swap(FPending);
    bool saved = Change(FStore.FFileName, [&](TRegFile& file) {
      file.CreateKey(FPath);  // it may have been deleted meanwhile
      for (const auto& [name, value] : pending) {
        file.WriteValue(FPath, name, value);
      }
    });
    if (!saved) {
      throw ERegistryError(WriteRefusedMessage(pending.front().first));
    }
  }

 private:
  void Write(const std::string& name, const TStoreValue& value) {
    if (!FWritable) {
      throw ERegistryError(WriteRefusedMessage(name));
    }
    FSnapshot.WriteValue(FPath, name, value);
    FPending.emplace_back(name, value);
  }

  TRegFileKeyStore& FStore;
  std::string FPath;
  TRegFile FSnapshot;
  bool FWritable;
  std::vector<std::pair<std::string, TStoreValue>> FPending;
};

TRegFileKeyStore::TRegFileKeyStore(std::string fileName) : FFileName(std::move(fileName)) {}

std::string TRegFileKeyStore::DefaultFileName() {
  if (const char* file = std::getenv("TAVELUNE_SETTINGS"); file != nullptr && *file) {
    return file;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config) {
    return std::string(config) + "/tavelune/settings.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/tavelune/settings.reg";
}

std::unique_ptr<IStoreKey> TRegFileKeyStore::OpenKey(const std::string& path) {
  TRegFile file;
  {
    TFileLock lock(FFileName, false);
    file = Load(FFileName);
  }
  if (!file.HasKey(path)) {
    return nullptr;
  }
  return std::make_unique<TRegFileKey>(*this, path, std::move(file), false);
}

std::unique_ptr<IStoreKey> TRegFileKeyStore::CreateKey(const std::string& path) {
  TRegFile snapshot;
  bool saved = Change(FFileName, [&](TRegFile& file) {
    file.CreateKey(path);
    snapshot = file;
  });
  if (!saved) {
    return nullptr;
  }
  return std::make_unique<TRegFileKey>(*this, path, std::move(snapshot), true);
}

bool TRegFileKeyStore::DeleteKey(const std::string& path) {
  return Change(FFileName, [&](TRegFile& file) { file.DeleteKey(path); });
}

}  // namespace tavelune

namespace tavelune::platform {

std::unique_ptr<IKeyStore> OpenUserKeyStore() {
  return std::make_unique<TRegFileKeyStore>(TRegFileKeyStore::DefaultFileName());
}

}  // namespace tavelune::platform
