// Mouse routing of the layered view: layers, listener, capture rule and the double-click path.
#include "raster/view/Image32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace schauplatz {
namespace {

// A layer that takes the mouse inside a rectangle.
class BoxLayer : public TCustomLayer {
public:
    BoxLayer(TLayerCollection& owner, TRect box) : TCustomLayer(owner), m_box(box) {}
    bool HitTest(int x, int y) const override {
        return x >= m_box.Left && x < m_box.Right && y >= m_box.Top && y < m_box.Bottom;
    }

private:
    TRect m_box;
};

// Records what reaches the view's handlers, the layers' own steps and the host.
class MouseRouting : public ::testing::Test {
protected:
    void SetUp() override {
        view.Resize(100, 100);
        view.OnMouseDown = [this](TCustomImage32* sender, TMouseButton button, TShiftState shift,
                                  int x, int y, TCustomLayer* layer) {
            EXPECT_EQ(sender, &view);
            log.push_back("down " + describe(button, shift, x, y, layer));
        };
        view.OnMouseMove = [this](TCustomImage32*, TShiftState shift, int x, int y,
                                  TCustomLayer* layer) {
            log.push_back("move " + std::to_string(shift) + " " + std::to_string(x) + "," +
                          std::to_string(y) + " " + name(layer));
        };
        view.OnMouseUp = [this](TCustomImage32*, TMouseButton button, TShiftState shift, int x,
                                int y, TCustomLayer* layer) {
            log.push_back("up " + describe(button, shift, x, y, layer));
        };
        view.OnDblClick = [this](TCustomPaintBox32*) { log.push_back("dblclick"); };
        THostHooks hooks;
        hooks.SetMouseCapture = [this](bool on) { log.push_back(on ? "capture" : "release"); };
        hooks.TakeFocus = [this] {
            log.push_back("focus");
            return true;
        };
        view.SetHostHooks(hooks);

        // The frame layer of the workspace: visible, not taking mouse events.
        passive = &view.Layers().Add();
        // A layer taking the mouse in (10,10)-(30,30), above the passive one.
        active = &view.Layers().Add<BoxLayer>(TRect{10, 10, 30, 30});
        active->SetMouseEvents(true);
        active->OnMouseDown = [this](TCustomLayer&, TMouseButton, TShiftState, int x, int y) {
            log.push_back("layer down " + std::to_string(x) + "," + std::to_string(y));
        };
        active->OnMouseMove = [this](TCustomLayer&, TShiftState, int x, int y) {
            log.push_back("layer move " + std::to_string(x) + "," + std::to_string(y));
        };
        active->OnMouseUp = [this](TCustomLayer&, TMouseButton, TShiftState, int x, int y) {
            log.push_back("layer up " + std::to_string(x) + "," + std::to_string(y));
        };
        log.clear();
    }

    std::string name(const TCustomLayer* layer) const {
        if (layer == nullptr) return "none";
        if (layer == active) return "active";
        return layer == passive ? "passive" : "other";
    }
    std::string describe(TMouseButton button, TShiftState shift, int x, int y,
                         const TCustomLayer* layer) const {
        return std::to_string(button) + " " + std::to_string(shift) + " " + std::to_string(x) +
               "," + std::to_string(y) + " " + name(layer);
    }

