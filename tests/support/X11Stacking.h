#pragma once
// The stacking order of top-level windows as the X server and the window
// manager report it, for the tests that check the main window stays above.

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::test {

inline xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

inline xcb_window_t X11Root(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The root's children, bottom to top: the order the server stacks them in
// when no window manager reparents the windows.
inline std::vector<uint32_t> RootChildrenBottomToTop() {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr) {
        return {};
    }
    const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, X11Root(connection)), nullptr),
        &std::free);
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

// The window manager's _NET_CLIENT_LIST_STACKING, bottom to top.
inline std::vector<uint32_t> ClientListStacking() {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr) {
        return {};
    }
    static constexpr char kName[] = "_NET_CLIENT_LIST_STACKING";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kName - 1, kName), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return {};
    }
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
        xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, X11Root(connection), atom->atom, XCB_ATOM_WINDOW, 0, 4096),
            nullptr),
        &std::free);
    if (!property || property->format != 32) {
        return {};
    }
    const auto* windows = static_cast<const uint32_t*>(xcb_get_property_value(property.get()));
    return {windows, windows + xcb_get_property_value_length(property.get()) / 4};
}

// Position of the window `id` in `order`, -1 when it is not there.
inline int StackIndex(const std::vector<uint32_t>& order, uint32_t id) {
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline int StackIndex(const std::vector<uint32_t>& order, const QWidget& window) {
    return StackIndex(order, static_cast<uint32_t>(window.winId()));
}

// An ordinary window of another X client, as another program's window is:
// a window manager stacks the windows of one program by rules of its own.
class ForeignWindow final {
public:
    ForeignWindow(int x, int y, int width, int height) : m_connection(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(m_connection) != 0) {
            return;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_window = xcb_generate_id(m_connection);
        const uint32_t values[] = {screen->white_pixel};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, static_cast<int16_t>(x),
                          static_cast<int16_t>(y), static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL, values);
        const std::string title = "another program";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                            8, static_cast<uint32_t>(title.size()), title.data());
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~ForeignWindow() {
        if (m_window != 0) {
            xcb_destroy_window(m_connection, m_window);
            xcb_flush(m_connection);
        }
        xcb_disconnect(m_connection);
    }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    uint32_t Id() const { return m_window; }

    // Asks to be raised and activated, as a click on the window would.
    void BringForward() {
        const uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_connection, m_window, XCB_CONFIG_WINDOW_STACK_MODE, above);
        static constexpr char kName[] = "_NET_ACTIVE_WINDOW";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, sizeof kName - 1, kName),
                                  nullptr),
            &std::free);
        if (atom) {
            xcb_client_message_event_t message;
            std::memset(&message, 0, sizeof message);
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = m_window;
            message.type = atom->atom;
            message.data.data32[0] = 2; // from a pager: the user's own request
            xcb_send_event(m_connection, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        }
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
    xcb_window_t m_window = 0;
};

} // namespace veltrum::test
