#include "TestFacadeQuality.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <sstream>

namespace schauplatz::placementaid::testfacades {

namespace {

double distance(TPoint A, TPointD B) {
    return std::hypot(A.X - B.X, A.Y - B.Y);
}

std::string describeMiss(const std::string& Name, std::size_t Index, const TOpeningTruth& T,
                         const std::optional<TOpeningFit>& Fit) {
    std::ostringstream s;
    s << Name << " opening " << Index << (T.Door ? " (door)" : "") << " click (" << T.Click.X
      << ", " << T.Click.Y << "): ";
    if (!Fit) {
        s << "no quad";
        return s.str();
    }
    for (std::size_t i = 0; i < 4; ++i)
        s << "(" << Fit->Quad[i].X << "," << Fit->Quad[i].Y << " vs " << T.Corners[i].X << ","
          << T.Corners[i].Y << ") ";
    return s.str();
}

} // namespace

TFitFigures measureFits(const TFacadeFeatures& Features, const TTestFacade& Facade) {
    TFitFigures f;
    for (std::size_t i = 0; i < Facade.Openings.size(); ++i) {
        const TOpeningTruth& t = Facade.Openings[i];
        ++f.Openings;
        const auto fit = Features.fitOpening(t.Click);
        bool good = fit.has_value();
        if (fit) {
            ++f.Fitted;
            for (std::size_t k = 0; k < 4; ++k) {
                const double e = distance(fit->Quad[k], t.Corners[k]);
                f.Errors.push_back(e);
                good = good && e <= kFitTolerance;
            }
        }
        if (good)
            ++f.Found;
        else
            f.Misses.push_back(describeMiss(Facade.Name, i, t, fit));
    }
    return f;
}

TSnapFigures measureSnaps(const std::shared_ptr<const TFacadeFeatures>& Features,
                          const TTestFacade& Facade, TDragContext Context) {
    TSnapFigures f;
    const int reach = static_cast<int>(kDragStartReach);
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> rough(-kRoughPlacement, kRoughPlacement);
    for (const TOpeningTruth& t : Facade.Openings)
        for (std::size_t k = 0; k < 4; ++k) {
            const TPointD corner = t.Corners[k];
            TQuad quad{};
            for (std::size_t i = 0; i < 4; ++i) {
                quad[i] = {static_cast<std::int32_t>(std::lround(t.Corners[i].X)),
                           static_cast<std::int32_t>(std::lround(t.Corners[i].Y))};
                if (i != k) quad[i] = {quad[i].X + rough(rng), quad[i].Y + rough(rng)};
            }
            const auto inward = inwardDirection(quad, k);
            // One drag per corner, pressed at the corner: a start up to 8 pixels away would move
            // the quad's middle, where the opening is fitted, by 2 pixels at most.
            std::optional<TVertexDrag> drag;
            if (Context == TDragContext::Placed) drag.emplace(Features, quad, k);
            for (int dy = -reach; dy <= reach; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    if (dx * dx + dy * dy > reach * reach) continue;
                    const TPointD pointer{corner.X + dx, corner.Y + dy};
                    const TSnapResult r =
                        drag ? drag->snap(pointer) : Features->snap(pointer, {}, inward);
                    ++f.Drags;
                    f.CornerSnaps += r.Kind == TSnapKind::Corner ? 1 : 0;
                    f.Landed +=
                        r.Kind != TSnapKind::None && distance(r.Point, corner) <= kSnapTolerance
                            ? 1
                            : 0;
                }
        }
    return f;
}

int countFits(const TFacadeFeatures& Features, double Step) {
    int fits = 0;
    for (double y = Step / 2; y < Features.height(); y += Step)
        for (double x = Step / 2; x < Features.width(); x += Step)
            fits += Features.fitOpening({x, y}).has_value() ? 1 : 0;
    return fits;
}

void add(TFitFigures& Sum, const TFitFigures& Part) {
    Sum.Openings += Part.Openings;
    Sum.Found += Part.Found;
    Sum.Fitted += Part.Fitted;
    Sum.Errors.insert(Sum.Errors.end(), Part.Errors.begin(), Part.Errors.end());
    Sum.Misses.insert(Sum.Misses.end(), Part.Misses.begin(), Part.Misses.end());
}

void add(TSnapFigures& Sum, const TSnapFigures& Part) {
    Sum.Drags += Part.Drags;
    Sum.Landed += Part.Landed;
    Sum.CornerSnaps += Part.CornerSnaps;
}

double percentile(std::vector<double> Values, double Share) {
    if (Values.empty()) return 0.0;
    std::sort(Values.begin(), Values.end());
    const auto i = static_cast<std::size_t>(std::clamp(Share, 0.0, 1.0) * (Values.size() - 1));
    return Values[i];
}

double median(std::vector<double> Values) {
    return percentile(std::move(Values), 0.5);
}

} // namespace schauplatz::placementaid::testfacades
