// The settings dialog's sub-folder walk on Win32 (under Wine or Windows): the
// real window, its CheckSub box checked, adds a folder (the chooser answering
// at once) over a large tree: 200 folders of 100 sub-folders each, and one
// chain of folders as deep as the anchors can follow.
//
// Anchors, in the same process and alternating with the walk round by round:
//   - `cmd /c dir /s /b /ad TREE > NUL`, started and waited for;
//   - a plain recursive FindFirstFileW / FindNextFileW walk over folders.
// Prints the medians and the ratios walk / dir and walk / FindFirstFileW,
// and the longest time the dialog went without handling its messages during
// its walks: a thread timer asked for every 1 ms (the system makes that its
// shortest period, 10 ms on Windows and Wine) is watched, and its idle period
// is printed beside it for reference. Every folder of the tree must be
// listed by every walk; the program fails otherwise.
//
// The chain: Wine's cmd (8.0) gives up on `dir /s` at names longer than 126
// characters (it lists the same folders again until its stack overflows),
// and the dialog lists no folder whose name reaches the path limit
// (MAX_PATH, 260): 200 levels of "\d" cannot be walked on this platform. It
// is made as deep as names of up to 126 characters allow (40 levels in the
// temporary folder of bench/compare_dialog_windows), unless DEPTH tells
// otherwise. The dir times include cmd's own start, printed beside them.
//
// Usage: dialog_walk_bench FOLDER [ROUNDS [DEPTH]]   (FOLDER:
// where the tree is made; ROUNDS: 3 unless told)

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <unordered_set>
#include <vector>

#include "frontends/win32/Win32ControlForm.h"
#include "ports/win32/Win32Text.h"
#include "settings/MemoryKeyStore.h"

namespace {

using namespace tavelune;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

[[noreturn]] void Fail(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fputs("dialog_walk_bench: FAILED: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::exit(1);
}

std::string Narrow(const std::wstring& wide) {
  return platform::SystemText(wide);
}

// A chain told to go deeper than the path limit can only be made and
// removed by the long form of its names.
std::wstring LongName(const std::wstring& path) {
  return L"\\\\?\\" + path;
}

void MakeFolder(const std::wstring& path) {
  if (!::CreateDirectoryW(LongName(path).c_str(), nullptr)) {
    Fail("cannot make %s (error %lu)", Narrow(path).c_str(), ::GetLastError());
  }
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW(LongName(path + L"\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") {
        continue;
      }
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(path + L"\\" + name);
      } else {
        ::DeleteFileW(LongName(path + L"\\" + name).c_str());
      }
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(LongName(path).c_str());
}

// The longest name of a folder that every walk compared here follows.
constexpr std::size_t kLongestName = 126;

// Makes the tree under `root` (which must not exist) and returns every
// folder below it as the dialog lists them: full name, trailing delimiter.
std::vector<std::wstring> MakeTree(const std::wstring& root, int depth) {
  std::vector<std::wstring> folders;
  MakeFolder(root);
  for (int i = 0; i < 200; ++i) {
    const std::wstring group = root + L"\\g" + std::to_wstring(i);
    MakeFolder(group);
    folders.push_back(group + L"\\");
    for (int j = 0; j < 100; ++j) {
      const std::wstring folder = group + L"\\f" + std::to_wstring(j);
      MakeFolder(folder);
      folders.push_back(folder + L"\\");
    }
  }
  std::wstring deep = root + L"\\deep";
  MakeFolder(deep);
  folders.push_back(deep + L"\\");
  for (int level = 0; level < depth; ++level) {
    deep += L"\\d";
    MakeFolder(deep);
    folders.push_back(deep + L"\\");
  }
  return folders;
}

// ---- The anchors -----------------------------------------------------------

// Runs cmd with `arguments` and waits for it to end; its exit code must be 0.
double TimeCmd(const std::wstring& arguments) {
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  std::wstring line = L"cmd " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const auto start = Clock::now();
  if (!::CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    Fail("cannot start %s (error %lu)", Narrow(cmd).c_str(), ::GetLastError());
  }
  // A cmd that cannot follow the tree may never end.
  if (::WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 1);
    Fail("%s did not end within 120 s", Narrow(line).c_str());
  }
  const double elapsed = Ms(Clock::now() - start);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (code != 0) {
    Fail("%s exited with %lu", Narrow(line).c_str(), code);
  }
  return elapsed;
}

double TimeDir(const std::wstring& root) {
  return TimeCmd(L"/c dir /s /b /ad \"" + root + L"\" > NUL");
}

// The folders below `folder`, counted by the plainest walk there is.
std::size_t CountFolders(const std::wstring& folder) {
  std::size_t count = 0;
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    return 0;
  }
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) {
      count += 1 + CountFolders(folder + L"\\" + data.cFileName);
    }
  } while (::FindNextFileW(search, &data));
  ::FindClose(search);
  return count;
}

