#include "ports/regfile/RegFileKeyStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "base/ProcessUtils.h"
#include "platform/ByteFile.h"
#include "settings/RegFile.h"
#include "settings/UserKeyStore.h"

namespace tavelune {

namespace {

// A settings file larger than this is nobody's settings: it is not read.
constexpr std::uint64_t kMaxSettingsBytes = 16 * 1024 * 1024;

// The writers' lock: an exclusive advisory lock on the file's companion
// "<file>.lock", created with the file's folder when needed, held for the
// lock's life.
class TWriterLock {
 public:
  explicit TWriterLock(const std::string& fileName) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(fileName).parent_path(), ignored);
    FFd = ::open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd >= 0) {
      while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~TWriterLock() {
    if (FFd >= 0) {
      ::close(FFd);
    }
  }
  TWriterLock(const TWriterLock&) = delete;
  TWriterLock& operator=(const TWriterLock&) = delete;

 private:
  int FFd = -1;
};

// A reader's shared lock on "<file>.lock", taken only when the lock file is
// there (a reader creates nothing) and only while `waitLeft` lasts; the wait
// handles the UI thread's messages and uses up `waitLeft`.
class TReaderLock {
 public:
  TReaderLock(const std::string& fileName, std::chrono::steady_clock::duration& waitLeft) {
    FFd = ::open((fileName + ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (FFd < 0) {
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    while (::flock(FFd, LOCK_SH | LOCK_NB) != 0) {
      const auto waited = std::chrono::steady_clock::now() - start;
      if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= waitLeft) {
        waitLeft = std::chrono::steady_clock::duration::zero();
        return;  // read without the lock
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      YieldToMessages();
    }
    waitLeft -= std::min(waitLeft, std::chrono::steady_clock::now() - start);
  }
  ~TReaderLock() {
    if (FFd >= 0) {
      ::close(FFd);
    }
  }
  TReaderLock(const TReaderLock&) = delete;
  TReaderLock& operator=(const TReaderLock&) = delete;

 private:
  int FFd = -1;
};

// The file as parsed, or an empty store when it does not exist; nullopt
// (with `problem` saying why) when it exists but is no settings file that
// can be read: not a regular file (a folder, a FIFO, a device), larger
// than any settings file, or unreadable. Nothing here waits.
std::optional<TRegFile> Load(const std::string& fileName, std::string& problem) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return TRegFile{};
    }
    problem = fileName + " cannot be read: " + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = fileName + " is not a regular file";
    return std::nullopt;
  }
  // The size of what was opened: a save may have renamed a new file in.
  platform::TByteFile file;
  const bool opened = file.Open(fileName, platform::TShareMode::DenyWrite);
  const std::uint64_t size = opened ? file.Size() : 0;
  if (size > kMaxSettingsBytes) {
    problem = fileName + " is too large for a settings file (" + std::to_string(size) + " bytes)";
    return std::nullopt;
  }
  std::string text(size, '\0');
  if (!opened || !file.ReadAt(0, text.data(), text.size())) {
    problem = fileName + " cannot be read";
    return std::nullopt;
  }
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

// Applies `change` to the file under the exclusive lock; false when it
// could not be saved. A file that exists but cannot be read is not
// replaced: whatever it holds is not lost to a save.
bool Change(const std::string& fileName, const std::function<void(TRegFile&)>& change) {
  TWriterLock lock(fileName);
  std::string problem;
  std::optional<TRegFile> file = Load(fileName, problem);
  if (!file) {
    return false;
  }
  change(*file);
  return Save(fileName, *file);
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
  std::optional<TRegFile> file;
  std::string problem;
  {
    TReaderLock lock(FFileName, FLockWaitLeft);
    file = Load(FFileName, problem);
  }
  if (!file) {
    if (FReadProblem.empty()) {
      FReadProblem = problem + "; the settings are not read";
    }
    return nullptr;
  }
  if (!file->HasKey(path)) {
    return nullptr;
  }
  return std::make_unique<TRegFileKey>(*this, path, std::move(*file), false);
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
