#pragma once

#include "profiles/node_records.hpp"
#include "screens/visual_state.hpp"

#include <QString>

#include <optional>

namespace tessaron {

// A place drawn on the globe.
struct TessaronGeoPoint {
    double lat = 0;
    double lon = 0;
    // Drawn beside the point and used in the caption; may be empty.
    QString city;
    // Region code of the flag; may be empty.
    QString countryCode;

    friend bool operator==(const TessaronGeoPoint&, const TessaronGeoPoint&) = default;
};

// The two points of the hero's globe: where the device is and where its link leaves.
struct TessaronHeroGeo {
    std::optional<TessaronGeoPoint> user;
    std::optional<TessaronGeoPoint> exit;

    // The exit point shows only while a link is being made or held through a named node.
    static TessaronHeroGeo make(const std::optional<TessaronClientGeo>& client,
                                const std::optional<TessaronNodeGeo>& node,
                                const std::optional<QString>& nodeName, TessaronVisualState visual);

    friend bool operator==(const TessaronHeroGeo&, const TessaronHeroGeo&) = default;
};

// The region's name in the current locale; the code itself when the locale has none.
QString regionName(const QString& countryCode);

namespace TessaronCountryFlag {
// The flag emoji of a two-letter region code, in any letter case; empty for anything else.
QString emoji(const QString& regionCode);
} // namespace TessaronCountryFlag

// "<flag> <name>" when the code has a flag; the name unchanged otherwise.
QString flagLabel(const QString& name, const std::optional<QString>& countryCode);

} // namespace tessaron
