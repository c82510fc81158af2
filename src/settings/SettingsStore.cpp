#include "settings/SettingsStore.h"

#include <cstdio>

#include "base/ProcessUtils.h"
#include "base/TextUtils.h"

namespace tavelune {

namespace {

// A read that ends a block: an integer missing or of another type, a
// string of another type.
struct EReadFailed {};

std::int32_t ReadInteger(IStoreKey& key, const char* name) {
  std::optional<TStoreValue> value = key.ReadValue(name);
  if (!value || value->Kind != TValueKind::Integer) {
    throw EReadFailed{};
  }
  return value->Number;
}

// Booleans are stored as 0 and 1; only the lowest 8 bits count.
bool ReadBool(IStoreKey& key, const char* name) {
  return (ReadInteger(key, name) & 0xFF) != 0;
}

// A missing string reads as empty; expandable strings are taken unexpanded.
std::string ReadString(IStoreKey& key, const char* name) {
  std::optional<TStoreValue> value = key.ReadValue(name);
  if (!value) {
    return {};
  }
  if (value->Kind != TValueKind::String && value->Kind != TValueKind::ExpandString) {
    throw EReadFailed{};
  }
  return value->Text;
}

// An extended setting: read on its own, so that its absence (every store
// written before it existed) or a value of another type ends nothing.
std::optional<bool> ReadOptionalBool(IStoreKey& key, const char* name) {
  try {
    return ReadBool(key, name);
  } catch (const EReadFailed&) {
    return std::nullopt;
  }
}

std::string EntryName(int position) {
  char name[16];
  std::snprintf(name, sizeof name, "%4.4d", position);
  return name;
}

constexpr int kMaxListEntries = 10000;

// Reads "0000", "0001", ... until a missing or blank entry (or a value of
// another type), handing each entry to `add` untrimmed. `afterEntry` runs
// after each position and may stop the loop by returning false.
void ReadList(IStoreKey& key, const std::function<void(const std::string&)>& add,
              const std::function<bool()>& afterEntry) {
  std::string text = "-";  // not blank, so the loop starts
  try {
    for (int position = 0; position < kMaxListEntries && !TrimControl(text).empty(); ++position) {
      text = ReadString(key, EntryName(position).c_str());
      if (!TrimControl(text).empty()) {
        add(text);
      }
      if (!afterEntry()) {
        break;
      }
    }
  } catch (const EReadFailed&) {
    // what was read stays
  }
}

}  // namespace

void ReadSaverSettings(IKeyStore& store, TSaverSettings& settings, const std::atomic<bool>& stop,
                       const TRandomBelow& randomBelow) {
  if (auto key = store.OpenKey(kSettingsKey)) {
    try {
      settings.DrawPosition = ReadInteger(*key, "Draw Posision");
      settings.GraphicsSize = ReadInteger(*key, "Graphics Size");
      settings.ScreenClear = ReadBool(*key, "Screen Clear");
      settings.PointCast = ReadString(*key, "Point Cast");
      settings.RandomSort = ReadBool(*key, "Random Sort");
      settings.Rotate = ReadBool(*key, "Rotate");
      settings.Capture = ReadBool(*key, "Capture");
      settings.DispFileName = ReadBool(*key, "DispFileName");
      settings.BackColor = static_cast<std::uint32_t>(ReadInteger(*key, "BackColor"));
      settings.DrawWait = std::min(ReadInteger(*key, "Draw Wait"), 59);
      settings.LogFile = ReadString(*key, "LogFile");
      settings.PreviewRandom = ReadBool(*key, "PreviewRandom");
      if (!settings.PreviewRandom) {
        settings.PreviewSeconds = ReadInteger(*key, "PreViewSeconds");
        settings.PreviewMin = ReadInteger(*key, "PreViewMin");
        settings.PreviewMax = ReadInteger(*key, "PreViewMax");
      } else {
        settings.PreviewSeconds = randomBelow(1200);
        settings.PreviewMin = randomBelow(30);
        settings.PreviewMax = settings.PreviewMin + randomBelow(70);
      }
    } catch (const EReadFailed&) {
      // The block ends here: the rest keep their defaults.
    }
    settings.SkipBlank = ReadOptionalBool(*key, kSkipBlankValue).value_or(false);
    settings.RememberShown = ReadOptionalBool(*key, kRememberShownValue).value_or(false);
  }
  // The lists may be long: let input that ends the run be seen meanwhile,
  // at most every 2 ms (a pass of the messages per entry would cost ten
  // thousand folders seconds).
  auto afterEntry = [&] {
    YieldToMessagesIfDue();
    return !stop;
  };
  if (stop) {
    return;
  }
  if (auto folders = store.OpenKey(kFoldersKey)) {
    ReadList(
        *folders, [&](const std::string& e) { settings.FolderList.push_back(e); }, afterEntry);
  }
  if (auto exts = store.OpenKey(kExtsKey); exts && !stop) {
    ReadList(
        *exts, [&](const std::string& e) { settings.ExtensionList.push_back(e); }, afterEntry);
  }
}

namespace {

// A guarded read: its failure hands over `fallback` and the block goes on.
template <typename T, typename Read>
T Guarded(Read read, T fallback) {
  try {
    return read();
  } catch (const EReadFailed&) {
    return fallback;
  }
}

std::int32_t PointCastIndex(const std::string& stored, const std::vector<std::string>& paths) {
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (SameTextAscii(paths[i], stored)) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

}  // namespace

void ReadDialogSettings(IKeyStore& store, ISettingsReceiver& receiver,
                        const std::vector<std::string>& saverPaths) {
  if (auto key = store.OpenKey(kSettingsKey)) {
    try {
      receiver.SetLogFile(ReadString(*key, "LogFile"));
      receiver.SetDrawPosition(ReadInteger(*key, "Draw Posision"));
      receiver.SetGraphicsSize(ReadInteger(*key, "Graphics Size"));
      receiver.SetScreenClear(ReadBool(*key, "Screen Clear"));
      receiver.SetPointCast(PointCastIndex(ReadString(*key, "Point Cast"), saverPaths));
      receiver.SetRandomSort(ReadBool(*key, "Random Sort"));
      receiver.SetRotate(Guarded([&] { return ReadBool(*key, "Rotate"); }, false));
      receiver.SetCapture(Guarded([&] { return ReadBool(*key, "Capture"); }, true));
      receiver.SetDispFileName(Guarded([&] { return ReadBool(*key, "DispFileName"); }, false));
      receiver.SetBackColor(
          Guarded([&] { return static_cast<std::uint32_t>(ReadInteger(*key, "BackColor")); },
                  std::uint32_t{0x80000001}));
      receiver.SetDrawWait(ReadInteger(*key, "Draw Wait"));
      receiver.SetPreviewRandom(ReadBool(*key, "PreviewRandom"));
      receiver.SetPreviewSeconds(ReadInteger(*key, "PreViewSeconds"));
      receiver.SetPreviewMin(ReadInteger(*key, "PreViewMin"));
      receiver.SetPreviewMax(ReadInteger(*key, "PreViewMax"));
      receiver.Complete();
    } catch (const EReadFailed&) {
      // Not handed over: the dialog's controls keep their designed state.
    }
    if (std::optional<bool> skip = ReadOptionalBool(*key, kSkipBlankValue)) {
      receiver.SetSkipBlank(*skip);
    }
    if (std::optional<bool> remember = ReadOptionalBool(*key, kRememberShownValue)) {
      receiver.SetRememberShown(*remember);
    }
  }
  auto always = [] { return true; };
  if (auto folders = store.OpenKey(kFoldersKey)) {
    ReadList(
        *folders, [&](const std::string& e) { receiver.AddFolder(e); }, always);
  }
  if (auto exts = store.OpenKey(kExtsKey)) {
    receiver.ClearExtensions();
    ReadList(
        *exts, [&](const std::string& e) { receiver.AddExtension(e); }, always);
  }
}

namespace {

void WriteList(IKeyStore& store, const char* path, const std::vector<std::string>& entries) {
  store.DeleteKey(path);
  auto key = store.CreateKey(path);
  if (!key) {
    // Saying nothing would report a lost list as saved.
    throw ERegistryError(WriteRefusedMessage(path));
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    key->WriteString(EntryName(static_cast<int>(i)), entries[i]);
  }
  key->Flush();
}

std::int32_t AsStoredNumber(const std::string& text, std::int32_t fallback) {
  std::optional<std::int64_t> value = ParseInteger(text);
  return value && *value >= INT32_MIN && *value <= INT32_MAX ? static_cast<std::int32_t>(*value)
                                                             : fallback;
}

}  // namespace

void WriteSettings(IKeyStore& store, const TSaverSettings& settings, const TDialogTexts& texts) {
  // The wait field holds at most two digits: its first two characters count.
  // It is converted before anything is written, so that a text that does
  // not convert leaves the stored settings as they were rather than half
  // replaced.
  const std::string wait = TrimControl(texts.DrawWait).substr(0, 2);
  const std::optional<std::int64_t> seconds = ParseInteger(wait);
  if (!seconds) {
    throw EConvertError("'" + wait + "' is not a valid integer value");
  }
  auto key = store.CreateKey(kSettingsKey);
  if (!key) {
    // A store that cannot be written at all: say so before touching the
    // lists, rather than report a save that wrote nothing.
    throw ERegistryError(WriteRefusedMessage(kSettingsKey));
  }
  key->WriteInteger("Draw Posision", settings.DrawPosition);
  key->WriteInteger("Graphics Size", settings.GraphicsSize);
  key->WriteInteger("Screen Clear", settings.ScreenClear ? 1 : 0);
  if (texts.PointCast) {
    key->WriteString("Point Cast", *texts.PointCast);
  }
  key->WriteInteger("Random Sort", settings.RandomSort ? 1 : 0);
  key->WriteInteger("Rotate", settings.Rotate ? 1 : 0);
  key->WriteInteger("Capture", settings.Capture ? 1 : 0);
  key->WriteInteger("DispFileName", settings.DispFileName ? 1 : 0);
  key->WriteInteger("Draw Wait", static_cast<std::int32_t>(*seconds));
  key->WriteString("RootPath", texts.RootPath);
  key->WriteInteger("BackColor", static_cast<std::int32_t>(settings.BackColor));
  key->WriteString("LogFile", settings.LogFile);
  key->WriteInteger("PreViewSeconds", AsStoredNumber(texts.PreviewSeconds, 60));
  key->WriteInteger("PreViewMin", AsStoredNumber(texts.PreviewMin, 10));
  key->WriteInteger("PreViewMax", AsStoredNumber(texts.PreviewMax, 30));
  key->WriteInteger("PreviewRandom", settings.PreviewRandom ? 1 : 0);
  key->WriteInteger(kSkipBlankValue, settings.SkipBlank ? 1 : 0);
  key->WriteInteger(kRememberShownValue, settings.RememberShown ? 1 : 0);
  key->Flush();
  WriteList(store, kFoldersKey, settings.FolderList);
  WriteList(store, kExtsKey, settings.ExtensionList);
}

}  // namespace tavelune
