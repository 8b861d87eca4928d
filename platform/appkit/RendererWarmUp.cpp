#include "platform/appkit/RendererWarmUp.hpp"

#include <array>

namespace platform::renderer_warm_up {

namespace {

// Takes a node reference as a handle and drops it with the handle.
struct NodeRef {
    explicit NodeRef(GskRenderNode* owned)
        : node(owned) {}
    ~NodeRef() { gsk_render_node_unref(node); }
    NodeRef(const NodeRef&) = delete;
    NodeRef& operator=(const NodeRef&) = delete;
    GskRenderNode* node;
};

GskRoundedRect roundedRect(float x, float y, float width, float height, float radius) {
    GskRoundedRect rect;
    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(x, y, width, height);
    gsk_rounded_rect_init_from_rect(&rect, &bounds, radius);
    return rect;
}

} // namespace

bool worthWarming(GskRenderer* renderer) {
    return renderer != nullptr && !GSK_IS_CAIRO_RENDERER(renderer);
}

void warm(GskRenderer* renderer, int step) {
    if (!worthWarming(renderer) || !gsk_renderer_is_realized(renderer)) {
        return;
    }
    const graphene_rect_t viewport = GRAPHENE_RECT_INIT(0, 0, 8, 48);
    const auto draw = [&](GskRenderNode* node) {
        if (GdkTexture* const texture = gsk_renderer_render_texture(renderer, node, &viewport)) {
            g_object_unref(texture);
        }
    };
    if (step == cutTextureStep) {
        // A texture of pixels in memory, a clip cutting it across.
        static constexpr std::array<guchar, 4 * 4 * 4> pixels{};
        GBytes* const bytes = g_bytes_new_static(pixels.data(), pixels.size());
        GdkTexture* const texture = gdk_memory_texture_new(4, 4, GDK_MEMORY_DEFAULT, bytes, 16);
        g_bytes_unref(bytes);
        const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, 8, 16);
        const NodeRef drawn{gsk_texture_node_new(texture, &bounds)};
        g_object_unref(texture);
        const graphene_rect_t cut = GRAPHENE_RECT_INIT(0, 5, 8, 7);
        const NodeRef clipped{gsk_clip_node_new(drawn.node, &cut)};
        draw(clipped.node);
        return;
    }
    // An overlay scroll bar as the scrolled window draws it while it fades in: the slider, a
    // rounded fill with a rounded border, under the bar's opacity, each placed by a translation;
    // the fill, the border, then the whole.
    const GskRoundedRect outline = roundedRect(0, 0, 3, 40, 1.5F);
    const GskRoundedRect edge = roundedRect(-1, -1, 5, 42, 2.5F);
    const GdkRGBA fill{0.18F, 0.2F, 0.21F, 0.4F};
    const GdkRGBA edgeColor{1, 1, 1, 0.4F};
    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, 3, 40);
    const NodeRef color{gsk_color_node_new(&fill, &bounds)};
    const NodeRef rounded{gsk_rounded_clip_node_new(color.node, &outline)};
    const std::array<float, 4> widths{1, 1, 1, 1};
    const std::array<GdkRGBA, 4> edges{edgeColor, edgeColor, edgeColor, edgeColor};
    const NodeRef border{gsk_border_node_new(&edge, widths.data(), edges.data())};
    if (step == 0) {
        draw(rounded.node);
        return;
    }
    if (step == 1) {
        draw(border.node);
        return;
    }
    std::array<GskRenderNode*, 2> slider{rounded.node, border.node};
    const NodeRef group{gsk_container_node_new(slider.data(), slider.size())};
    const graphene_point_t inBar = GRAPHENE_POINT_INIT(2, 4);
    GskTransform* const toSlider = gsk_transform_translate(nullptr, &inBar);
    const NodeRef placed{gsk_transform_node_new(group.node, toSlider)};
    gsk_transform_unref(toSlider);
    const NodeRef faded{gsk_opacity_node_new(placed.node, 0.4F)};
    draw(faded.node);
}

} // namespace platform::renderer_warm_up
