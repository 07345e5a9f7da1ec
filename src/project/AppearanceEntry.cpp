#include "project/AppearanceEntry.h"

#include "support/u_logfile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace schauplatz {

namespace {

using Json = nlohmann::json;

// At most this many correction lines per entry, then one line saying more were left out.
constexpr int kMaxCorrectionLines = 20;

class Corrections {
public:
    void note(std::size_t Element, const std::string& What) {
        ++m_count;
        if (m_count <= kMaxCorrectionLines)
            WriteLog(std::string(kAppearanceCorrectedLog) + "Element " + std::to_string(Element) +
                         ": " + What,
                     1);
    }
    ~Corrections() {
        if (m_count > kMaxCorrectionLines)
            WriteLog(std::string(kAppearanceCorrectedLog) +
                         std::to_string(m_count - kMaxCorrectionLines) + " weitere",
                     1);
    }

private:
    int m_count = 0;
};

void ignored(const std::string& Why) {
    WriteLog(std::string(kAppearanceIgnoredLog) + Why, 1);
}

// Brackets nested deeper than the limit (outside strings): refused before parsing.
bool nestedTooDeeply(std::string_view Text) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : Text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '[' || c == '{') {
            if (++depth > kAppearanceMaxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// An integral JSON number as int64, saturated; std::nullopt for anything else.
std::optional<std::int64_t> integerOf(const Json& V) {
    if (V.is_number_unsigned()) {
        const auto u = V.get<std::uint64_t>();
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(u, std::numeric_limits<std::int64_t>::max()));
    }
    if (V.is_number_integer()) return V.get<std::int64_t>();
    if (V.is_number_float()) {
        const double d = V.get<double>();
        if (!std::isfinite(d) || d != std::floor(d)) return std::nullopt;
        if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
        if (d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

void readInt(const Json& Object, const char* Key, std::int32_t Min, std::int32_t Max,
             std::int32_t& Out, std::size_t Element, Corrections& Log) {
    const auto it = Object.find(Key);
    if (it == Object.end()) return;
    const std::optional<std::int64_t> v = integerOf(*it);
    if (!v) {
        Log.note(Element, std::string(Key) + " ist keine ganze Zahl");
        return;
    }
    const std::int64_t clamped = std::clamp<std::int64_t>(*v, Min, Max);
    if (clamped != *v) Log.note(Element, std::string(Key) + " außerhalb des Bereichs");
    Out = static_cast<std::int32_t>(clamped);
}

void readShadow(const Json& Shadow, TAppearance& A, std::size_t Element, Corrections& Log) {
    if (!Shadow.is_object()) {
        Log.note(Element, "shadow ist kein Objekt");
        return;
    }
    readInt(Shadow, "depth", 0, kShadowDepthMax, A.ShadowDepth, Element, Log);
    readInt(Shadow, "darkness", 0, kShadowDarknessMax, A.ShadowDarkness, Element, Log);
    const auto side = Shadow.find("side");
    if (side == Shadow.end()) return;
    if (side->is_string() && side->get_ref<const std::string&>() == "left")
        A.ShadowSide = TShadowSide::Left;
    else if (side->is_string() && side->get_ref<const std::string&>() == "right")
        A.ShadowSide = TShadowSide::Right;
    else
        Log.note(Element, "side ist weder \"left\" noch \"right\"");
}

TAppearance readElement(const Json& E, std::size_t Element, Corrections& Log) {
    TAppearance a;
    if (!E.is_object()) {
        Log.note(Element, "kein Objekt");
        return a;
    }
    if (const auto smooth = E.find("smooth"); smooth != E.end()) {
        if (smooth->is_boolean())
            a.Smooth = smooth->get<bool>();
        else
            Log.note(Element, "smooth ist weder true noch false");
    }
    readInt(E, "brightness", kLightMin, kLightMax, a.Brightness, Element, Log);
    readInt(E, "contrast", kLightMin, kLightMax, a.Contrast, Element, Log);
    readInt(E, "temperature", kLightMin, kLightMax, a.Temperature, Element, Log);
    readInt(E, "opacity", 0, kOpacityMax, a.Opacity, Element, Log);
    if (const auto shadow = E.find("shadow"); shadow != E.end())
        readShadow(*shadow, a, Element, Log);
    return a;
}

std::string elementLine(const TAppearance& In) {
    const TAppearance a = ClampAppearance(In);
    return std::string("{\"smooth\": ") + (a.Smooth ? "true" : "false") +
           ", \"brightness\": " + std::to_string(a.Brightness) +
           ", \"contrast\": " + std::to_string(a.Contrast) +
           ", \"temperature\": " + std::to_string(a.Temperature) +
           ", \"opacity\": " + std::to_string(a.Opacity) +
           ", \"shadow\": {\"depth\": " + std::to_string(a.ShadowDepth) +
           ", \"darkness\": " + std::to_string(a.ShadowDarkness) + ", \"side\": \"" +
           (a.ShadowSide == TShadowSide::Right ? "right" : "left") + "\"}}";
}

} // namespace

std::string WriteAppearanceEntry(const std::vector<TAppearance>& Elements) {
    std::string out = std::string("{\"format\": \"") + kAppearanceFormat +
                      "\", \"version\": " + std::to_string(kAppearanceVersion) +
                      ",\n \"elements\": [";
    for (std::size_t i = 0; i < Elements.size(); ++i)
        out += (i == 0 ? "\n  " : ",\n  ") + elementLine(Elements[i]);
    out += Elements.empty() ? "]}\n" : "\n ]}\n";
    return out;
}

std::optional<std::vector<TAppearance>> ReadAppearanceEntry(std::string_view Text) {
    if (Text.size() > kAppearanceEntryMaxBytes) {
        ignored("größer als " + std::to_string(kAppearanceEntryMaxBytes) + " Bytes");
        return std::nullopt;
    }
    if (nestedTooDeeply(Text)) {
        ignored("zu tief verschachtelt");
        return std::nullopt;
    }
    const Json doc = Json::parse(Text.begin(), Text.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        ignored("kein JSON-Objekt");
        return std::nullopt;
    }
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() ||
        format->get_ref<const std::string&>() != kAppearanceFormat) {
        ignored("Format ist nicht \"" + std::string(kAppearanceFormat) + "\"");
        return std::nullopt;
    }
    const auto version = doc.find("version");
    const std::optional<std::int64_t> v = version == doc.end() ? std::nullopt : integerOf(*version);
    if (!v || *v != kAppearanceVersion) {
        ignored("unbekannte Version");
        return std::nullopt;
    }
    const auto elements = doc.find("elements");
    if (elements == doc.end() || !elements->is_array()) {
        ignored("keine Elementliste");
        return std::nullopt;
    }
    if (elements->size() > kAppearanceMaxElements) {
        ignored("mehr als " + std::to_string(kAppearanceMaxElements) + " Elemente");
        return std::nullopt;
    }
    std::vector<TAppearance> result;
    result.reserve(elements->size());
    Corrections log;
    for (const Json& e : *elements)
        result.push_back(readElement(e, result.size(), log));
    return result;
}

std::vector<TAppearance>
AppearancesForElements(const std::optional<std::vector<TAppearance>>& Entry,
                       std::size_t ElementCount) {
    if (Entry && Entry->size() == ElementCount) return *Entry;
    if (Entry)
        ignored(std::to_string(Entry->size()) + " Elemente für " + std::to_string(ElementCount) +
                " Elementzeilen");
    return std::vector<TAppearance>(ElementCount);
}

} // namespace schauplatz
