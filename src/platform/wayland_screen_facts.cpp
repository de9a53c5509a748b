// The Wayland backend: a connection of its own to $WAYLAND_DISPLAY, every
// wl_output with its modes, scale, transform and names, and, where the
// compositor offers it, each output's xdg-output (its size in the
// compositor's logical pixels, which is what Qt calls the screen's size).

#include "platform/backends.h"
#include "platform/screen_facts.h"

#include <wayland-client.h>

#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct OutputState {
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    QString make, model, name, description, xdgName, xdgDescription;
    std::optional<QSize> current, preferred, logical;
    std::optional<double> refreshHz;
    int scale = 1;
    int transform = WL_OUTPUT_TRANSFORM_NORMAL;
};

struct Globals {
    wl_registry* registry = nullptr;
    zxdg_output_manager_v1* xdgManager = nullptr;
    std::vector<std::unique_ptr<OutputState>> outputs;
};

// ---- wl_output ----------------------------------------------------------
void OnGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char* make,
                const char* model, int32_t transform) {
    auto* o = static_cast<OutputState*>(data);
    o->make = QString::fromUtf8(make);
    o->model = QString::fromUtf8(model);
    o->transform = transform;
}
void OnMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t refresh) {
    auto* o = static_cast<OutputState*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->current = QSize(width, height);
        if (refresh > 0) o->refreshHz = refresh / 1000.0;
    }
    if (flags & WL_OUTPUT_MODE_PREFERRED) o->preferred = QSize(width, height);
}
void OnDone(void*, wl_output*) {}
void OnScale(void* data, wl_output*, int32_t factor) { static_cast<OutputState*>(data)->scale = factor; }
void OnName(void* data, wl_output*, const char* name) { static_cast<OutputState*>(data)->name = QString::fromUtf8(name); }
void OnDescription(void* data, wl_output*, const char* text) {
    static_cast<OutputState*>(data)->description = QString::fromUtf8(text);
}
const wl_output_listener kOutputListener = {OnGeometry, OnMode, OnDone, OnScale, OnName, OnDescription};

// ---- zxdg_output_v1 -----------------------------------------------------
void OnLogicalPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}
void OnLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    static_cast<OutputState*>(data)->logical = QSize(width, height);
}
void OnXdgDone(void*, zxdg_output_v1*) {}
void OnXdgName(void* data, zxdg_output_v1*, const char* name) {
    static_cast<OutputState*>(data)->xdgName = QString::fromUtf8(name);
}
void OnXdgDescription(void* data, zxdg_output_v1*, const char* text) {
    static_cast<OutputState*>(data)->xdgDescription = QString::fromUtf8(text);
}
const zxdg_output_v1_listener kXdgOutputListener = {OnLogicalPosition, OnLogicalSize, OnXdgDone, OnXdgName,
                                                    OnXdgDescription};

// ---- registry -------------------------------------------------------------
void OnGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto state = std::make_unique<OutputState>();
        state->output = static_cast<wl_output*>(
            wl_registry_bind(registry, id, &wl_output_interface, std::min<uint32_t>(version, 4)));
        wl_output_add_listener(state->output, &kOutputListener, state.get());
        g->outputs.push_back(std::move(state));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        g->xdgManager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, id, &zxdg_output_manager_v1_interface, std::min<uint32_t>(version, 3)));
    }
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void Release(Globals& g) {
    for (auto& o : g.outputs) {
        if (o->xdgOutput) zxdg_output_v1_destroy(o->xdgOutput);
        if (o->output) {
            if (wl_output_get_version(o->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(o->output);
            else wl_output_destroy(o->output);
        }
    }
    if (g.xdgManager) zxdg_output_manager_v1_destroy(g.xdgManager);
    if (g.registry) wl_registry_destroy(g.registry);
}

// Qt names a Wayland screen after the output's xdg-output or wl_output
// name, or, where the compositor gives neither, after its make and model.
bool Matches(const OutputState& o, const QString& qtName) {
    if (qtName.isEmpty()) return false;
    if (qtName == o.name || qtName == o.xdgName) return true;
    const QString makeModel = o.make + QLatin1Char(' ') + o.model;
    return qtName == makeModel.trimmed() || (!o.model.isEmpty() && qtName == o.model);
}

void Fill(ScreenFacts& facts, const OutputState& o) {
    facts.source = FactsSource::Wayland;
    facts.outputName = !o.name.isEmpty() ? o.name : o.xdgName;
    facts.description = !o.description.isEmpty() ? o.description : o.xdgDescription;
    facts.currentMode = o.current;
    facts.preferredMode = o.preferred;
    if (o.refreshHz) facts.refreshHz = o.refreshHz;
    facts.outputScale = o.scale;
    facts.logicalSize = o.logical;
    switch (o.transform) {
    case WL_OUTPUT_TRANSFORM_90: case WL_OUTPUT_TRANSFORM_FLIPPED_90: facts.rotation = 90; break;
    case WL_OUTPUT_TRANSFORM_180: case WL_OUTPUT_TRANSFORM_FLIPPED_180: facts.rotation = 180; break;
    case WL_OUTPUT_TRANSFORM_270: case WL_OUTPUT_TRANSFORM_FLIPPED_270: facts.rotation = 270; break;
    default: facts.rotation = 0; break;
    }
    facts.reflected = o.transform >= WL_OUTPUT_TRANSFORM_FLIPPED;
    facts.scalingTransform = false;
    if (!o.make.isEmpty()) facts.maker = o.make;
    if (!o.model.isEmpty()) facts.model = o.model;
}

} // namespace

bool QueryWaylandFacts(ScreenFacts& facts) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return false;
    Globals g;
    g.registry = wl_display_get_registry(display);
    wl_registry_add_listener(g.registry, &kRegistryListener, &g);
    bool ok = wl_display_roundtrip(display) >= 0; // the globals
    if (ok && g.xdgManager) {
        for (auto& o : g.outputs) {
            o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(g.xdgManager, o->output);
            zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutputListener, o.get());
        }
    }
    ok = ok && wl_display_roundtrip(display) >= 0; // the outputs' events
    ok = ok && wl_display_roundtrip(display) >= 0;

    const OutputState* chosen = nullptr;
    if (ok) {
        for (const auto& o : g.outputs)
            if (Matches(*o, facts.qtName)) chosen = o.get();
        if (!chosen && g.outputs.size() == 1) chosen = g.outputs.front().get();
        if (chosen) Fill(facts, *chosen);
    }
    Release(g);
    wl_display_disconnect(display);
    return chosen != nullptr;
}
