// The desktop's input clock on X: the screen-saver extension's time since
// the last input, which the server counts for every device and window,
// grabbed or not. A connection of its own, used only by the watchdog's
// thread, so that a UI thread stuck with Qt's connection cannot hold it up.

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "platform/InputIdle.h"

namespace tavelune::platform {

namespace {

class TX11InputIdleClock final : public IInputIdleClock {
 public:
  TX11InputIdleClock(xcb_connection_t* connection, xcb_window_t root)
      : FConnection(connection), FRoot(root) {}
  ~TX11InputIdleClock() override { xcb_disconnect(FConnection); }
  TX11InputIdleClock(const TX11InputIdleClock&) = delete;
  TX11InputIdleClock& operator=(const TX11InputIdleClock&) = delete;

  std::optional<std::chrono::milliseconds> SinceLastInput() override {
    xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
        FConnection, xcb_screensaver_query_info(FConnection, FRoot), nullptr);
    if (reply == nullptr) {
      return std::nullopt;
    }
    const std::chrono::milliseconds since(reply->ms_since_user_input);
    std::free(reply);
    return since;
  }

 private:
  xcb_connection_t* FConnection;
  xcb_window_t FRoot;
};

}  // namespace

std::unique_ptr<IInputIdleClock> CreateInputIdleClock() {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_query_extension_reply_t* extension =
      xcb_get_extension_data(connection, &xcb_screensaver_id);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  if (extension == nullptr || extension->present == 0 || screens.rem == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::make_unique<TX11InputIdleClock>(connection, screens.data->root);
}

}  // namespace tavelune::platform
