#include "ports/x11/X11Windows.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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

namespace tavelune::platform {

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// The bytes of a window property; empty when it is missing.
std::string Property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                     xcb_atom_t type) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr);
  std::string bytes;
  if (reply != nullptr) {
    bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                 static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
  }
  return bytes;
}

std::vector<xcb_window_t> Children(xcb_connection_t* connection, xcb_window_t window) {
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
  std::vector<xcb_window_t> children;
  if (tree != nullptr) {
    const xcb_window_t* first = xcb_query_tree_children(tree);
    children.assign(first, first + xcb_query_tree_children_length(tree));
    std::free(tree);
  }
  return children;
}

bool Exists(xcb_connection_t* connection, xcb_window_t window) {
  xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), nullptr);
  const bool exists = reply != nullptr && reply->map_state != XCB_MAP_STATE_UNMAPPED;
  std::free(reply);
  return exists;
}

}  // namespace

void SetWindowClass(std::uint64_t window, const char* instanceName, const char* className) {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr || window == 0) {
    return;
  }
  std::string value = std::string(instanceName) + '\0' + className + '\0';
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window),
                      XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(value.size()), value.data());
  xcb_flush(connection);
}

int CloseTopLevelWindows(const char* className, const std::string& caption, int timeoutMs) {
  xcb_connection_t* connection = Connection();
  const auto root = static_cast<xcb_window_t>(RootWindow());
  if (connection == nullptr || root == 0) {
    return 0;
  }
  const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
  const xcb_atom_t netName = Atom(connection, "_NET_WM_NAME");
  const xcb_atom_t protocols = Atom(connection, "WM_PROTOCOLS");
  const xcb_atom_t deleteWindow = Atom(connection, "WM_DELETE_WINDOW");
  const auto matches = [&](xcb_window_t window) {
    const std::string wmClass = Property(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    const std::size_t split = wmClass.find('\0');
    if (split == std::string::npos ||
        wmClass.compare(split + 1, std::string::npos, std::string(className) + '\0') != 0) {
      return false;
    }
    std::string name = Property(connection, window, netName, utf8);
    if (name.empty()) {
      name = Property(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    }
    return name == caption;
  };
  std::vector<xcb_window_t> asked;
  for (xcb_window_t top : Children(connection, root)) {
    std::vector<xcb_window_t> candidates = {top};
    for (xcb_window_t inner : Children(connection, top)) {
      candidates.push_back(inner);  // a client inside a window manager's frame
    }
    for (xcb_window_t window : candidates) {
      if (!matches(window)) {
        continue;
      }
      xcb_client_message_event_t message{};
      message.response_type = XCB_CLIENT_MESSAGE;
      message.format = 32;
      message.window = window;
      message.type = protocols;
      message.data.data32[0] = deleteWindow;
      message.data.data32[1] = XCB_CURRENT_TIME;
      xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                     reinterpret_cast<const char*>(&message));
      asked.push_back(window);
    }
  }
  xcb_flush(connection);
  const int count = static_cast<int>(asked.size());
  // The close is handled by another process: wait for its window to go.
  for (int waited = 0; waited < timeoutMs && !asked.empty(); waited += 50) {
    std::erase_if(asked, [&](xcb_window_t window) { return !Exists(connection, window); });
    if (!asked.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  return count;
}

}  // namespace tavelune::platform
