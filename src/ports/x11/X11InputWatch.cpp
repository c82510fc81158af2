// The desktop's input on X: XInput2's raw events, which the server sends
// to every client that asks on the root window, whatever window the input
// goes to and whether or not someone has grabbed it. A connection of its
// own, read by the watcher's thread only, so that a UI thread stuck with
// Qt's connection cannot hold it up; the thread sleeps in poll() until the
// server sends something, a signal arrives or the watcher goes.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/InputWatch.h"

namespace tavelune::platform {

namespace {

// Written to by NoteInputSignal, read by every watcher; made once.
int gSignalPipe[2] = {-1, -1};

void MakeSignalPipe() {
  static std::once_flag made;
  std::call_once(made, [] {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      gSignalPipe[0] = gSignalPipe[1] = -1;
    }
  });
}

void Drain(int fd) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
}

class TX11InputWatch final : public IInputWatch {
 public:
  TX11InputWatch(xcb_connection_t* connection, int quitPipe[2], std::function<void()> onInput)
      : FConnection(connection),
        FQuitRead(quitPipe[0]),
        FQuitWrite(quitPipe[1]),
        FOnInput(std::move(onInput)) {
    FThread = std::thread([this] { Run(); });
  }
  ~TX11InputWatch() override {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(FQuitWrite, &byte, 1);
    FThread.join();
    ::close(FQuitRead);
    ::close(FQuitWrite);
    xcb_disconnect(FConnection);
  }
  TX11InputWatch(const TX11InputWatch&) = delete;
  TX11InputWatch& operator=(const TX11InputWatch&) = delete;

 private:
  void Run() {
    std::array<pollfd, 3> fds{{{xcb_get_file_descriptor(FConnection), POLLIN, 0},
                               {FQuitRead, POLLIN, 0},
                               {gSignalPipe[0], POLLIN, 0}}};
    while (xcb_connection_has_error(FConnection) == 0) {
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        continue;  // a signal interrupted the wait
      }
      if (fds[1].revents != 0) {
        return;
      }
      bool input = false;
      if (fds[2].revents != 0) {
        Drain(gSignalPipe[0]);
        input = true;
      }
      // Only the raw events were asked for: whatever comes is input.
      while (xcb_generic_event_t* event = xcb_poll_for_event(FConnection)) {
        std::free(event);
        input = true;
      }
      if (input) {
        FOnInput();
      }
    }
  }

  xcb_connection_t* FConnection;
  int FQuitRead;
  int FQuitWrite;
  std::function<void()> FOnInput;
  std::thread FThread;
};

// Asks for the raw key and button presses and pointer moves of every
// device; false when the server has no XInput 2.
bool SelectRawInput(xcb_connection_t* connection, xcb_window_t root) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
  if (extension == nullptr || extension->present == 0) {
    return false;
  }
  xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
      connection, xcb_input_xi_query_version(connection, 2, 2), nullptr);
  const bool two = version != nullptr && version->major_version >= 2;
  std::free(version);
  if (!two) {
    return false;
  }
  struct {
    xcb_input_event_mask_t Head;
    std::uint32_t Bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
             XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
  xcb_generic_error_t* error = xcb_request_check(
      connection, xcb_input_xi_select_events_checked(connection, root, 1, &mask.Head));
  std::free(error);
  return error == nullptr;
}

}  // namespace

std::unique_ptr<IInputWatch> WatchDesktopInput(std::function<void()> onInput) {
  MakeSignalPipe();
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  int quitPipe[2];
  if (xcb_connection_has_error(connection) != 0 || screens.rem == 0 ||
      !SelectRawInput(connection, screens.data->root) || gSignalPipe[0] < 0 ||
      ::pipe2(quitPipe, O_CLOEXEC) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::make_unique<TX11InputWatch>(connection, quitPipe, std::move(onInput));
}

void NoteInputSignal() {
  if (gSignalPipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
  }
}

}  // namespace tavelune::platform
