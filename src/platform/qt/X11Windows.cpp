#include "platform/qt/X11Windows.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>

namespace tavelune::platform {

namespace {

xcb_connection_t* Connection() {
  auto* x11 =
      qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

std::optional<TWindowSize> ForeignWindowSize(std::uint64_t window) {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr || window == 0) {
    return std::nullopt;
  }
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(
      connection, xcb_get_geometry(connection, static_cast<xcb_drawable_t>(window)), &error);
  std::free(error);
  if (geometry == nullptr) {
    return std::nullopt;
  }
  const TWindowSize size{geometry->width, geometry->height};
  std::free(geometry);
  return size;
}

std::uint64_t RootWindow() {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr) {
    return 0;
  }
  const xcb_setup_t* setup = xcb_get_setup(connection);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  return screens.rem > 0 ? screens.data->root : 0;
}

}  // namespace tavelune::platform