    TImage32 view;
    TCustomLayer* passive = nullptr;
    TCustomLayer* active = nullptr;
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(MouseRouting, PassiveLayerNeverTakesTheMouse) {
    view.MouseDown(mbLeft, ssLeft, 50, 60);
    view.MouseMove(ssLeft, 51, 62);
    view.MouseUp(mbLeft, 0, 52, 63);
    EXPECT_EQ(log, (Log{"capture", "down 0 8 50,60 none", "move 8 51,62 none", "release",
                        "up 0 0 52,63 none"}));
    EXPECT_EQ(view.Layers().MouseListener(), nullptr);
    EXPECT_FALSE(view.MouseCaptured());
}

TEST_F(MouseRouting, ActiveLayerListensUntilRelease) {
    view.MouseDown(mbLeft, ssLeft, 15, 20);
    EXPECT_EQ(view.Layers().MouseListener(), active);
    view.MouseMove(ssLeft, 70, 80); // outside the layer: the listener still gets it
    view.MouseUp(mbLeft, 0, 71, 81);
    EXPECT_EQ(log,
              (Log{"layer down 15,20", "capture", "down 0 8 15,20 active", "layer move 70,80",
                   "move 8 70,80 active", "layer up 71,81", "release", "up 0 0 71,81 active"}));
    EXPECT_EQ(view.Layers().MouseListener(), nullptr);
    log.clear();
    view.MouseMove(0, 70, 80);
    EXPECT_EQ(log, (Log{"move 0 70,80 none"})) << "after the release the hit test decides again";
}

TEST_F(MouseRouting, TopmostLayerWins) {
    BoxLayer& top = view.Layers().Add<BoxLayer>(TRect{0, 0, 20, 20});
    top.SetMouseEvents(true);
    view.MouseMove(0, 15, 15);
    EXPECT_EQ(log, (Log{"move 0 15,15 other"})) << "the layer added last is on top";
    log.clear();
    view.MouseMove(0, 25, 25);
    EXPECT_EQ(log, (Log{"layer move 25,25", "move 0 25,25 active"}));
}

TEST_F(MouseRouting, OtherButtonsCaptureOnlyForAListeningLayer) {
    view.MouseDown(mbRight, ssRight, 50, 50);
    view.MouseUp(mbRight, 0, 50, 50);
    EXPECT_EQ(log, (Log{"down 1 16 50,50 none", "up 1 0 50,50 none"}));
    EXPECT_FALSE(view.MouseCaptured());
    log.clear();
    view.MouseDown(mbMiddle, ssMiddle, 12, 12);
    EXPECT_TRUE(view.MouseCaptured());
    view.MouseUp(mbMiddle, 0, 90, 90);
    EXPECT_FALSE(view.MouseCaptured());
    EXPECT_EQ(log, (Log{"layer down 12,12", "capture", "down 2 32 12,12 active", "layer up 90,90",
                        "release", "up 2 0 90,90 active"}));
}

TEST_F(MouseRouting, LayerListSwitchedOff) {
    view.Layers().SetMouseEvents(false);
    view.MouseDown(mbLeft, ssLeft, 15, 15);
    EXPECT_EQ(log, (Log{"capture", "down 0 8 15,15 none"}));
    EXPECT_EQ(view.Layers().MouseListener(), nullptr);
}

TEST_F(MouseRouting, FocusOnlyForATabStop) {
    view.MouseDown(mbLeft, ssLeft, 50, 50);
    EXPECT_EQ(log.front(), "capture");
    view.MouseUp(mbLeft, 0, 50, 50);
    log.clear();
    view.SetTabStop(true);
    view.MouseDown(mbLeft, ssLeft, 50, 50);
    EXPECT_EQ(log.front(), "focus");
}

TEST_F(MouseRouting, DoubleClickReportsAReleaseAtTheOriginThenThePress) {
    // The first click went to the active layer; the double click arrives as the second press.
    view.MouseDown(mbLeft, ssLeft, 20, 20);
    view.MouseUp(mbLeft, 0, 20, 20);
    log.clear();
    view.DblClick(mbLeft, ssLeft, 20, 20);
    EXPECT_EQ(log, (Log{"release", "up 0 0 0,0 none", "dblclick", "layer down 20,20", "capture",
                        "down 0 72 20,20 active"}));
}

TEST_F(MouseRouting, DoubleClickDropsAListener) {
    view.MouseDown(mbLeft, ssLeft, 20, 20);
    ASSERT_EQ(view.Layers().MouseListener(), active);
    log.clear();
    view.DblClick(mbLeft, ssLeft, 60, 60);
    // The release at (0, 0) no longer goes to the old listener.
    EXPECT_EQ(log,
              (Log{"release", "up 0 0 0,0 none", "dblclick", "capture", "down 0 72 60,60 none"}));
}

TEST_F(MouseRouting, DeletingTheListeningLayerLeavesNoListener) {
    view.MouseDown(mbLeft, ssLeft, 20, 20);
    view.Layers().Remove(*active);
    active = nullptr;
    EXPECT_EQ(view.Layers().MouseListener(), nullptr);
    log.clear();
    view.MouseUp(mbLeft, 0, 20, 20);
    EXPECT_EQ(log, (Log{"release", "up 0 0 20,20 none"}));
}

} // namespace
} // namespace schauplatz