double TimeFindFirstFile(const std::wstring& root, std::size_t expected) {
  const auto start = Clock::now();
  const std::size_t found = CountFolders(root);
  const double elapsed = Ms(Clock::now() - start);
  if (found != expected) {
    Fail("the FindFirstFileW walk found %zu folders of %zu", found, expected);
  }
  return elapsed;
}

// ---- The dialog --------------------------------------------------------------

// The heartbeat: a thread timer, whose callback runs only when the thread
// handles its messages.
Clock::time_point gLastBeat;
Clock::duration gLongestGap{};

void CALLBACK Beat(HWND, UINT, UINT_PTR, DWORD) {
  const Clock::time_point now = Clock::now();
  gLongestGap = std::max(gLongestGap, now - gLastBeat);
  gLastBeat = now;
}

class THeartbeat {
 public:
  THeartbeat() {
    gLastBeat = Clock::now();
    gLongestGap = {};
    FTimer = ::SetTimer(nullptr, 0, 1, &Beat);
    if (FTimer == 0) {
      Fail("SetTimer failed (error %lu)", ::GetLastError());
    }
  }
  ~THeartbeat() { ::KillTimer(nullptr, FTimer); }
  THeartbeat(const THeartbeat&) = delete;
  THeartbeat& operator=(const THeartbeat&) = delete;

  // The longest gap so far, the time since the last beat included.
  Clock::duration Longest() const { return std::max(gLongestGap, Clock::now() - gLastBeat); }

 private:
  UINT_PTR FTimer = 0;
};

// Handles every message waiting. A dialog taken down posts the end of the
// message loop, which is not for this loop: it is dropped.
void Drain() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message != WM_QUIT) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

// Handles messages as an idle message loop does, for `duration`.
void Pump(Clock::duration duration) {
  const Clock::time_point end = Clock::now() + duration;
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
    Drain();
  }
}

// The dialog with its folder chooser answering at once.
class TBenchForm : public platform::TWin32ControlForm {
 public:
  TBenchForm(TControlFormServices services, std::string folder)
      : TWin32ControlForm(std::move(services)), FFolder(std::move(folder)) {}

 protected:
  std::optional<std::string> RunFolderDialog() override { return FFolder; }

 private:
  std::string FFolder;
};

struct TWalk {
  double Ms = 0;
  double HandlerMs = 0;  // of it, the form's handler (the rest: state to and from the controls)
  double LongestGapMs = 0;
  double IdleGapMs = 0;  // the timer's longest gap while the dialog waited idle
  std::string Problem;   // what the walk failed to list; empty when it listed everything
};

TWalk WalkOnce(const std::string& root, const std::vector<std::wstring>& expected) {
  TMemoryKeyStore store;
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring folder = program;
  folder.resize(folder.rfind(L'\\') + 1);
  TBenchForm dialog(
      TControlFormServices{store, TScreenSaverSetup{}, Narrow(program), Narrow(folder), "", ""},
      root);
  if (!dialog.Start()) {
    Fail("the dialog's window could not be made");
  }
  // On the folders' page, as when the user adds a folder there.
  dialog.Run([&dialog] { dialog.Form().ActivePage = TControlPage::FoldersPage; });
  TWalk walk;
  {
    // Shown, painted and idle before the walk starts.
    THeartbeat heartbeat;
    Pump(std::chrono::milliseconds(300));
    walk.IdleGapMs = Ms(heartbeat.Longest());
  }
  const std::vector<std::string> before = dialog.Form().FolderList.Items;
  if (!before.empty()) {
    Fail("the folder list is not empty before the walk (%zu entries)", before.size());
  }
  ::SendMessageW(dialog.Control("CheckSub"), BM_SETCHECK, BST_CHECKED, 0);
  {
    THeartbeat heartbeat;
    const auto start = Clock::now();
    dialog.Run([&dialog, &walk] {
      const auto handlerStart = Clock::now();
      dialog.Form().BtnAddClick();
      walk.HandlerMs = Ms(Clock::now() - handlerStart);
    });
    walk.Ms = Ms(Clock::now() - start);
    walk.LongestGapMs = Ms(heartbeat.Longest());
  }

  // The chosen folder, then every folder below it, each once.
  const std::vector<std::string>& items = dialog.Form().FolderList.Items;
  const std::unordered_set<std::string> listed(items.begin(), items.end());
  const auto shown =
      static_cast<std::size_t>(::SendMessageW(dialog.Control("FolderList"), LB_GETCOUNT, 0, 0));
  std::size_t missing = 0;
  std::string first;
  for (const std::wstring& name : expected) {
    if (listed.count(Narrow(name)) == 0 && missing++ == 0) {
      first = Narrow(name);
    }
  }
  if (missing != 0 || listed.count(root) == 0 || items.size() != expected.size() + 1 ||
      listed.size() != items.size() || shown != items.size()) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "the walk listed %zu entries (%zu distinct, %zu in the list box) for %zu "
                  "folders; %zu folders missing",
                  items.size(), listed.size(), shown, expected.size() + 1, missing);
    walk.Problem = text;
    if (!first.empty()) {
      walk.Problem += ", the first (" + std::to_string(first.size()) + " characters): " + first;
    }
  }
  return walk;
}

