#pragma once

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

// Small helpers over xcb's replies for the X11 layer's files.
namespace tavrine::xcb {

// A reply or an error of xcb, freed with the C allocator as xcb asks.
template <typename T>
using Pointer = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Pointer<T> owned(T* pointer) {
    return Pointer<T>(pointer, &std::free);
}

// The reply of a request whose errors are handed back here (and freed), never to Qt's event queue.
template <typename Reply, typename Cookie, typename ReplyFunction>
Pointer<Reply> replyOf(xcb_connection_t* connection, Cookie cookie, ReplyFunction replyFunction) {
    xcb_generic_error_t* error = nullptr;
    auto reply = owned(replyFunction(connection, cookie, &error));
    std::free(error);
    return reply;
}

inline xcb_intern_atom_cookie_t internAtom(xcb_connection_t* connection, const char* name) {
    return xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
}

inline std::uint32_t atomOf(xcb_connection_t* connection, xcb_intern_atom_cookie_t cookie) {
    const auto reply = replyOf<xcb_intern_atom_reply_t>(connection, cookie, xcb_intern_atom_reply);
    return reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
}

// A property of 32-bit values of the given type: how many it holds (0 when the window has no such
// property or it has another type or format) and where they are.
inline std::uint32_t cardinalCount(const xcb_get_property_reply_t* reply, xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32) return 0;
    return std::uint32_t(xcb_get_property_value_length(reply)) / 4;
}

inline std::optional<std::uint32_t> cardinalAt(const xcb_get_property_reply_t* reply, xcb_atom_t type,
                                               std::uint32_t index) {
    if (index >= cardinalCount(reply, type)) return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const char*>(xcb_get_property_value(reply)) + 4 * index, sizeof value);
    return value;
}

// A property of one 32-bit value of the given type: its value, or nothing when the window has no such
// property.
inline std::optional<std::uint32_t> cardinalOf(const xcb_get_property_reply_t* reply, xcb_atom_t type) {
    return cardinalAt(reply, type, 0);
}

// Asks for up to `count` 32-bit values of a property.
inline xcb_get_property_cookie_t propertyRequest(xcb_connection_t* connection, std::uint32_t window, std::uint32_t atom,
                                                 xcb_atom_t type, std::uint32_t count = 1) {
    return xcb_get_property(connection, 0, window, atom, type, 0, count);
}

// A window's process: its _NET_WM_PID (a CARDINAL above 0), else the process of the client that made it
// as the X-Resource extension tells it; nothing when neither knows. Either reply may be missing.
inline std::optional<pid_t> processFrom(const xcb_get_property_reply_t* declaredProcess,
                                        const xcb_res_query_client_ids_reply_t* client) {
    if (const auto declared = cardinalOf(declaredProcess, XCB_ATOM_CARDINAL); declared && *declared > 0) {
        return pid_t(*declared);
    }
    if (!client) return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(client); ids.rem > 0; xcb_res_client_id_value_next(&ids)) {
        // Each value answers one asked (client, mask) pair; only a process id answer is a pid.
        const auto& [asked, length] = *ids.data;
        if ((asked.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 || length < 4) continue;
        const std::uint32_t value = *xcb_res_client_id_value_value(ids.data);
        if (value > 0) return pid_t(value);
    }
    return std::nullopt;
}

}  // namespace tavrine::xcb
