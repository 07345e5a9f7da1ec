#pragma once

// The quality figures of assisted placement on made facades, shared by the tests and the
// benchmark: how many openings one click fits, how exactly, and where dragged corners land.

#include "TestFacades.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace schauplatz::placementaid::testfacades {

inline constexpr double kFitTolerance = 1.5;   // picture pixels per corner
inline constexpr double kSnapTolerance = 1.0;  // picture pixels
inline constexpr double kDragStartReach = 8.0; // drags start this near the true corner
inline constexpr int kRoughPlacement = 6;      // pixels: how roughly an element was placed

struct TFitFigures {
    int Openings = 0;
    int Found = 0;              // fitted with all four corners within kFitTolerance
    int Fitted = 0;             // a quad came back at all
    std::vector<double> Errors; // corner errors of the fitted openings
    std::vector<std::string> Misses;
};

struct TSnapFigures {
    int Drags = 0;
    int Landed = 0; // within kSnapTolerance of the true corner
    int CornerSnaps = 0;
};

TFitFigures measureFits(const TFacadeFeatures& Features, const TTestFacade& Facade);
// Drags of each opening's corners, started at every whole offset within kDragStartReach.
// Plain: the vertex's way into the element is known but nothing else (the element may sit
// anywhere). Placed: the element's other corners sit near the opening's (within a few pixels,
// from a fixed seed), so the drag knows the opening it is in.
enum class TDragContext : std::uint8_t { Plain, Placed };
TSnapFigures measureSnaps(const std::shared_ptr<const TFacadeFeatures>& Features,
                          const TTestFacade& Facade, TDragContext Context);
// Clicks on a grid every Step pixels; how many gave a quad.
int countFits(const TFacadeFeatures& Features, double Step);

void add(TFitFigures& Sum, const TFitFigures& Part);
void add(TSnapFigures& Sum, const TSnapFigures& Part);
double median(std::vector<double> Values);
double percentile(std::vector<double> Values, double Share);

} // namespace schauplatz::placementaid::testfacades