std::vector<std::wstring> Arguments() {
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> args(words + 1, words + count);
  ::LocalFree(words);
  return args;
}

}  // namespace

int main() {
  std::vector<std::wstring> args = Arguments();
  if (args.empty() || args.size() > 3) {
    std::fprintf(stderr, "usage: dialog_walk_bench FOLDER [ROUNDS [DEPTH]]\n");
    return 2;
  }
  const int rounds = args.size() > 1 ? std::max(1, std::stoi(args[1])) : 3;
  std::wstring base = args[0];
  while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) {
    base.pop_back();
  }
  const std::wstring root = base + L"\\tavelune-bench-walk";
  const std::size_t chainStart = root.size() + std::wcslen(L"\\deep");
  const int fitting =
      chainStart < kLongestName ? static_cast<int>((kLongestName - chainStart) / 2) : 0;
  const int depth = args.size() > 2 ? std::stoi(args[2]) : std::min(200, fitting);
  RemoveTree(root);
  const auto making = Clock::now();
  const std::vector<std::wstring> expected = MakeTree(root, depth);
  std::printf(
      "made %zu folders (200 x 100, and a chain %d deep whose last name has %zu characters) "
      "in %.0f ms\n",
      expected.size(), depth, expected.back().size() - 1, Ms(Clock::now() - making));
  std::fflush(stdout);

  // Once each first: the file system's caches, and cmd's start, warmed up.
  TimeDir(root);
  TimeFindFirstFile(root, expected.size());
  std::vector<double> starts;
  for (int i = 0; i < 5; ++i) {
    starts.push_back(TimeCmd(L"/c rem"));
  }

  std::vector<double> dirs, finds, walks, gaps, idleGaps;
  for (int round = 0; round < rounds; ++round) {
    dirs.push_back(TimeDir(root));
    finds.push_back(TimeFindFirstFile(root, expected.size()));
    const TWalk walk = WalkOnce(Narrow(root), expected);
    walks.push_back(walk.Ms);
    gaps.push_back(walk.LongestGapMs);
    idleGaps.push_back(walk.IdleGapMs);
    std::printf(
        "round %d: walk %.0f ms (longest gap %.1f ms), dir %.1f ms, FindFirstFileW %.1f ms\n",
        round + 1, walk.Ms, walk.LongestGapMs, dirs.back(), finds.back());
    std::fflush(stdout);
    if (!walk.Problem.empty()) {
      Fail("%s", walk.Problem.c_str());
    }
  }
  const double walk = Median(walks);
  const double dir = Median(dirs);
  const double find = Median(finds);
  std::printf(
      "dialog walk over %zu folders: %.0f ms; dir /s /b /ad %.1f ms (of it cmd's start, "
      "`cmd /c rem`, %.1f ms), FindFirstFileW walk %.1f ms; ratio walk/dir %.2f, "
      "walk/FindFirstFileW %.2f (medians of %d)\n",
      expected.size() + 1, walk, dir, Median(starts), find, walk / dir, walk / find, rounds);
  std::printf(
      "longest time without handling messages during the walk: %.1f ms (median of the rounds' "
      "longest %.1f ms; the timer's idle period %.1f ms)\n",
      *std::max_element(gaps.begin(), gaps.end()), Median(gaps), Median(idleGaps));
  RemoveTree(root);
  return 0;
}
