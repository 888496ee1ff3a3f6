#include "widgets/appearance_host.hpp"

#include "widgets/tessaron_theme.hpp"

#include <QWidget>

namespace tessaron {

QPalette TessaronAppearanceHost::palette() {
    QPalette palette;
    const QColor surface = TessaronTheme::surface();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, TessaronTheme::background());
        palette.setColor(group, QPalette::WindowText, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::Base, surface);
        palette.setColor(group, QPalette::AlternateBase, surface.darker(120));
        palette.setColor(group, QPalette::Text, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::Button, surface);
        palette.setColor(group, QPalette::ButtonText, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::Highlight, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::HighlightedText, TessaronTheme::background());
        palette.setColor(group, QPalette::Link, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::PlaceholderText, TessaronTheme::textSecondary());
        palette.setColor(group, QPalette::ToolTipBase, surface);
        palette.setColor(group, QPalette::ToolTipText, TessaronTheme::textPrimary());
        palette.setColor(group, QPalette::Mid, TessaronTheme::stroke());
        palette.setColor(group, QPalette::Light, TessaronTheme::stroke());
        palette.setColor(group, QPalette::Dark, TessaronTheme::stroke());
    }
    const QColor muted = withOpacity(TessaronTheme::textSecondary(), 0.6);
    palette.setColor(QPalette::Disabled, QPalette::Window, TessaronTheme::background());
    palette.setColor(QPalette::Disabled, QPalette::Base, surface);
    palette.setColor(QPalette::Disabled, QPalette::Button, surface);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, muted);
    palette.setColor(QPalette::Disabled, QPalette::Text, muted);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, muted);
    return palette;
}

void TessaronAppearanceHost::apply(QWidget& content) {
    content.setPalette(palette());
    content.setAutoFillBackground(true);
}

} // namespace tessaron
