#include "screens/hero_geography.hpp"

#include <QLocale>

#include <unicode/uloc.h>

namespace tessaron {

QString regionName(const QString& countryCode) {
    if (countryCode.isEmpty())
        return countryCode;
    // ICU names regions of a locale id; "und_XX" asks for region XX alone.
    const QByteArray locale = "und_" + countryCode.toLatin1();
    const QByteArray display = QLocale().name().toLatin1();
    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_getDisplayCountry(locale.constData(), display.constData(), buffer, 128, &status);
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || length <= 0)
        return countryCode;
    // ICU answers a region it has no name for with the code itself.
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length);
}

TessaronHeroGeo TessaronHeroGeo::make(const std::optional<TessaronClientGeo>& client,
                                      const std::optional<TessaronNodeGeo>& node,
                                      const std::optional<QString>& nodeName, TessaronVisualState visual) {
    TessaronHeroGeo geo;
    if (client && client->lat && client->lon) {
        const QString city = client->city ? *client->city : regionName(client->country);
        geo.user = TessaronGeoPoint{*client->lat, *client->lon, city, client->country};
    }
    const QString trimmedName = nodeName ? nodeName->trimmed() : QString();
    if (visual != TessaronVisualState::idle && node && node->lat && node->lon && !trimmedName.isEmpty())
        geo.exit = TessaronGeoPoint{*node->lat, *node->lon, trimmedName, node->country};
    return geo;
}

namespace TessaronCountryFlag {

QString emoji(const QString& regionCode) {
    // Full, language-independent case mapping: a sharp s becomes two letters.
    const QString upper = regionCode.toUpper();
    if (upper.size() != 2)
        return {};
    QString flag;
    for (const QChar letter : upper) {
        if (letter < QLatin1Char('A') || letter > QLatin1Char('Z'))
            return {};
        const char32_t indicator = U'\U0001F1E6' + static_cast<char32_t>(letter.unicode() - u'A');
        flag += QString::fromUcs4(&indicator, 1);
    }
    return flag;
}

} // namespace TessaronCountryFlag

QString flagLabel(const QString& name, const std::optional<QString>& countryCode) {
    if (!countryCode)
        return name;
    const QString flag = TessaronCountryFlag::emoji(*countryCode);
    return flag.isEmpty() ? name : flag + QLatin1Char(' ') + name;
}

} // namespace tessaron
