// The X11 backend: a connection of its own to $DISPLAY, and the RandR
// output that shows the screen, its CRTC, modes, transform and EDID.

#include "platform/backends.h"
#include "platform/screen_facts.h"
#include "platform/edid.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

struct Connection {
    xcb_connection_t* c = nullptr;
    int screenNumber = 0;
    Connection() : c(xcb_connect(nullptr, &screenNumber)) {}
    ~Connection() {
        if (c) xcb_disconnect(c);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return c && !xcb_connection_has_error(c); }
};

xcb_window_t RootWindow(const Connection& conn) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn.c));
    for (int i = 0; i < conn.screenNumber && it.rem; ++i) xcb_screen_next(&it);
    return it.rem ? it.data->root : XCB_NONE;
}

bool HasExtension(xcb_connection_t* c, const char* name) {
    Reply<xcb_query_extension_reply_t> r(
        xcb_query_extension_reply(c, xcb_query_extension(c, std::strlen(name), name), nullptr));
    return r && r->present;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(name), name), nullptr));
    return r ? r->atom : XCB_NONE;
}

QByteArray Edid(xcb_connection_t* c, xcb_randr_output_t output) {
    const xcb_atom_t atom = Atom(c, "EDID");
    if (atom == XCB_NONE) return {};
    Reply<xcb_randr_get_output_property_reply_t> r(xcb_randr_get_output_property_reply(
        c, xcb_randr_get_output_property(c, output, atom, XCB_ATOM_ANY, 0, 256, 0, 0), nullptr));
    if (!r || r->format != 8) return {};
    return QByteArray(reinterpret_cast<const char*>(xcb_randr_get_output_property_data(r.get())),
                      xcb_randr_get_output_property_data_length(r.get()));
}

struct Output {
    xcb_randr_output_t id;
    Reply<xcb_randr_get_output_info_reply_t> info;
    QString name;
};

} // namespace

bool QueryX11Facts(ScreenFacts& facts) {
    Connection conn;
    if (!conn.ok()) return false;
    xcb_connection_t* c = conn.c;
    const xcb_window_t root = RootWindow(conn);
    if (root == XCB_NONE || !HasExtension(c, "RANDR")) return false;
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 2)) return false;

    Reply<xcb_randr_get_screen_resources_current_reply_t> res(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!res) return false;

    // The outputs that show something; the screen's is the one Qt named
    // after, or the only one.
    std::vector<Output> active;
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(res.get());
    const int outputCount = xcb_randr_get_screen_resources_current_outputs_length(res.get());
    for (int i = 0; i < outputCount; ++i) {
        Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, outputs[i], res->config_timestamp), nullptr));
        if (!info || info->crtc == XCB_NONE || info->connection == XCB_RANDR_CONNECTION_DISCONNECTED) continue;
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                                               xcb_randr_get_output_info_name_length(info.get()));
        active.push_back(Output{outputs[i], std::move(info), name});
    }
    const Output* chosen = nullptr;
    for (const Output& o : active)
        if (o.name == facts.qtName) chosen = &o;
    if (!chosen && active.size() == 1) chosen = &active.front();
    if (!chosen) return false;

    facts.source = FactsSource::X11;
    facts.outputName = chosen->name;
    // XWayland names its outputs XWAYLAND0, XWAYLAND1, ...; newer servers
    // also have an extension of that name.
    facts.xwayland = chosen->name.startsWith(QLatin1String("XWAYLAND")) || HasExtension(c, "XWAYLAND");

    const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(res.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(res.get());
    const auto findMode = [&](xcb_randr_mode_t id) -> const xcb_randr_mode_info_t* {
        for (int i = 0; i < modeCount; ++i)
            if (modes[i].id == id) return &modes[i];
        return nullptr;
    };

    Reply<xcb_randr_get_crtc_info_reply_t> crtc(
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, chosen->info->crtc, res->config_timestamp), nullptr));
    if (crtc) {
        if (const xcb_randr_mode_info_t* mode = findMode(crtc->mode)) {
            facts.currentMode = QSize(mode->width, mode->height);
            double lines = mode->vtotal;
            if (mode->mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN) lines *= 2;
            if (mode->mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE) lines /= 2;
            if (mode->htotal && lines > 0) facts.refreshHz = mode->dot_clock / (mode->htotal * lines);
        }
        switch (crtc->rotation & 0x0F) {
        case XCB_RANDR_ROTATION_ROTATE_90: facts.rotation = 90; break;
        case XCB_RANDR_ROTATION_ROTATE_180: facts.rotation = 180; break;
        case XCB_RANDR_ROTATION_ROTATE_270: facts.rotation = 270; break;
        default: facts.rotation = 0; break;
        }
        facts.reflected = crtc->rotation & (XCB_RANDR_ROTATION_REFLECT_X | XCB_RANDR_ROTATION_REFLECT_Y);

        // A transform beyond what the rotation itself implies: a scaling or
        // a free matrix (xrandr --scale, --transform).
        Reply<xcb_randr_get_crtc_transform_reply_t> transform(xcb_randr_get_crtc_transform_reply(
            c, xcb_randr_get_crtc_transform(c, chosen->info->crtc), nullptr));
        if (transform) {
            const xcb_render_transform_t& m = transform->current_transform;
            const xcb_render_fixed_t one = 1 << 16;
            const bool identity = m.matrix11 == one && m.matrix12 == 0 && m.matrix13 == 0 && m.matrix21 == 0 &&
                                  m.matrix22 == one && m.matrix23 == 0 && m.matrix31 == 0 && m.matrix32 == 0 &&
                                  m.matrix33 == one;
            facts.scalingTransform = !identity;
        }
    }

    const xcb_randr_get_output_info_reply_t* info = chosen->info.get();
    if (info->num_preferred > 0) {
        const xcb_randr_mode_t* outputModes = xcb_randr_get_output_info_modes(info);
        if (const xcb_randr_mode_info_t* preferred = findMode(outputModes[0]))
            facts.preferredMode = QSize(preferred->width, preferred->height);
    }

    if (const std::optional<EdidInfo> edid = ParseEdid(Edid(c, chosen->id))) {
        facts.maker = edid->maker;
        facts.productCode = edid->productCode;
        if (!edid->name.isEmpty()) facts.model = edid->name;
        facts.serial = !edid->serialText.isEmpty()  ? edid->serialText
                       : edid->serialNumber != 0 ? QString::number(edid->serialNumber)
                                                 : facts.serial;
        if (!facts.preferredMode && edid->preferredTiming) facts.preferredMode = edid->preferredTiming;
    }
    return true;
}
