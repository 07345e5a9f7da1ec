// Layers drawn over a view's picture, and the view's ordered list of them.
//
// List order is paint order (later layers over earlier ones); reverse order is hit-test order.
// The collection owns its layers. It also remembers the mouse listener: the layer that took a
// button press keeps receiving the mouse until its own release step lets go.
#pragma once

#include "raster/view/ViewTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace schauplatz {

class TBitmap32;
class TLayerCollection;

inline constexpr std::uint32_t kLayerVisible = 0x80000000u;
inline constexpr std::uint32_t kLayerMouseEvents = 0x20000000u;

class TCustomLayer {
public:
    using TPaintLayerEvent = std::function<void(TCustomLayer& sender, TBitmap32& buffer)>;
    using TLayerMouseEvent = std::function<void(TCustomLayer& sender, TMouseButton button,
                                                TShiftState shift, int x, int y)>;
    using TLayerMouseMoveEvent =
        std::function<void(TCustomLayer& sender, TShiftState shift, int x, int y)>;

    // Use TLayerCollection::Add to create a layer; it appends the layer to the collection.
    explicit TCustomLayer(TLayerCollection& owner);
    virtual ~TCustomLayer();
    TCustomLayer(const TCustomLayer&) = delete;
    TCustomLayer& operator=(const TCustomLayer&) = delete;

    TLayerCollection& LayerCollection() const { return *m_owner; }
    std::size_t Index() const;

    std::uint32_t LayerOptions() const { return m_options; }
    void SetLayerOptions(std::uint32_t options);
    bool Visible() const { return (m_options & kLayerVisible) != 0; }
    void SetVisible(bool visible);
    bool MouseEvents() const { return (m_options & kLayerMouseEvents) != 0; }
    void SetMouseEvents(bool enabled);

    // The layer's own paint step, then the paint handler.
    void Paint(TBitmap32& buffer);
    virtual bool HitTest(int x, int y) const;

    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    // Ends listening: the next press searches the layers again.
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

    TPaintLayerEvent OnPaint;
    TLayerMouseEvent OnMouseDown;
    TLayerMouseMoveEvent OnMouseMove;
    TLayerMouseEvent OnMouseUp;

protected:
    virtual void DoPaint(TBitmap32& buffer);
    void Changed();

private:
    TLayerCollection* m_owner;
    std::uint32_t m_options = kLayerVisible;
};

class TLayerCollection {
public:
    TLayerCollection() = default;
    ~TLayerCollection();
    TLayerCollection(const TLayerCollection&) = delete;
    TLayerCollection& operator=(const TLayerCollection&) = delete;

    // Creates a layer of type L for this collection, appends it and returns it.
    template <class L = TCustomLayer, class... Args>
    L& Add(Args&&... args) {
        auto layer = std::make_unique<L>(*this, std::forward<Args>(args)...);
        L& result = *layer;
        insert(std::move(layer));
        return result;
    }
    void Delete(std::size_t index);
    void Remove(TCustomLayer& layer);
    void Clear();

    std::size_t Count() const { return m_items.size(); }
    TCustomLayer& Items(std::size_t index) const { return *m_items.at(index); }
    std::size_t IndexOf(const TCustomLayer& layer) const;

    bool MouseEvents() const { return m_mouseEvents; }
    void SetMouseEvents(bool enabled);
    TCustomLayer* MouseListener() const { return m_mouseListener; }
    void SetMouseListener(TCustomLayer* layer) { m_mouseListener = layer; }

    // The topmost layer that has a bit of `optionMask` and whose hit test accepts (x, y).
    TCustomLayer* FindLayerAtPos(int x, int y, std::uint32_t optionMask) const;

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate(); // "Unpaired EndUpdate" when the counter would drop below zero
    int UpdateCount() const { return m_updateCount; }
    void Changed();

    // Called by Changed when no update is open; the owning view installs its notification here.
    std::function<void()> OnChange;

private:
    void insert(std::unique_ptr<TCustomLayer> layer);

    std::vector<std::unique_ptr<TCustomLayer>> m_items;
    TCustomLayer* m_mouseListener = nullptr;
    bool m_mouseEvents = true;
    int m_updateCount = 0;
};

} // namespace schauplatz
